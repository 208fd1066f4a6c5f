#include "BenchWindow.h"
#include "ChatPage.h"
#include "OffscreenWebEngine.h"
#include "QtTranslations.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

BenchWindow* shownWindow = nullptr;

} // namespace

BenchWindow& ShownWindow() {
    return *shownWindow;
}

void WaitForLayout(ChatPage& page) {
    QEventLoop loop;
    page.Evaluate(QStringLiteral("document.documentElement.scrollHeight"),
                  [&loop](const QVariant&) { loop.quit(); });
    loop.exec();
}

void WaitUntilExposed(QWidget& window) {
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
}

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();
    PrepareOffscreenWebEngine();
    QApplication app(argc, argv);
    const QtTranslations translations; // as the program starts
    benchmark::Initialize(&argc, argv);
    const auto window = std::make_unique<BenchWindow>();
    window->form.show();
    WaitUntilExposed(window->form);
    // The whole cold start of this process: application, web engine and first window.
    std::printf("start-up to a shown window (cold, in process): %lld ms\n",
                static_cast<long long>(sinceStart.elapsed()));
    WaitForLayout(window->form.Page());
    shownWindow = window.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
