// A 1 GB answer body served from loopback: it must be refused at the 128 MiB limit with
// bounded memory, whether its length is announced or only counted as it arrives. Reports
// the peak resident memory of the whole process (client and loopback service) while the
// answer is refused.
#include "FakeModelService.h"
#include "chat/GeminiDM.h"
#include "service/HttpPost.h"
#include "LoopbackRequest.h"
#include "MemoryPeak.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr size_t kPiece = 1024 * 1024;
constexpr size_t kGigabyte = 1024 * kPiece;
const QString kTooLarge = QStringLiteral("Ошибка: ответ сервера больше 128 МБ, он не принят.");

// Sent in 1 MiB pieces generated on the fly, so the service itself holds almost nothing.
FakeReply countedGigabyte() {
    return FakeReply::jsonInPieces({{.bytes = std::string(kPiece, ' '), .repeat = 1024}});
}

FakeReply announcedGigabyte() {
    FakeReply reply = FakeReply::json(std::string(kPiece, ' '));
    reply.claimedLength = kGigabyte;
    return reply;
}

void RefuseGigabyte(benchmark::State& state, FakeReply reply) {
    FakeModelService service;
    service.reply(std::move(reply));
    TGeminiDM dm;
    dm.SetBaseUrl(QString::fromStdString(service.baseUrl()));
    const TContentParts prompt{MakeTextPart(QStringLiteral("q"))};
    qint64 before = 0;
    for (auto _ : state) {
        before = MemoryPeak::Resident();
        MemoryPeak::Reset();
        if (SendAndWait(dm, prompt) != kTooLarge)
            state.SkipWithError("the answer was not refused");
    }
    state.counters["limit_MB"] = double(kMaxResponseBodyBytes) / 1e6;
    state.counters["peak_MB"] = double(MemoryPeak::Peak()) / 1e6;
    state.counters["added_MB"] = double(MemoryPeak::Peak() - before) / 1e6;
}
BENCHMARK_CAPTURE(RefuseGigabyte, counted, countedGigabyte())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK_CAPTURE(RefuseGigabyte, announced, announcedGigabyte())
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
