#include "store/ChatNaming.h"

namespace {

constexpr qsizetype kMaxTitleLength = 50;

bool isControl(QChar c) {
    return c.unicode() < 0x20;
}

bool isForbiddenInFileName(QChar c) {
    static const QString forbidden = QStringLiteral("\"*/:<>?\\|");
    return isControl(c) || forbidden.contains(c);
}

bool isSpaceOrControl(QChar c) {
    return c == QLatin1Char(' ') || isControl(c);
}

const QString* firstUserText(const TChatHistory& history) {
    for (const THistoryItem& item : history) {
        if (item.Role == QLatin1StringView("user") && !item.Parts.isEmpty() &&
            item.Parts.first().PartType == TPartType::ptText)
            return &item.Parts.first().Text;
    }
    return nullptr;
}

} // namespace

QString ChatDisplayName(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString name = dot < 0 ? fileName : fileName.left(dot);
    const qsizetype stamp = name.indexOf(QLatin1StringView("_20"));
    return stamp > 0 ? name.left(stamp) : name;
}

QString ChatTitle(const TChatHistory& history) {
    const QString* text = firstUserText(history);
    if (!text)
        return QStringLiteral("chat");

    QString title = text->left(kMaxTitleLength);
    for (QChar& c : title) {
        if (isForbiddenInFileName(c))
            c = QLatin1Char(' ');
    }
    qsizetype begin = 0;
    qsizetype end = title.size();
    while (begin < end && isSpaceOrControl(title[begin]))
        ++begin;
    while (end > begin && isSpaceOrControl(title[end - 1]))
        --end;
    title = title.mid(begin, end - begin);
    return title.isEmpty() ? QStringLiteral("chat") : title;
}

QString ChatFileName(const QString& title, const QDateTime& firstSaved, int counter) {
    QString name = title + QLatin1Char('_') +
                   firstSaved.toString(QStringLiteral("yyyy-MM-dd_HHmmss"));
    if (counter > 1)
        name += QLatin1Char('_') + QString::number(counter);
    return name + QStringLiteral(".json");
}
