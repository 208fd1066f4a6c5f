#include "page/ConversationHtml.h"
#include "page/AnswerBlock.h"
#include "text/Clock.h"
#include "page/MessageBlocks.h"
#include "SampleConversation.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace {

TEST(ConversationHtml, ShowsUserItemsAndModelItemsWhole) {
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
        // Every part in its place: the caption, then the picture that came after it.
        BuildModelBlockHtml(BuildAnswerHtml(QStringLiteral("**caption**")) +
                                QStringLiteral("<img class=\"generated-image\" "
                                               "src=\"data:image/png;base64,iVBO\" "
                                               "alt=\"Generated Image\">"),
                            {}) +
        BuildModelMessageHtml(QString(), {});
    EXPECT_EQ(BuildConversationHtml(history), expected);
    EXPECT_EQ(BuildConversationHtml({}), QString());
    Clock::setSource({});
}

// Parts hold whole blocks, the newest part is filled first, and joined they are the
// whole conversation.
TEST(ConversationHtml, ChunksHoldWholeBlocksAndJoinToTheWhole) {
    TChatHistory history = SampleConversation();
    for (int i = 0; i < 20; ++i)
        history.append({i % 2 ? QStringLiteral("model") : QStringLiteral("user"),
                        {MakeTextPart(QString(50 * (i + 1), u'x'))}});
    const QString whole = BuildConversationHtml(history);
    for (const qsizetype limit : {qsizetype(1), qsizetype(600), qsizetype(2000), whole.size()}) {
        SCOPED_TRACE(limit);
        const QStringList chunks = BuildConversationHtmlChunks(history, limit, limit);
        EXPECT_EQ(chunks.join(QString()), whole);
        for (const QString& chunk : chunks) {
            EXPECT_TRUE(chunk.startsWith(QStringLiteral("<div class=\"message-wrapper ")));
            // Only a single block larger than the limit makes a larger part.
            if (chunk.size() > limit) {
                EXPECT_EQ(chunk.count(QStringLiteral("<div class=\"message-wrapper ")), 1);
            }
        }
        EXPECT_TRUE(chunks.last().endsWith(BuildModelMessageHtml(QString(1000, u'x'), {})));
    }
    EXPECT_EQ(BuildConversationHtmlChunks(history, whole.size(), 1).size(), 1);
    // A small latest part, then large older ones.
    const QStringList twoSizes = BuildConversationHtmlChunks(history, 1, whole.size());
    ASSERT_EQ(twoSizes.size(), 2);
    EXPECT_EQ(twoSizes.last(), BuildModelMessageHtml(QString(1000, u'x'), {}));
    EXPECT_TRUE(BuildConversationHtmlChunks({}, 100, 100).isEmpty());
}

TEST(ConversationHtml, ShowsKeptPicturesAfterTheirRequestAndSourcesAfterTheAnswer) {
    const QDateTime asking(QDate(2025, 11, 3), QTime(14, 5, 9));
    const QDateTime answering(QDate(2025, 11, 3), QTime(14, 5, 30));
    THistoryItem asked{QStringLiteral("user"), {MakeTextPart(QStringLiteral("cat"))}, {}, asking};
    asked.Images = {MakeInlinePart(QStringLiteral("image/png"), "iVBO")};
    THistoryItem answer{
        QStringLiteral("model"), {MakeTextPart(QStringLiteral("text"))}, {}, answering};
    answer.Sources = {{QStringLiteral("A"), QStringLiteral("https://a.example/")}};
    EXPECT_EQ(
        BuildConversationHtml({asked, answer}),
        BuildUserMessageHtml(QStringLiteral("cat"), {}, asking) +
            BuildImageMessageHtml(QStringLiteral("image/png"), QStringLiteral("iVBO"), asking) +
            BuildModelMessageHtml(QStringLiteral("text"), answering) +
            BuildSourcesHtml(answer.Sources));
}

} // namespace
