// FileToBase64 of a 20 MiB binary file and of a 20 MiB text file (Cyrillic UTF-8 without a
// byte-order mark, the case that is decoded and encoded again).
#include "chat/GeminiDM.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr qsizetype kFileSize = 20 * 1024 * 1024;

QByteArray randomBytes() {
    std::mt19937 random(7);
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(random());
    return bytes;
}

QByteArray cyrillicText() {
    const QByteArray line =
        QStringLiteral("Строка отчёта номер один, с числами 12345 и знаками.\r\n").toUtf8();
    return line.repeated(kFileSize / line.size() + 1).left(kFileSize - kFileSize % 2);
}

void encodeFile(benchmark::State& state, const QString& name, const QByteArray& content) {
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        state.SkipWithError("cannot write the file");
    file.close();
    for (auto _ : state) {
        const QByteArray base64 = TGeminiDM::FileToBase64(path);
        benchmark::DoNotOptimize(base64.data());
    }
    state.SetBytesProcessed(state.iterations() * content.size());
}

void BinaryFile(benchmark::State& state) {
    encodeFile(state, QStringLiteral("data.pdf"), randomBytes());
}
BENCHMARK(BinaryFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void TextFile(benchmark::State& state) {
    encodeFile(state, QStringLiteral("report.txt"), cyrillicText());
}
BENCHMARK(TextFile)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
