#include "page/LiveMarkdown.h"
#include "page/MessageBlocks.h"

#include <gtest/gtest.h>

namespace {

TEST(LiveMarkdown, FinishedBlocksEndAtABlankLineThatAPlainLineFollows) {
    const struct {
        const char* text;
        qsizetype settled;
    } cases[] = {
        {"", 0},
        {"one paragraph, still coming", 0},
        {"done\n\n", 0},                  // nothing follows the blank line yet
        {"done\n\nnext", 6},              // a plain line does
        {"done\n  \n\nnext\n\nmore", 15}, // the last such blank line counts
        {"- item\n\n  continued", 0},     // an indented line may continue the item
        {"- item\n\n\tcode", 0},
        {"```\ncode\n\nstill code\n", 0}, // blank lines inside a fence do not count
        {"```\ncode\n\n```\n\nafter", 15},
        {"~~~\na\n\nb\n~~~\n\nc", 14},
        {"a\r\n\r\nb", 5},
        {"``` not closed yet\n\nx", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SettledLength(QString::fromUtf8(c.text)), c.settled) << c.text;
}

TEST(LiveMarkdown, EachFinishedBlockIsConvertedOnceAndTheTailEveryTime) {
    LiveMarkdown live;
    LiveMarkdown::Update update = live.Advance(QStringLiteral("**one**\n\ntw"));
    EXPECT_EQ(update.settledHtml, BuildAnswerHtml(QStringLiteral("**one**\n\n")));
    EXPECT_EQ(update.tailHtml, BuildAnswerHtml(QStringLiteral("tw")));

    update = live.Advance(QStringLiteral("**one**\n\ntwo"));
    EXPECT_TRUE(update.settledHtml.isEmpty());
    EXPECT_EQ(update.tailHtml, BuildAnswerHtml(QStringLiteral("two")));

    // An open code block stays in the tail, blank lines and all.
    update = live.Advance(QStringLiteral("**one**\n\ntwo\n\n```\nx\n\ny\n"));
    EXPECT_EQ(update.settledHtml, BuildAnswerHtml(QStringLiteral("two\n\n")));
    EXPECT_EQ(update.tailHtml, BuildAnswerHtml(QStringLiteral("```\nx\n\ny\n")));
    update = live.Advance(QStringLiteral("**one**\n\ntwo\n\n```\nx\n\ny\n```\n\nend"));
    EXPECT_EQ(update.settledHtml, BuildAnswerHtml(QStringLiteral("```\nx\n\ny\n```\n\n")));
    EXPECT_EQ(update.tailHtml, BuildAnswerHtml(QStringLiteral("end")));
}

} // namespace
