#include "BenchWindow.h"
#include "app/ChatPage.h"
#include "OffscreenWebEngine.h"
#include "app/QtTranslations.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QMultiHash>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

BenchWindow* shownWindow = nullptr;

} // namespace

// CPU seconds used so far by this process and every process it started (the web
// engine's renderer does the layout), which unlike wall time does not depend on how
// busy the machine is.
double CpuSecondsWithChildren() {
    QMultiHash<qint64, qint64> children;
    QHash<qint64, double> seconds;
    const double ticks = double(sysconf(_SC_CLK_TCK));
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // Fields after the command name, which sits in parentheses and may hold spaces.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() < 13)
            continue;
        children.insert(fields[1].toLongLong(), pid.toLongLong());
        seconds.insert(pid.toLongLong(), (fields[11].toDouble() + fields[12].toDouble()) / ticks);
    }
    double total = 0;
    QList<qint64> pending{qint64(getpid())};
    while (!pending.isEmpty()) {
        const qint64 pid = pending.takeLast();
        total += seconds.value(pid);
        pending.append(children.values(pid));
    }
    return total;
}

QStringList CorpusAnswers() {
    QStringList answers;
    const QDir corpus(QStringLiteral(TOVIK_ANSWER_CORPUS));
    for (const QString& name :
         corpus.entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name)) {
        QFile file(corpus.filePath(name));
        if (file.size() < 2 * 1024 || file.size() > 20 * 1024 || !file.open(QIODevice::ReadOnly))
            continue;
        answers.append(QString::fromUtf8(file.readAll()));
    }
    return answers;
}

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
    WaitForLayout(window->form.View().Page());
    shownWindow = window.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
