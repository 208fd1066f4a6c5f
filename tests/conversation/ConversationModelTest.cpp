#include "chat/GeminiDM.h"

#include <gtest/gtest.h>

namespace {

TContentPart text(int length) {
    return MakeTextPart(QString(length, QLatin1Char('x')));
}

TContentPart attachment(const QString& fileName = QStringLiteral("a.png")) {
    return MakeInlinePart(QStringLiteral("image/png"), "AAAA", fileName);
}

THistoryItem item(const QString& role, TContentParts parts) {
    return THistoryItem{role, std::move(parts)};
}

TEST(TokenEstimate, FollowsTheHalfTokenRule) {
    const QString outsideBmp = QString::fromUcs4(U"\U0001F600"); // two UTF-16 code units
    struct Case {
        const char* name;
        TContentParts parts;
        int expected;
    };
    const Case cases[] = {
        {"empty list", {}, 0},
        {"three characters", {text(3)}, 2},
        {"two one-character parts round once", {text(1), text(1)}, 1},
        {"inline part", {attachment()}, 258},
        {"one character and inline part", {text(1), attachment()}, 259},
        {"character outside the BMP", {MakeTextPart(outsideBmp)}, 1},
        {"empty text", {text(0)}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TGeminiDM::CountTokens(c.parts), c.expected) << c.name;
}

TEST(TokenEstimate, HistoryCountsAllPartsAsOneList) {
    EXPECT_EQ(TGeminiDM::CountTokensForHistory({}), 0);
    // 0.5 + 0.5 across two items gives 1, not 2.
    const TChatHistory history = {item(QStringLiteral("user"), {text(1)}),
                                  item(QStringLiteral("model"), {text(1)})};
    EXPECT_EQ(TGeminiDM::CountTokensForHistory(history), 1);
}

TEST(TrimHistory, DropsOldestItemsUntilTheEstimateFits) {
    const TChatHistory history = {item(QStringLiteral("user"), {text(10)}),    // 5
                                  item(QStringLiteral("model"), {text(10)}),   // 5
                                  item(QStringLiteral("user"), {text(10)})};   // 5
    EXPECT_EQ(TGeminiDM::TrimHistoryToTokenLimit(history, 15), history);
    EXPECT_EQ(TGeminiDM::TrimHistoryToTokenLimit(history, 14), history.sliced(1));
    EXPECT_EQ(TGeminiDM::TrimHistoryToTokenLimit(history, 14).first().Role,
              QStringLiteral("model"));
    EXPECT_EQ(TGeminiDM::TrimHistoryToTokenLimit(history, 0), history.sliced(2));
    EXPECT_TRUE(TGeminiDM::TrimHistoryToTokenLimit({}, 0).isEmpty());
}

TEST(TrimHistory, KeepsTheNewestItemEvenAboveTheLimitAndLeavesTheInputAlone) {
    const TChatHistory history = {item(QStringLiteral("user"), {text(2)}),
                                  item(QStringLiteral("user"), {text(1000)})};
    const TChatHistory trimmed = TGeminiDM::TrimHistoryToTokenLimit(history, 10);
    ASSERT_EQ(trimmed.size(), 1);
    EXPECT_EQ(trimmed.first(), history.last());
    EXPECT_EQ(history.size(), 2);
}

// Roles as letters: u a question, m an answer, f another role (a function's result).
TChatHistory roles(const char* letters) {
    TChatHistory history;
    for (const char* c = letters; *c; ++c)
        history.append(item(*c == 'u'   ? QStringLiteral("user")
                            : *c == 'm' ? QStringLiteral("model")
                                        : QStringLiteral("function"),
                            {text(1)}));
    return history;
}

TEST(MessageActions, DeletionTakesAQuestionsAnswersAndAnAnswerAlone) {
    struct Case {
        const char* history;
        qsizetype index;
        MessageRange expected;
    };
    const Case cases[] = {
        {"umum", 0, {0, 2}},  {"umum", 2, {2, 2}}, {"umum", 1, {1, 1}},
        {"umfmu", 0, {0, 4}}, {"uum", 0, {0, 1}},  {"uum", 1, {1, 2}},
        {"um", 2, {}},        {"um", -1, {}},      {"", 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DeletionRange(roles(c.history), c.index), c.expected)
            << c.history << " at " << c.index;
}

TEST(MessageActions, OnlyAnAnswerThatEndsTheChatAfterItsQuestionCanBeReplaced) {
    EXPECT_EQ(LastAnswerIndex(roles("umum")), 3);
    EXPECT_EQ(LastAnswerIndex(roles("um")), 1);
    for (const char* history : {"", "m", "umu", "ufm", "umm"})
        EXPECT_EQ(LastAnswerIndex(roles(history)), -1) << history;
}

TEST(ConversationModel, CopiesAreIndependent) {
    TChatHistory original = {item(QStringLiteral("user"), {text(1), attachment()})};
    const TChatHistory copy = original;
    original[0].Parts[0].Text = QStringLiteral("changed");
    original[0].Parts[1].Base64Data.append("BBBB");
    EXPECT_EQ(copy[0].Parts[0].Text, QStringLiteral("x"));
    EXPECT_EQ(copy[0].Parts[1].Base64Data, QByteArray("AAAA"));
}

class DeleteFileFromHistoryTest : public ::testing::Test {
protected:
    TGeminiDM dm;
};

TEST_F(DeleteFileFromHistoryTest, RejectsIndexesOutOfRange) {
    dm.ChatHistory() = {item(QStringLiteral("user"), {text(1), attachment()})};
    EXPECT_FALSE(dm.DeleteFileFromHistory(-1, QStringLiteral("a.png")));
    EXPECT_FALSE(dm.DeleteFileFromHistory(1, QStringLiteral("a.png")));
    EXPECT_EQ(dm.ChatHistory()[0].Parts.size(), 2);
}

TEST_F(DeleteFileFromHistoryTest, RemovesEveryPartWithTheNameAndKeepsTheRest) {
    dm.ChatHistory() = {
        item(QStringLiteral("user"), {MakeTextPart(QStringLiteral("hi")), attachment(),
                                      attachment(QStringLiteral("b.png")), attachment()})};
    EXPECT_TRUE(dm.DeleteFileFromHistory(0, QStringLiteral("a.png")));
    const TContentParts expected = {MakeTextPart(QStringLiteral("hi")),
                                    attachment(QStringLiteral("b.png"))};
    EXPECT_EQ(dm.ChatHistory()[0].Parts, expected);
}

TEST_F(DeleteFileFromHistoryTest, ComparesNamesCaseSensitivelyAndNeverMatchesText) {
    dm.ChatHistory() = {item(QStringLiteral("user"),
                             {MakeTextPart(QStringLiteral("a.png")), attachment()})};
    EXPECT_FALSE(dm.DeleteFileFromHistory(0, QStringLiteral("A.PNG")));
    EXPECT_EQ(dm.ChatHistory()[0].Parts.size(), 2);
}

TEST_F(DeleteFileFromHistoryTest, RemovesAMessageLeftWithoutContent) {
    const THistoryItem later = item(QStringLiteral("model"), {text(4)});
    dm.ChatHistory() = {
        item(QStringLiteral("user"), {MakeTextPart(QStringLiteral(" \t\r\n")), attachment()}),
        later};
    EXPECT_TRUE(dm.DeleteFileFromHistory(0, QStringLiteral("a.png")));
    EXPECT_EQ(dm.ChatHistory(), TChatHistory{later});
}

TEST(GeminiDM, ClearHistoryEmptiesTheConversation) {
    TGeminiDM dm;
    dm.ChatHistory() = {item(QStringLiteral("user"), {text(1)})};
    dm.ClearHistory();
    EXPECT_TRUE(dm.ChatHistory().isEmpty());
}

} // namespace
