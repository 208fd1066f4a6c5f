#include "EventWait.h"
#include "OffscreenWebEngine.h"

#include <QApplication>
#include <QTimer>
#include <QWebEnginePage>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Window tests make a window, and with it a web page, for every case, and Chromium would
// start a renderer process for each page: more work than most cases do themselves. Here
// one renderer process serves every page (each still in a document and script context of
// its own, as in any browser), and a blank page that lives as long as the tests keeps
// that process between windows.
class SharedPageRenderer : public ::testing::Environment {
public:
    void SetUp() override {
        m_page = std::make_unique<QWebEnginePage>();
        // A test that ends the renderer ends this page's too: it loads again, so that the
        // windows after share a renderer again.
        QObject::connect(m_page.get(), &QWebEnginePage::renderProcessTerminated, m_page.get(),
                         [page = m_page.get()] {
                             QTimer::singleShot(0, page, [page] { page->setHtml(QString()); });
                         });
        QObject waiting;
        bool loaded = false;
        QObject::connect(m_page.get(), &QWebEnginePage::loadFinished, &waiting,
                         [&loaded] { loaded = true; });
        m_page->setHtml(QString());
        WaitUntil([&] { return loaded; }, 15000);
    }

    void TearDown() override { m_page.reset(); }

private:
    std::unique_ptr<QWebEnginePage> m_page;
};

} // namespace

int main(int argc, char** argv) {
    PrepareOffscreenWebEngine();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            qgetenv("QTWEBENGINE_CHROMIUM_FLAGS") + " --renderer-process-limit=1");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new SharedPageRenderer);
    return RUN_ALL_TESTS();
}
