// Throughput of the JSON writer on the payloads that dominate request bodies and
// chat files: a 100 MB Base64 attachment, and long Cyrillic text.
#include "text/JsonText.h"

#include <benchmark/benchmark.h>

#include <random>

namespace {

QByteArray randomBase64(qsizetype bytes) {
    std::mt19937 random(42);
    QByteArray raw(bytes / 4 * 3, Qt::Uninitialized);
    for (char& c : raw)
        c = char(random());
    return raw.toBase64();
}

void Base64Attachment(benchmark::State& state) {
    const QByteArray data = randomBase64(100 * 1024 * 1024);
    for (auto _ : state) {
        JsonWriter writer;
        writer.latin1String(data);
        benchmark::DoNotOptimize(writer.text().data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(Base64Attachment)->Unit(benchmark::kMillisecond)->MinTime(3);

void Base64AsText(benchmark::State& state) {
    const QString data = QString::fromLatin1(randomBase64(100 * 1024 * 1024));
    for (auto _ : state) {
        JsonWriter writer;
        writer.string(data);
        benchmark::DoNotOptimize(writer.text().data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(Base64AsText)->Unit(benchmark::kMillisecond)->MinTime(3);

void CyrillicText(benchmark::State& state) {
    const QString sentence = QStringLiteral("Привет, как дела? Это пример ответа модели. ");
    const QString data = sentence.repeated(10 * 1024 * 1024 / sentence.size());
    for (auto _ : state) {
        JsonWriter writer;
        writer.string(data);
        benchmark::DoNotOptimize(writer.text().data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(CyrillicText)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
