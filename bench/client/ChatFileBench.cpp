// Saving and loading a chat that carries 100 MB of Base64 attachments: throughput, and
// the peak memory an operation adds above what the process held before it, as a
// multiple of the file's size.
#include "chat/GeminiDM.h"
#include "MemoryPeak.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr qsizetype kBase64Total = 100 * 1000 * 1000;

QByteArray randomBase64(qsizetype base64Size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray raw(base64Size / 4 * 3, Qt::Uninitialized);
    for (char& c : raw)
        c = char(random());
    return raw.toBase64();
}

// A conversation of question and answer pairs, the questions carrying the attachments.
TChatHistory chatWithAttachments(int attachments) {
    TChatHistory history;
    for (int i = 0; i < attachments; ++i) {
        history.append({QStringLiteral("user"),
                        {MakeTextPart(QStringLiteral("Что на этом файле? %1").arg(i)),
                         MakeInlinePart(QStringLiteral("application/pdf"),
                                        randomBase64(kBase64Total / attachments, i),
                                        QStringLiteral("file%1.pdf").arg(i))}});
        history.append(
            {QStringLiteral("model"),
             {MakeTextPart(QStringLiteral("Это документ с таблицами. ").repeated(200))}});
    }
    return history;
}

void reportPeak(benchmark::State& state, qint64 before, qint64 fileSize) {
    state.counters["file_MB"] = double(fileSize) / 1e6;
    state.counters["peak_added_MB"] = double(MemoryPeak::Peak() - before) / 1e6;
    state.counters["peak_x_file"] = double(MemoryPeak::Peak() - before) / double(fileSize);
}

void SaveChat(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chat.json"));
    TGeminiDM dm;
    dm.ChatHistory() = chatWithAttachments(int(state.range(0)));
    qint64 before = 0;
    for (auto _ : state) {
        before = MemoryPeak::Resident();
        MemoryPeak::Reset();
        if (!dm.SaveHistoryToFile(path))
            state.SkipWithError("save failed");
    }
    const qint64 fileSize = QFileInfo(path).size();
    state.SetBytesProcessed(state.iterations() * fileSize);
    reportPeak(state, before, fileSize);
}
BENCHMARK(SaveChat)->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void LoadChat(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chat.json"));
    TGeminiDM dm;
    dm.ChatHistory() = chatWithAttachments(int(state.range(0)));
    if (!dm.SaveHistoryToFile(path))
        state.SkipWithError("save failed");
    const TChatHistory expected = dm.ChatHistory();
    qint64 before = 0;
    for (auto _ : state) {
        state.PauseTiming();
        dm.ClearHistory();
        before = MemoryPeak::Resident();
        MemoryPeak::Reset();
        state.ResumeTiming();
        if (!dm.LoadHistoryFromFile(path))
            state.SkipWithError("load failed");
    }
    const qint64 fileSize = QFileInfo(path).size();
    state.SetBytesProcessed(state.iterations() * fileSize);
    reportPeak(state, before, fileSize);
    if (dm.ChatHistory() != expected)
        state.SkipWithError("loaded chat differs");
}
BENCHMARK(LoadChat)->Arg(5)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

BENCHMARK_MAIN();
