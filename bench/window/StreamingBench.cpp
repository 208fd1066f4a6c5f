// Live answers in the real window against the loopback service: how soon the first chunk
// is on the page after the service sends it, and what a long streamed answer costs the
// user-interface thread beside the same answer arriving whole.
#include "BenchWindow.h"
#include "app/ChatPage.h"
#include "EventWait.h"
#include "FakeModelService.h"
#include "app/PromptEdit.h"
#include "MemoryPeak.h"
#include "service/HttpPost.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kAnswerLength = 20000;
constexpr int kChunks = 500;

std::string textEvent(const QString& text) {
    const QJsonObject part{{QStringLiteral("text"), text}};
    const QJsonObject content{{QStringLiteral("parts"), QJsonArray{part}}};
    const QJsonObject candidate{{QStringLiteral("content"), content}};
    const QJsonObject event{{QStringLiteral("candidates"), QJsonArray{candidate}}};
    return "data: " + QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() + "\n\n";
}

// 20,000 characters of real answers from the corpus, one after another.
QString longAnswer() {
    QString text;
    for (const QString& answer : CorpusAnswers()) {
        text += answer + QStringLiteral("\n\n");
        if (text.size() >= kAnswerLength)
            break;
    }
    return text.left(kAnswerLength);
}

double threadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double epochMs() {
    return double(std::chrono::duration_cast<std::chrono::microseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count()) /
           1e3;
}

bool idle(BenchWindow& w) {
    const auto* send = w.form.findChild<QPushButton*>(QStringLiteral("btnSend"));
    return send->isEnabled() && send->text() == QStringLiteral("Отправить");
}

void send(BenchWindow& w, FakeModelService& service) {
    w.geminiDM.SetBaseUrl(QString::fromStdString(service.baseUrl()));
    w.form.findChild<QComboBox*>(QStringLiteral("editApiKey"))->setEditText(QStringLiteral("K"));
    w.form.findChild<QComboBox*>(QStringLiteral("cbModels"))
        ->setEditText(QStringLiteral("gemini-2.5-flash"));
    w.form.findChild<PromptEdit*>(QStringLiteral("memoPrompt"))->setPlainText(QStringLiteral("q"));
    w.form.findChild<QPushButton*>(QStringLiteral("btnSend"))->click();
}

QVariant evaluate(ChatPage& page, const QString& script) {
    QVariant result;
    bool done = false;
    page.Evaluate(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    WaitUntil([&] { return done; }, 10000);
    return result;
}

// The page notes the moment (wall clock, as the service's) the marker first shows.
const QString kWatchForMarker = QStringLiteral(
    "window.tovikSeenAt = 0; new MutationObserver(function (m, observer) { "
    "var c = document.getElementById('chat-container'); "
    "if (c && c.textContent.indexOf('MARKER-FIRST') >= 0) { "
    "window.tovikSeenAt = performance.timeOrigin + performance.now(); observer.disconnect(); } "
    "}).observe(document.getElementById('chat-container'), "
    "{childList: true, subtree: true, characterData: true}); 0");

// From the moment the service lets the first event go to the moment the page shows it.
void BM_FirstChunkOnPage(benchmark::State& state) {
    BenchWindow& w = ShownWindow();
    std::vector<double> latencies;
    for (auto _ : state) {
        state.PauseTiming();
        w.form.btnNewChatClick();
        FakeModelService service;
        service.reply(FakeReply::events(
            {{.bytes = textEvent(QStringLiteral("MARKER-FIRST ")), .afterRelease = true},
             {.bytes = textEvent(QStringLiteral("rest")), .delay = 200ms}}));
        send(w, service);
        WaitUntil([&] { return !service.requests().empty(); }, 10000);
        RunEventsFor(100); // the live block is up and its first render long done
        evaluate(w.form.View().Page(), kWatchForMarker);
        state.ResumeTiming();
        const double released = epochMs();
        service.release();
        WaitUntil(
            [&] {
                return evaluate(w.form.View().Page(), QStringLiteral("window.tovikSeenAt")).toDouble() > 0;
            },
            10000);
        state.PauseTiming();
        latencies.push_back(
            evaluate(w.form.View().Page(), QStringLiteral("window.tovikSeenAt")).toDouble() - released);
        WaitUntil([&] { return idle(w); }, 10000);
        state.ResumeTiming();
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
}
BENCHMARK(BM_FirstChunkOnPage)->Iterations(25)->Unit(benchmark::kMillisecond)->UseRealTime();

// Waits for the window to go idle with few wake-ups of its own, which would count as
// the window's work.
void waitUntilIdle(BenchWindow& w) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (idle(w))
            loop.quit();
    });
    poll.start(25);
    loop.exec();
}

// User-interface thread CPU from Send to idle: the answer in kChunks events a few
// milliseconds apart (range 1), or whole in one event after as long a wait (range 0), so
// both take as long and only the rendering differs.
void BM_LongAnswerUiCpu(benchmark::State& state) {
    static const QString answer = longAnswer();
    const bool streamed = state.range(0) == 1;
    constexpr std::chrono::milliseconds kGap = 4ms;
    std::vector<FakeChunk> chunks;
    if (streamed) {
        const int step = kAnswerLength / kChunks;
        for (int i = 0; i < kChunks; ++i)
            chunks.push_back({.bytes = textEvent(answer.mid(i * step, step)), .delay = kGap});
    } else {
        chunks.push_back({.bytes = textEvent(answer), .delay = kGap * kChunks});
    }
    BenchWindow& w = ShownWindow();
    double cpu = 0;
    for (auto _ : state) {
        w.form.btnNewChatClick();
        WaitForLayout(w.form.View().Page());
        FakeModelService service;
        service.reply(FakeReply::events(chunks));
        const double before = threadCpuMs();
        send(w, service);
        waitUntilIdle(w);
        WaitForLayout(w.form.View().Page());
        cpu += threadCpuMs() - before;
    }
    state.counters["ui_cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(BM_LongAnswerUiCpu)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A service that writes small text events as fast as it can, past the answer size limit.
// The window must answer its user all along: the longest time its event loop went without
// running (a 10 ms timer's longest gap), the time to the end, and the process's peak memory.
void BM_EndlessStream(benchmark::State& state) {
    BenchWindow& w = ShownWindow();
    const std::string event = textEvent(QStringLiteral("бесконечный поток текста "));
    const size_t events = kMaxResponseBodyBytes / event.size() + 1000;
    double longestGapMs = 0;
    double peakMb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.form.btnNewChatClick();
        WaitForLayout(w.form.View().Page());
        FakeModelService service;
        service.reply(FakeReply::events({{.bytes = event, .repeat = events}}));
        MemoryPeak::Reset();
        QElapsedTimer sinceTick;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, double(sinceTick.nsecsElapsed()) / 1e6);
            sinceTick.start();
        });
        state.ResumeTiming();
        send(w, service);
        sinceTick.start();
        ticks.start(10);
        waitUntilIdle(w);
        ticks.stop();
        state.PauseTiming();
        peakMb = std::max(peakMb, double(MemoryPeak::Peak()) / 1e6);
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = longestGapMs;
    state.counters["peak_MB"] = peakMb;
}
BENCHMARK(BM_EndlessStream)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
