#include "page/MessageActionBar.h"

#include <algorithm>

namespace {

using namespace Qt::StringLiterals;

struct ActionView {
    MessageAction action;
    QStringView name;
    QStringView title;
    // Which messages carry it.
    bool onQuestion;
    bool onAnswer;
};

constexpr ActionView kActions[] = {
    {MessageAction::Copy, u"copy", u"Копировать", true, true},
    {MessageAction::Edit, u"edit", u"Изменить", true, false},
    {MessageAction::Regenerate, u"regenerate", u"Ответить заново", false, true},
    {MessageAction::Delete, u"delete", u"Удалить", true, true},
};

constexpr QStringView kFragmentPrefix = u"msg-";
constexpr QStringView kBlockStart = u"<div class=\"message-wrapper ";

} // namespace

QString MessageActionsHtml(QStringView token, qsizetype index, bool question) {
    const QString number = QString::number(index);
    QString html = u"<div class=\"message-actions\" data-item=\""_s + number +
                   u"\" role=\"toolbar\" aria-label=\"Действия с сообщением\">"_s;
    for (const ActionView& view : kActions) {
        if (question ? !view.onQuestion : !view.onAnswer)
            continue;
        html += u"<a class=\"message-action "_s;
        html += view.name;
        html += u"\" role=\"button\" title=\""_s;
        html += view.title;
        html += u"\" href=\"#"_s;
        html += kFragmentPrefix;
        html += token;
        html += u'-';
        html += view.name;
        html += u'-';
        html += number;
        html += u"\">"_s;
        html += view.title;
        html += u"</a>"_s;
    }
    return html + u"</div>"_s;
}

QString WithMessageActions(const QString& itemHtml, QStringView token, qsizetype index,
                           bool question) {
    if (!itemHtml.startsWith(kBlockStart))
        return itemHtml;
    const qsizetype opened = itemHtml.indexOf(u'>') + 1;
    QString html = itemHtml;
    html.insert(opened, MessageActionsHtml(token, index, question));
    return html;
}

std::optional<MessageActionLink> ParseMessageActionFragment(QStringView fragment,
                                                            QStringView token) {
    if (token.isEmpty() || !fragment.startsWith(kFragmentPrefix))
        return std::nullopt;
    QStringView rest = fragment.sliced(kFragmentPrefix.size());
    if (!rest.startsWith(token) || rest.size() <= token.size() || rest[token.size()] != u'-')
        return std::nullopt;
    rest = rest.sliced(token.size() + 1);
    const qsizetype dash = rest.lastIndexOf(u'-');
    const QStringView digits = rest.sliced(dash + 1);
    const bool allDigits = std::all_of(digits.begin(), digits.end(),
                                       [](QChar c) { return c >= u'0' && c <= u'9'; });
    bool number = false;
    const qsizetype index = digits.toLongLong(&number);
    if (dash < 0 || !allDigits || !number)
        return std::nullopt;
    for (const ActionView& view : kActions) {
        if (rest.first(dash) == view.name)
            return MessageActionLink{view.action, index};
    }
    return std::nullopt;
}
