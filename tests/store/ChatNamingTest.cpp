#include "store/ChatNaming.h"

#include <gtest/gtest.h>

namespace {

THistoryItem userSays(const QString& text) {
    return THistoryItem{QStringLiteral("user"), {MakeTextPart(text)}};
}

TEST(ChatNaming, DisplayNameDropsExtensionAndTimeStamp) {
    const struct {
        const char* fileName;
        const char* shown;
    } cases[] = {
        {"Как дела_2025-03-01_142530.json", "Как дела"},
        {"отчёт_2024 итоги_2025-03-01_142530.json", "отчёт"},
        {"notes.json", "notes"},
        {"_2025-03-01_142530.json", "_2025-03-01_142530"}, // "_20" at the very start
        {"a.b.json", "a.b"},
        {"chat_2025-03-01_142530_2.json", "chat"},
        {"noext", "noext"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChatDisplayName(QString::fromUtf8(c.fileName)), QString::fromUtf8(c.shown))
            << c.fileName;
}

TEST(ChatNaming, TitleComesFromTheFirstUserText) {
    const struct {
        TChatHistory history;
        const char* title;
    } cases[] = {
        {{userSays(QStringLiteral("Как дела? / план: 2025"))}, "Как дела    план  2025"},
        {{userSays(QStringLiteral("  \t a<b>c|d\"e*f\\g  "))}, "a b c d e f g"},
        {{userSays(QStringLiteral("?/:"))}, "chat"},
        {{userSays(QString())}, "chat"},
        {{}, "chat"},
        // A model item, an item without parts and one starting with a file are skipped.
        {{THistoryItem{QStringLiteral("model"), {MakeTextPart(QStringLiteral("m"))}},
          THistoryItem{QStringLiteral("user"), {}},
          THistoryItem{QStringLiteral("user"),
                       {MakeInlinePart(QStringLiteral("image/png"), "AA", QStringLiteral("a"))}},
          userSays(QStringLiteral("second"))},
         "second"},
        {{THistoryItem{QStringLiteral("User"), {MakeTextPart(QStringLiteral("x"))}}}, "chat"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChatTitle(c.history), QString::fromUtf8(c.title)) << c.title;
}

TEST(ChatNaming, TitleIsCutToFiftyCodeUnitsBeforeTrimming) {
    const QString eighty =
        QString(45, QLatin1Char('a')) + QStringLiteral("    :") + QString(30, QLatin1Char('b'));
    // The cut keeps "aaa…a    :" (50 units); the colon becomes a space; the end is trimmed.
    EXPECT_EQ(ChatTitle({userSays(eighty)}), QString(45, QLatin1Char('a')));
    EXPECT_EQ(ChatTitle({userSays(QString(80, QLatin1Char('x')))}).size(), 50);
}

TEST(ChatNaming, FileNameCarriesTheStampAndACounterWhenTaken) {
    const QDateTime at(QDate(2025, 3, 1), QTime(14, 25, 30));
    EXPECT_EQ(ChatFileName(QStringLiteral("Как дела"), at),
              QStringLiteral("Как дела_2025-03-01_142530.json"));
    EXPECT_EQ(
        ChatFileName(QStringLiteral("chat"), QDateTime(QDate(2025, 12, 31), QTime(9, 5, 7)), 2),
        QStringLiteral("chat_2025-12-31_090507_2.json"));
}

} // namespace
