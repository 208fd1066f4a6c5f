#include "ConversationHtml.h"
#include "Clock.h"
#include "MessageBlocks.h"
#include "SampleConversation.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

TEST(ConversationHtml, ShowsUserItemsWholeAndModelItemsByTheirFirstPart) {
    Clock::setSource([] { return QDateTime(QDate(2025, 11, 3), QTime(14, 5, 9)); });
    // Each block shows its message's time; a message saved without one shows none.
    TChatHistory history = SampleConversation();
    const QDateTime asked(QDate(2025, 11, 2), QTime(9, 0, 1));
    const QDateTime answered(QDate(2025, 11, 2), QTime(9, 0, 7));
    history[0].Time = asked;
    history[1].Time = answered;
    const QString expected =
        BuildUserMessageHtml(QStringLiteral("look here"),
                             {QStringLiteral("image/png"), QStringLiteral("notes.txt")}, asked) +
        BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO"), answered) +
        BuildModelMessageHtml(QStringLiteral("**caption**"), {}) +
        BuildModelMessageHtml(QString(), {});
    EXPECT_EQ(BuildConversationHtml(history), expected);
    EXPECT_EQ(BuildConversationHtml({}), QString());
    Clock::setSource({});
}

} // namespace
