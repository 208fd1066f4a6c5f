#include "ChatPage.h"

#include "JsonText.h"

#include <QDesktopServices>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

// Links in answers open in the user's browser; the chat stays where it is. Jumps
// within the page itself still work. Only web and mail links leave the program: a link
// to a local file could start whatever the desktop associates with it.
class TChatWebPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type != NavigationTypeLinkClicked)
            return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
        if (url.matches(this->url(), QUrl::RemoveFragment))
            return true;
        const QString scheme = url.scheme();
        if (scheme == u"https" || scheme == u"http" || scheme == u"mailto")
            QDesktopServices::openUrl(url);
        return false;
    }
};

// A JavaScript string literal holding text exactly.
QString scriptString(const QString& text) {
    JsonWriter writer;
    writer.string(text);
    return QString::fromLatin1(writer.text());
}

constexpr QLatin1StringView
    kFindContainer("var container = document.getElementById('chat-container');");

} // namespace

TChatPage::TChatPage(QWebEngineView* view) : QObject(view), m_view(view) {
    m_view->setPage(new TChatWebPage(m_view));
    connect(m_view, &QWebEngineView::loadStarted, this, [this] { m_loading = true; });
    connect(m_view, &QWebEngineView::loadFinished, this, &TChatPage::LoadFinished);
}

void TChatPage::ShowBlank() {
    // Scripts still waiting were meant for the page being replaced.
    m_held.removeIf([](const Pending& pending) { return !pending.done; });
    m_hasPage = true;
    m_loading = true;
    m_view->setUrl(QUrl(QStringLiteral("about:blank")));
}

void TChatPage::WriteDocument(const QString& html) {
    if (!m_hasPage)
        ShowBlank();
    Run(QStringLiteral("document.open(); document.write(%1); document.close();")
            .arg(scriptString(html)));
}

void TChatPage::AppendToContainer(const QString& html) {
    Run(kFindContainer +
        QStringLiteral(" if (container) container.insertAdjacentHTML('beforeend', %1);")
            .arg(scriptString(html)));
}

void TChatPage::ScrollBy(int pixels) {
    Run(kFindContainer + QStringLiteral(" if (container) window.scrollBy(0, %1);").arg(pixels));
}

void TChatPage::ScrollToBottom() {
    Run(kFindContainer +
        QStringLiteral(" if (container) window.scrollTo(0, container.scrollHeight);"));
}

void TChatPage::Evaluate(const QString& script, ResultHandler done) {
    Run(script, std::move(done));
}

void TChatPage::Run(const QString& script, ResultHandler done) {
    // Each script in its own scope and with its own failure, so a join of several
    // behaves exactly like running them one after another.
    Pending pending{
        done ? script : QStringLiteral("try { (function () { %1 })(); } catch (e) {}").arg(script),
        std::move(done)};
    if (!m_loading) {
        Send(pending);
        return;
    }
    if (!pending.done && !m_held.isEmpty() && !m_held.last().done)
        m_held.last().script += u'\n' + pending.script;
    else
        m_held.append(std::move(pending));
}

void TChatPage::Send(const Pending& pending) {
    // The view runs scripts in the order they are handed over.
    if (pending.done)
        m_view->page()->runJavaScript(pending.script, pending.done);
    else
        m_view->page()->runJavaScript(pending.script);
}

void TChatPage::LoadFinished() {
    m_loading = false;
    const QList<Pending> held = std::exchange(m_held, {});
    for (const Pending& pending : held)
        Send(pending);
}
