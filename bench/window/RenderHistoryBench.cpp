// Time from RenderHistory to the latest messages laid out, for conversations of growing
// length, and to the whole conversation on the page.
// Answers are the 2–20 KB model answers of the Markdown corpus, used in turn.
#include "BenchWindow.h"
#include "app/ChatPage.h"
#include "page/MessageBlocks.h"

#include <QEventLoop>

#include <benchmark/benchmark.h>

namespace {

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

// Waits until the page holds this many message blocks.
void waitForBlocks(ChatPage& page, int blocks) {
    for (int shown = 0; shown < blocks;) {
        QEventLoop loop;
        page.Evaluate(QStringLiteral("document.getElementById('chat-container').children.length"),
                      [&](const QVariant& count) {
                          shown = count.toInt();
                          loop.quit();
                      });
        loop.exec();
    }
}

// fromBlank: the page the chat replaces is emptied before the time starts; otherwise the
// time includes taking down the same long chat shown before.
void renderHistoryShown(benchmark::State& state, bool fromBlank) {
    static const QStringList answers = CorpusAnswers();
    if (answers.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    BenchWindow& w = ShownWindow();
    w.geminiDM.SetChatHistory(conversation(int(state.range(0)), answers));
    const double cpuBefore = CpuSecondsWithChildren();
    for (auto _ : state) {
        if (fromBlank) {
            state.PauseTiming();
            w.form.ResetChatView();
            WaitForLayout(w.form.View().Page());
            state.ResumeTiming();
        } else {
            w.form.ResetChatView();
        }
        w.form.View().RenderHistory();
        WaitForLayout(w.form.View().Page());
        // The older parts that follow are left to finish outside the time taken.
        state.PauseTiming();
        waitForBlocks(w.form.View().Page(), int(state.range(0)));
        state.ResumeTiming();
    }
    state.counters["cpu_ms_all_processes"] =
        (CpuSecondsWithChildren() - cpuBefore) * 1000 / double(state.iterations());
    state.SetComplexityN(state.range(0));
}

void BM_RenderHistoryShown(benchmark::State& state) {
    renderHistoryShown(state, false);
}
BENCHMARK(BM_RenderHistoryShown)
    ->Arg(125)
    ->Arg(250)
    ->Arg(500)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

void BM_RenderHistoryShownFromBlank(benchmark::State& state) {
    renderHistoryShown(state, true);
}
BENCHMARK(BM_RenderHistoryShownFromBlank)
    ->Arg(500)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Until every part of the conversation is on the page; the latest are shown long before.
void BM_RenderHistoryWhole(benchmark::State& state) {
    static const QStringList answers = CorpusAnswers();
    if (answers.isEmpty()) {
        state.SkipWithError("no answers of 2-20 KB in the corpus");
        return;
    }
    BenchWindow& w = ShownWindow();
    const int messages = int(state.range(0));
    w.geminiDM.SetChatHistory(conversation(messages, answers));
    for (auto _ : state) {
        w.form.ResetChatView();
        w.form.View().RenderHistory();
        waitForBlocks(w.form.View().Page(), messages);
    }
}
BENCHMARK(BM_RenderHistoryWhole)->Arg(500)->Unit(benchmark::kMillisecond)->UseRealTime();

// The share of the above spent building the blocks (Markdown conversion included).
void BM_BuildAnswerBlocks(benchmark::State& state) {
    static const QStringList answers = CorpusAnswers();
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
