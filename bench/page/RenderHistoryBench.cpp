// Time from RenderHistory to a laid-out page, for conversations of growing length.
// Answers are the 2–20 KB model answers of the Markdown corpus, used in turn.
#include "ChatPage.h"
#include "Dialogs.h"
#include "GeminiDM.h"
#include "MainWindow.h"
#include "MessageBlocks.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

#include <unistd.h>

namespace {

QStringList loadAnswers() {
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

TChatHistory conversation(int messages, const QStringList& answers) {
    TChatHistory history;
    for (int i = 0; i < messages; ++i) {
        if (i % 2 == 0)
            history.append({QStringLiteral("user"),
                            {MakeTextPart(QStringLiteral("Вопрос номер %1: объясни подробнее, "
                                                         "с примерами кода.")
                                              .arg(i / 2))}});
        else
            history.append(
                {QStringLiteral("model"), {MakeTextPart(answers[(i / 2) % answers.size()])}});
    }
    return history;
}

// Waits until the page has run everything asked of it and has laid itself out.
void waitForLayout(TChatPage& page) {
    QEventLoop loop;
    page.Evaluate(QStringLiteral("document.documentElement.scrollHeight"),
                  [&loop](const QVariant&) { loop.quit(); });
    loop.exec();
}

struct Window {
    QTemporaryDir programDir;
    QTemporaryDir workingDir;
    TQtDialogs dialogs;
    TForm1 form{AppFolders{programDir.path(), workingDir.path()}, dialogs};
    TGeminiDM geminiDM;
};

// One shown window for every run, made by main.
Window* shownWindow = nullptr;

void BM_RenderHistoryShown(benchmark::State& state) {
    static const QStringList answers = loadAnswers();
    if (answers.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    Window& w = *shownWindow;
    w.geminiDM.SetChatHistory(conversation(int(state.range(0)), answers));
    for (auto _ : state) {
        w.form.ResetChatView();
        w.form.RenderHistory();
        waitForLayout(w.form.ChatPage());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_RenderHistoryShown)
    ->Arg(125)
    ->Arg(250)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

// The share of the above spent building the blocks (Markdown conversion included).
void BM_BuildAnswerBlocks(benchmark::State& state) {
    static const QStringList answers = loadAnswers();
    if (answers.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    const int count = int(state.range(0)) / 2;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i)
            benchmark::DoNotOptimize(BuildModelMessageHtml(answers[i % answers.size()]));
    }
}
BENCHMARK(BM_BuildAnswerBlocks)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Offscreen like the window tests; as root Chromium needs its sandbox off.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto window = std::make_unique<Window>();
    window->form.show();
    waitForLayout(window->form.ChatPage());
    shownWindow = window.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
