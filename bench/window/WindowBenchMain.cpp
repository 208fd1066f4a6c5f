#include "BenchWindow.h"
#include "ChatPage.h"
#include "OffscreenWebEngine.h"

#include <QApplication>
#include <QEventLoop>

#include <benchmark/benchmark.h>

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

int main(int argc, char** argv) {
    PrepareOffscreenWebEngine();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const auto window = std::make_unique<BenchWindow>();
    window->form.show();
    WaitForLayout(window->form.Page());
    shownWindow = window.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
