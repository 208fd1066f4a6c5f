// Searching the chat folder: 1,000 ordinary chats of 10-50 KB, then the same folder
// with one more chat that carries 300 MB of Base64 attachments. The files are written
// by the program's own chat-file code and read warm from the page cache. For scale,
// the same reading done by parsing each whole document.
#include "store/ChatSearch.h"
#include "chat/GeminiDM.h"
#include "text/JsonText.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

const char16_t* const kSentences[] = {
    u"Привет! Как настроить сборку проекта на CMake с Qt 6?",
    u"Сначала установите пакеты разработчика, затем добавьте find_package(Qt6 REQUIRED).",
    u"Here is a minimal example of a CMakeLists.txt that builds a widget application.",
    u"Функция возвращает список файлов, отсортированный по дате изменения.",
    u"The error means the linker cannot find the symbol; check the target_link_libraries line.",
    u"Доброе утро! Подскажите, пожалуйста, рецепт борща на четыре порции.",
    u"```cpp\nint main() {\n    return QApplication(argc, argv).exec();\n}\n```",
    u"Для этого используйте регулярное выражение и проверьте граничные случаи.",
    u"Sure — the difference between a process and a thread is mostly about shared memory.",
    u"| Столбец | Значение |\n|---|---|\n| скорость | 42 км/ч |",
    u"Можно ли перевести этот абзац на английский язык, сохранив стиль автора?",
    u"In short: use a QSaveFile so that a crash never leaves a half-written file behind.",
};

const QStringList kWords = {u"kubernetes"_s, u"доброе утро, коллега"_s};

QString message(std::mt19937& random, int sentences) {
    QString text;
    for (int i = 0; i < sentences; ++i) {
        text += QString::fromUtf16(kSentences[random() % std::size(kSentences)]);
        text += random() % 4 == 0 ? u"\n\n"_s : u" "_s;
    }
    return text;
}

// A chat of question and answer pairs until its file reaches about `bytes`; every
// twentieth chat mentions the rare word.
TChatHistory ordinaryChat(std::mt19937& random, qsizetype bytes, bool mentionsRareWord) {
    TChatHistory history;
    qsizetype estimated = 0;
    while (estimated < bytes) {
        const QString question = message(random, 1 + int(random() % 3));
        const QString answer = message(random, 5 + int(random() % 30));
        history.append({u"user"_s, {MakeTextPart(question)}});
        history.append({u"model"_s, {MakeTextPart(answer)}});
        // Cyrillic is written as six-byte escapes; about half the text is Cyrillic.
        estimated += (question.size() + answer.size()) * 7 / 2;
    }
    if (mentionsRareWord)
        history.last().Parts.first().Text += u" Kubernetes"_s;
    return history;
}

QByteArray randomBase64(qsizetype base64Size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray raw(base64Size / 4 * 3, Qt::Uninitialized);
    for (char& c : raw)
        c = char(random());
    return raw.toBase64();
}

class ChatFolder {
public:
    ChatFolder() {
        std::mt19937 random(2025);
        TGeminiDM dm;
        for (int i = 0; i < 1000; ++i) {
            const qsizetype size = 10 * 1024 + qsizetype(random() % (40 * 1024));
            dm.ChatHistory() = ordinaryChat(random, size, i % 20 == 0);
            save(dm, QStringLiteral("chat %1_2025-03-01_120000.json").arg(i));
        }
        ordinaryBytes = folderBytes();
    }

    // Adds (or removes) the chat with 300 MB of attachments: twelve files of 25 MB.
    void setLargeChat(bool present) {
        const QString path = m_dir.filePath(u"attachments_2025-03-02_120000.json"_s);
        if (!present) {
            QFile::remove(path);
            return;
        }
        if (QFileInfo::exists(path))
            return;
        TGeminiDM dm;
        for (int i = 0; i < 12; ++i) {
            dm.ChatHistory().append(
                {u"user"_s,
                 {MakeTextPart(u"Что на этой фотографии? %1"_s.arg(i)),
                  MakeInlinePart(u"image/jpeg"_s, randomBase64(25 * 1000 * 1000, unsigned(i)),
                                 u"photo%1.jpg"_s.arg(i))}});
            dm.ChatHistory().append({u"model"_s, {MakeTextPart(u"На фото кот на диване."_s)}});
        }
        save(dm, path);
    }

    QString path() const { return m_dir.path(); }

    qint64 folderBytes() const {
        qint64 total = 0;
        for (QDirIterator files(m_dir.path(), QDir::Files); files.hasNext();)
            total += files.nextFileInfo().size();
        return total;
    }

    qint64 ordinaryBytes = 0;

private:
    void save(const TGeminiDM& dm, const QString& name) {
        if (!dm.SaveHistoryToFile(QDir(m_dir.path()).filePath(name)))
            qFatal("cannot write the benchmark chats");
    }

    QTemporaryDir m_dir;
};

ChatFolder& folder() {
    static ChatFolder instance;
    return instance;
}

void report(benchmark::State& state, int matches) {
    state.counters["matches"] = matches;
    state.counters["folder_MB"] = double(folder().folderBytes()) / 1e6;
}

void Search(benchmark::State& state) {
    folder().setLargeChat(state.range(0) != 0);
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        const Expected<ChatSearchOutcome> outcome = SearchChatFolder(
            folder().path(), kWords, {.Matched = [&](const ChatSearchMatch&) { ++matches; }});
        if (!outcome || outcome->Skipped > 0)
            state.SkipWithError("search failed");
    }
    report(state, matches);
}
BENCHMARK(Search)
    ->ArgName("large_chat")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The plain way for comparison: every document parsed whole, then walked.
void SearchByParsingDocuments(benchmark::State& state) {
    folder().setLargeChat(state.range(0) != 0);
    int matches = 0;
    for (auto _ : state) {
        matches = 0;
        for (QDirIterator files(folder().path(), {u"*.json"_s}, QDir::Files); files.hasNext();) {
            QFile file(files.next());
            if (!file.open(QIODevice::ReadOnly))
                state.SkipWithError("read failed");
            const std::optional<QJsonValue> document = ParseJsonText(file.readAll());
            if (!document || !document->isObject())
                continue;
            QString text;
            for (const QJsonValue& item : document->toObject().value(u"contents"_s).toArray())
                for (const QJsonValue& part : item.toObject().value(u"parts"_s).toArray())
                    text += u' ' +
                            JsonValueAsString(part.toObject().value(u"text"_s)).value_or(QString());
            if (ContainsEveryWord({FoldCase(text)}, kWords))
                ++matches;
        }
    }
    report(state, matches);
}
BENCHMARK(SearchByParsingDocuments)
    ->ArgName("large_chat")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

} // namespace

BENCHMARK_MAIN();
