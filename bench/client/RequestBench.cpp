// Building and sending a request that carries 16 attachments of 20 MiB each (the most a
// message may carry) to a fake model service on loopback: body throughput, and peak
// memory as a multiple of the attachments' Base64 size.
#include "FakeModelService.h"
#include "chat/GeminiDM.h"
#include "LoopbackRequest.h"
#include "MemoryPeak.h"
#include "service/RequestBody.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int kAttachments = 16;
constexpr qsizetype kAttachmentBytes = 20 * 1024 * 1024;

// Each attachment its own buffer, as files read from disk would be.
TContentParts messageWithAttachments() {
    TContentParts parts{MakeTextPart(QStringLiteral("Что общего у этих файлов?"))};
    std::mt19937 random(7);
    QByteArray raw(kAttachmentBytes, Qt::Uninitialized);
    for (int i = 0; i < kAttachments; ++i) {
        for (char& c : raw)
            c = char(random());
        parts.append(MakeInlinePart(QStringLiteral("application/octet-stream"), raw.toBase64(),
                                    QStringLiteral("file%1.bin").arg(i)));
    }
    return parts;
}

qint64 base64Size(const TContentParts& parts) {
    qint64 size = 0;
    for (const TContentPart& part : parts)
        size += part.Base64Data.size();
    return size;
}

void reportMemory(benchmark::State& state, qint64 before, qint64 base64) {
    state.counters["base64_MB"] = double(base64) / 1e6;
    state.counters["peak_MB"] = double(MemoryPeak::Peak()) / 1e6;
    state.counters["peak_x_base64"] = double(MemoryPeak::Peak()) / double(base64);
    state.counters["added_x_base64"] = double(MemoryPeak::Peak() - before) / double(base64);
}

void BuildBody(benchmark::State& state) {
    const TChatHistory history{{QStringLiteral("user"), messageWithAttachments()}};
    const qint64 base64 = base64Size(history.first().Parts);
    qint64 before = 0;
    qint64 bodySize = 0;
    for (auto _ : state) {
        before = MemoryPeak::Resident();
        MemoryPeak::Reset();
        const QByteArray body = BuildContentRequestBody(history, false);
        bodySize = body.size();
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(state.iterations() * bodySize);
    reportMemory(state, before, base64);
}
BENCHMARK(BuildBody)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void SendRequest(benchmark::State& state) {
    FakeModelService service;
    service.discardBodies();
    service.reply(
        FakeReply::json(R"({"candidates":[{"content":{"parts":[{"text":"Они случайны."}]}}]})"));
    TGeminiDM dm;
    dm.SetBaseUrl(QString::fromStdString(service.baseUrl()));
    const TContentParts parts = messageWithAttachments();
    const qint64 base64 = base64Size(parts);
    qint64 before = 0;
    for (auto _ : state) {
        before = MemoryPeak::Resident();
        MemoryPeak::Reset();
        if (SendAndWait(dm, parts) != QStringLiteral("Они случайны."))
            state.SkipWithError("no answer");
    }
    state.SetBytesProcessed(state.iterations() * base64);
    reportMemory(state, before, base64);
}
BENCHMARK(SendRequest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
