// Time from RenderHistory to a laid-out page, for conversations of growing length.
// Answers are the 2–20 KB model answers of the Markdown corpus, used in turn.
#include "BenchWindow.h"
#include "ChatPage.h"
#include "MessageBlocks.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

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

void BM_RenderHistoryShown(benchmark::State& state) {
    static const QStringList answers = loadAnswers();
    if (answers.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    BenchWindow& w = ShownWindow();
    w.geminiDM.SetChatHistory(conversation(int(state.range(0)), answers));
    const double cpuBefore = CpuSecondsWithChildren();
    for (auto _ : state) {
        w.form.ResetChatView();
        w.form.RenderHistory();
        WaitForLayout(w.form.Page());
    }
    state.counters["cpu_ms_all_processes"] =
        (CpuSecondsWithChildren() - cpuBefore) * 1000 / double(state.iterations());
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
