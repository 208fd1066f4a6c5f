#include "page/MessageActionBar.h"

#include "page/MessageBlocks.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

const QString kToken = QStringLiteral("0123456789abcdef0123456789abcdef");

// Every link of a bar asks for the action it names, for its own message and no other.
TEST(MessageActionBar, LinksNameTheirActionAndMessage) {
    const QRegularExpression link(QStringLiteral("href=\"#([^\"]+)\">([^<]+)</a>"));
    struct Case {
        bool question;
        QList<std::pair<MessageAction, QString>> expected;
    };
    for (const Case& c :
         {Case{true,
               {{MessageAction::Copy, QStringLiteral("Копировать")},
                {MessageAction::Edit, QStringLiteral("Изменить")},
                {MessageAction::Delete, QStringLiteral("Удалить")}}},
          Case{false,
               {{MessageAction::Copy, QStringLiteral("Копировать")},
                {MessageAction::Regenerate, QStringLiteral("Ответить заново")},
                {MessageAction::Delete, QStringLiteral("Удалить")}}}}) {
        QList<std::pair<MessageAction, QString>> found;
        for (const QRegularExpressionMatch& match :
             link.globalMatch(MessageActionsHtml(kToken, 12, c.question))) {
            const auto action = ParseMessageActionFragment(match.captured(1), kToken);
            ASSERT_TRUE(action.has_value()) << match.captured(1).toStdString();
            EXPECT_EQ(action->Index, 12);
            found.append({action->Action, match.captured(2)});
        }
        EXPECT_EQ(found, c.expected);
    }
}

TEST(MessageActionBar, OtherFragmentsAreNoAction) {
    for (const QString& fragment :
         {QStringLiteral("msg-ffffffffffffffffffffffffffffffff-copy-1"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-copy-"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-copy--1"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-copy-+1"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-copy-1x"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-print-1"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-1"),
          QStringLiteral("msg-") + kToken + QStringLiteral("-copy-99999999999999999999999"),
          QStringLiteral("msg-") + kToken, QStringLiteral("retry-") + kToken, QString()})
        EXPECT_FALSE(ParseMessageActionFragment(fragment, kToken).has_value())
            << fragment.toStdString();
    EXPECT_FALSE(ParseMessageActionFragment(QStringLiteral("msg--copy-1"), QString()).has_value());
}

// The bar goes first into the message's own block; anything else is left as it is.
TEST(MessageActionBar, GoesIntoTheFirstBlock) {
    const QString block = BuildUserMessageHtml(QStringLiteral("вопрос"), {});
    const QString html = WithMessageActions(block + BuildStoppedMarkHtml(), kToken, 3, true);
    const qsizetype opened = block.indexOf(u'>') + 1;
    EXPECT_EQ(html, block.first(opened) + MessageActionsHtml(kToken, 3, true) +
                        block.sliced(opened) + BuildStoppedMarkHtml());
    EXPECT_EQ(WithMessageActions(BuildStoppedMarkHtml(), kToken, 3, true), BuildStoppedMarkHtml());
}

} // namespace
