// Listing the chat folder: LoadChatList over 2,000 saved chats of ordinary size, every
// tenth with a title and every fiftieth pinned, whose labels the list reads.
#include "BenchWindow.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

namespace {

// Chats of about 10 KB with distinct titles and last-write times; false when one cannot
// be written.
bool fillChatFolder(const QString& folder, int count) {
    QDir().mkpath(folder);
    TGeminiDM writer;
    const QString answer = QStringLiteral("Ответ модели с **разметкой** и кодом. ").repeated(250);
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < count; ++i) {
        writer.SetChatHistory(
            {{QStringLiteral("user"), {MakeTextPart(QStringLiteral("Вопрос %1").arg(i))}},
             {QStringLiteral("model"), {MakeTextPart(answer)}}});
        writer.SetLabel({i % 10 == 0 ? QStringLiteral("Название %1").arg(i) : QString(),
                         i % 50 == 0});
        const QString path =
            QDir(folder).filePath(QStringLiteral("Вопрос %1_2025-03-01_142530.json").arg(i));
        if (!writer.SaveHistoryToFile(path))
            return false;
        QFile file(path);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(now.addSecs(-i), QFileDevice::FileModificationTime);
    }
    return true;
}

void BM_LoadChatList(benchmark::State& state) {
    BenchWindow& w = ShownWindow();
    const QString folder = w.form.Folders().chatsDir();
    QDir(folder).removeRecursively();
    const bool filled = fillChatFolder(folder, int(state.range(0)));
    if (!filled) {
        state.SkipWithError("cannot write the chats");
        return;
    }
    for (auto _ : state) {
        if (!w.form.LoadChatList()) {
            state.SkipWithError("cannot list the chats");
            return;
        }
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadChatList)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace
