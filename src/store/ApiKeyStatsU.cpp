#include "store/ApiKeyStatsU.h"

#include "text/Clock.h"
#include "text/ListFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

using namespace Qt::StringLiterals;

constexpr int kMaxFileNameBytes = 255;
const QString kFileSuffix = QStringLiteral(".txt");

// Spaces and control characters do not make a key or a model name.
bool isBlank(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0x20; });
}

bool isUnsafeInFileName(QChar c) {
    return c == u'/' || c == u'\\' || c == u'%' || c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// The counter file's name must not give the key away: the first 32 hexadecimal digits
// of the key's SHA-256.
QString statsFileName(const QString& key) {
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    return QString::fromLatin1(digest.toHex().first(32)) + kFileSuffix;
}

// The name earlier versions gave the file: the key itself, with the characters that could
// leave the folder percent-encoded, or a full digest when that was too long. Today's count
// may still be there until its next increment moves it.
QString legacyStatsFileName(const QString& key) {
    QString name;
    for (const QChar c : key) {
        if (isUnsafeInFileName(c))
            name += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QChar(u'0')).toUpper();
        else
            name += c;
    }
    name += kFileSuffix;
    if (QFile::encodeName(name).size() <= kMaxFileNameBytes)
        return name;
    const QByteArray digest = QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("%sha256-") + QString::fromLatin1(digest.toHex()) + kFileSuffix;
}

QString inStatsDir(const QString& programDir, const QString& fileName) {
    return QDir(ApiStatsDir(programDir)).filePath(fileName);
}

// The key's file as it stands: under its digest, else under the old name, else none.
std::optional<QString> existingStatsFile(const QString& programDir, const QString& key) {
    for (const QString& name : {statsFileName(key), legacyStatsFileName(key)}) {
        const QString path = inStatsDir(programDir, name);
        if (QFileInfo::exists(path))
            return path;
    }
    return std::nullopt;
}

// The folder is for the owner alone; one left open by an earlier version is closed.
Expected<void> makePrivateStatsDir(const QString& programDir) {
    const QString dir = ApiStatsDir(programDir);
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QFileInfo(dir).isDir() && !(QDir().mkpath(programDir) &&
                                     QDir(programDir).mkdir(QFileInfo(dir).fileName(), ownerOnly)))
        return Failure(u"Не удалось создать папку счётчика запросов "_s +
                       QDir::toNativeSeparators(dir));
    QFile::setPermissions(dir, ownerOnly);
    return {};
}

QString statsDayText() {
    return StatsDay().toString(QStringLiteral("yyyy-MM-dd"));
}

struct CounterLine {
    QString day;
    QString model;
    int count = 0;
};

// Fields end at ';' only, so a model name may hold blanks (and even ';'): the day is
// everything before the first ';', the count everything after the last.
std::optional<CounterLine> parseLine(const QString& line) {
    const qsizetype first = line.indexOf(u';');
    const qsizetype last = line.lastIndexOf(u';');
    if (first < 0 || first == last)
        return std::nullopt;
    bool ok = false;
    const int count = line.sliced(last + 1).toInt(&ok);
    return CounterLine{line.first(first), line.sliced(first + 1, last - first - 1), ok ? count : 0};
}

QString formatLine(const QString& day, const QString& model, int count) {
    return day + u';' + model + u';' + QString::number(count);
}

// Model names match whatever the case of their Latin letters.
bool sameModel(const QString& a, const QString& b) {
    if (a.size() != b.size())
        return false;
    const auto fold = [](char16_t c) -> char16_t {
        return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
    };
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (fold(a[i].unicode()) != fold(b[i].unicode()))
            return false;
    }
    return true;
}

} // namespace

QDate StatsDay() {
    const QDateTime now = Clock::now();
    return now.time().hour() < 3 ? now.date().addDays(-1) : now.date();
}

QString ApiStatsDir(const QString& programDir) {
    return QDir(programDir).filePath(QStringLiteral("ApiStats"));
}

Expected<int> GetTodayRequestCount(const QString& programDir, const QString& AApiKey,
                                   const QString& AModelName) {
    if (isBlank(AApiKey) || isBlank(AModelName))
        return 0;
    const std::optional<QString> path = existingStatsFile(programDir, AApiKey);
    if (!path)
        return 0;
    const Expected<ListFile> file = ReadListFile(*path);
    if (!file)
        return Failure(file.error());
    const QString day = statsDayText();
    for (const QString& line : std::as_const(file->lines)) {
        const std::optional<CounterLine> parsed = parseLine(line);
        if (parsed && parsed->day == day && sameModel(parsed->model, AModelName))
            return parsed->count;
    }
    return 0;
}

Expected<int> IncrementTodayRequestCount(const QString& programDir, const QString& AApiKey,
                                         const QString& AModelName) {
    if (isBlank(AApiKey) || isBlank(AModelName))
        return Failure(u"Запрос без ключа или модели не считается"_s);
    if (const Expected<void> made = makePrivateStatsDir(programDir); !made)
        return Failure(made.error());
    const std::optional<QString> source = existingStatsFile(programDir, AApiKey);
    ListFile file;
    if (source) {
        Expected<ListFile> read = ReadListFile(*source);
        if (!read)
            return Failure(read.error());
        file = std::move(*read);
    }

    const QString day = statsDayText();
    // Only today's usable lines stay.
    file.lines.removeIf([&day](const QString& line) {
        const std::optional<CounterLine> parsed = parseLine(line);
        return !parsed || parsed->day != day;
    });

    int count = 1;
    const auto found = std::find_if(file.lines.begin(), file.lines.end(), [&](const QString& line) {
        return sameModel(parseLine(line)->model, AModelName);
    });
    if (found != file.lines.end()) {
        const int previous = parseLine(*found)->count;
        count = previous == std::numeric_limits<int>::max() ? previous : previous + 1;
        *found = formatLine(day, AModelName, count);
    } else {
        file.lines.append(formatLine(day, AModelName, count));
    }

    const QString path = inStatsDir(programDir, statsFileName(AApiKey));
    if (const Expected<TextFormat> written =
            WriteListFile(path, file.lines, file.format, FileAccess::OwnerOnly);
        !written)
        return Failure(written.error());
    // The count lives under the digest now; the file named after the key goes.
    const QString legacy = inStatsDir(programDir, legacyStatsFileName(AApiKey));
    if (legacy != path)
        QFile::remove(legacy);
    return count;
}
