#include "ConversationHtml.h"
#include "Clock.h"
#include "MessageBlocks.h"
#include "SampleConversation.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

TEST(ConversationHtml, ShowsUserItemsWholeAndModelItemsByTheirFirstPart) {
    Clock::setSource([] { return QDateTime(QDate(2025, 11, 3), QTime(14, 5, 9)); });
    const TChatHistory history = SampleConversation();
    const QString expected =
        BuildUserMessageHtml(QStringLiteral("look here"),
                             {QStringLiteral("image/png"), QStringLiteral("notes.txt")}) +
        BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO")) +
        BuildModelMessageHtml(QStringLiteral("**caption**")) + BuildModelMessageHtml(QString());
    EXPECT_EQ(BuildConversationHtml(history), expected);
    EXPECT_EQ(BuildConversationHtml({}), QString());
    Clock::setSource({});
}

TEST(ConversationHtml, ShowsKeptPicturesAfterTheirRequestAndSourcesAfterTheAnswer) {
    Clock::setSource([] { return QDateTime(QDate(2025, 11, 3), QTime(14, 5, 9)); });
    THistoryItem asked{QStringLiteral("user"), {MakeTextPart(QStringLiteral("cat"))}};
    asked.Images = {MakeInlinePart(QStringLiteral("image/png"), "iVBO")};
    THistoryItem answer{QStringLiteral("model"), {MakeTextPart(QStringLiteral("text"))}};
    answer.Sources = {{QStringLiteral("A"), QStringLiteral("https://a.example/")}};
    EXPECT_EQ(BuildConversationHtml({asked, answer}),
              BuildUserMessageHtml(QStringLiteral("cat"), {}) +
                  BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO")) +
                  BuildModelMessageHtml(QStringLiteral("text")) + BuildSourcesHtml(answer.Sources));
    Clock::setSource({});
}

} // namespace
