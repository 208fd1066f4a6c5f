#include "store/ChatSearch.h"

#include "store/ChatFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <utility>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Every alphabet, not only A-Z: a Russian word typed with a capital finds it in any case,
// and ё is read as е either way.
TEST(ChatSearch, FoldsLetterCaseOfEveryAlphabetAndYoToYe) {
    EXPECT_EQ(FoldCase(u"HeLLo, ПРИВЕТ Ёлка ёж Ünï ΣΊΣΥΦΟΣ 123 AZ@[`"),
              u"hello, привет елка еж ünï σίσυφοσ 123 az@[`"_s);
    EXPECT_TRUE(ContainsEveryWord({FoldCase(u"Глава 2. СОРТИРОВКА слиянием")},
                                  {FoldCase(u"Сортировка")}));
    EXPECT_TRUE(ContainsEveryWord({FoldCase(u"ЁЖИК в тумане")}, {FoldCase(u"ежик")}));
    EXPECT_TRUE(ContainsEveryWord({FoldCase(u"ежик в тумане")}, {FoldCase(u"Ёжик")}));
}

TEST(ChatSearch, TrimsSpacesAndControlCharacters) {
    EXPECT_EQ(TrimSpaceAndControl(u" \t\x01 кот \r\n\x1F"), u"кот");
    // A no-break space is not a separator here.
    EXPECT_EQ(TrimSpaceAndControl(u"\u00A0кот"), u"\u00A0кот");
    EXPECT_TRUE(TrimSpaceAndControl(u" \t ").isEmpty());
}

TEST(ChatSearch, SplitsQueriesIntoWordsAndQuotedPhrases) {
    struct Case {
        const char16_t* query;
        QStringList words;
    };
    const Case cases[] = {
        {u"кот собака", {u"кот"_s, u"собака"_s}},
        {u"кот \t\x01\r\n  собака", {u"кот"_s, u"собака"_s}},
        {u"\"доброе утро\" кот", {u"доброе утро"_s, u"кот"_s}},
        {u"кот \"доброе  утро\"", {u"кот"_s, u"доброе  утро"_s}},
        {u"ab\"c d\"e", {u"abc de"_s}},
        {u"\"доброе утро", {u"доброе утро"_s}},
        {u"a \"\" b", {u"a"_s, QString(), u"b"_s}},
        {u"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitSearchQuery(c.query), c.words) << QString::fromUtf16(c.query).toStdString();
}

TEST(ChatSearch, MatchesWhenEveryNonEmptyWordOccursInAnyOrder) {
    const QString text = u" доброе утро, кот! hello"_s;
    const QString title = u"план"_s;
    const struct {
        QStringList words;
        bool matches;
    } cases[] = {
        {{u"кот"_s}, true},
        {{u"hello"_s, u"кот"_s}, true},
        {{u"утро, к"_s}, true},
        {{u" кот"_s}, true},
        // Words may be found in the title as well as in the messages.
        {{u"кот"_s, u"план"_s}, true},
        {{u"собака"_s, u"кот"_s}, false},
        {{u"Кот"_s}, false},
        {{u"утро кот"_s}, false},
        // Empty and blank words are left out, though every text contains them.
        {{QString(), u"кот"_s}, true},
        {{QString(), u"  "_s}, false},
        {{}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ContainsEveryWord({text, title}, c.words), c.matches)
            << c.words.join(u'|').toStdString();
}

// The line shown under a found chat: the one holding the earliest word, as written.
TEST(ChatSearch, TellsTheLineThatMatchedAsWritten) {
    const QString text = u"Вопрос\nГлава 2: СОРТИРОВКА Ёжиком\nконец"_s;
    const QString longLine = QString(200, u'a') + u" ЁЖИК "_s + QString(200, u'b');
    const struct {
        QString text;
        QStringList words;
        QString line;
    } cases[] = {
        {text, {u"сортировка"_s}, u"Глава 2: СОРТИРОВКА Ёжиком"_s},
        {text, {u"конец"_s, u"ежиком"_s}, u"Глава 2: СОРТИРОВКА Ёжиком"_s},
        {text, {u"вопрос"_s}, u"Вопрос"_s},
        {text, {u"нет"_s}, QString()},
        {longLine, {u"ежик"_s}, u"…"_s + QString(29, u'a') + u" ЁЖИК "_s + QString(85, u'b') + u"…"_s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchingLine(c.text, FoldCase(c.text), c.words), c.line)
            << c.words.join(u'|').toStdString();
}

class ChatFolder : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes) {
        QFile file(m_folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return QDir(m_folder.path()).filePath(name);
    }

    static QByteArray chat(const QByteArray& text) {
        return "\xEF\xBB\xBF{\"contents\":[{\"role\":\"user\",\"parts\":[{\"text\":\"" + text +
               "\"}]}]}";
    }

    // The matches, sorted; the outcome stays in m_outcome.
    QStringList search(const QStringList& words) {
        QStringList found;
        m_outcome = SearchChatFolder(m_folder.path(), words,
                                     {.Matched = [&](const ChatSearchMatch& match) {
                                         found << match.Path;
                                         m_lines << match.Line;
                                     }});
        found.sort();
        return found;
    }
    Expected<ChatSearchOutcome> m_outcome = ChatSearchOutcome{};
    QStringList m_lines;

    QTemporaryDir m_folder;
};

TEST_F(ChatFolder, ListsTheChatsWhoseMessagesHoldAWord) {
    const QString hello = write(u"a.json"_s, chat("Say HELLO"));
    const QString cat = write(u"b.json"_s, chat("\\u041A\\u043E\\u0442"));
    const QString hidden = write(u".hidden.JSON"_s, chat("hello again"));
    write(u"hello.json"_s, chat("nothing here"));
    write(u"hello.txt"_s, chat("hello"));
    write(u"broken.json"_s, chat("hello").chopped(1));
    write(u"array.json"_s, "[{\"contents\":[{\"parts\":[{\"text\":\"hello\"}]}]}]");
    QDir(m_folder.path()).mkdir(u"folder.json"_s);

    EXPECT_EQ(search({u"hello"_s}), (QStringList{hidden, hello}));
    EXPECT_EQ(search({u"again"_s, u"hello"_s}), QStringList{hidden});
    EXPECT_EQ(search({u"кот"_s, u"hello"_s}), QStringList());
    // The query is folded before it gets here, the chat's text here: «Кот» in a chat is
    // found by «кот», Cyrillic as well as Latin.
    EXPECT_EQ(search({u"кот"_s}), (QStringList{cat}));
    EXPECT_EQ(search({u"Кот"_s}), QStringList());
}

// A chat's title is searched like its messages, case folded; a message's own member
// called "title" is not the chat's.
TEST_F(ChatFolder, FindsChatsByTheirTitle) {
    const QString titled = write(
        u"a.json"_s, "{\"title\":\"\\u041F\\u043B\\u0430\\u043D \\u043D\\u0430 \\u043C\\u0430\\u0439\","
                     "\"pinned\":true,\"contents\":[{\"role\":\"user\",\"parts\":[{\"text\":\"x\"}]}]}");
    const QString late = write(u"b.json"_s, R"({"contents":[],"title":"Zoo"})");
    write(u"c.json"_s, R"({"contents":[{"role":"user","title":"plan zoo","parts":[]}]})");
    write(u"d.json"_s, chat("nothing"));

    EXPECT_EQ(search({u"план"_s}), QStringList{titled});
    EXPECT_EQ(search({u"zoo"_s}), QStringList{late});
    EXPECT_EQ(search({u"май"_s, u"x"_s}), QStringList{titled});
    EXPECT_EQ(search({u"plan"_s}), QStringList());
}

TEST_F(ChatFolder, PassesOverDamagedFilesAndCountsThem) {
    const QString before = write(u"a.json"_s, chat("x marks"));
    write(u"nested.json"_s, R"({"contents":[{"parts":[{"text":{"nested":true}}]}]})");
    write(u"array.json"_s, R"({"contents":[{"parts":[{"text":["x"]}]}]})");
    write(u"broken.json"_s, chat("x").chopped(1));
    const QString unreadable = write(u"unreadable.json"_s, chat("x"));
    const QString after = write(u"z.json"_s, chat("x again"));
    // A regular file that even root cannot read: this process's memory from address 0.
    QFile::remove(unreadable);
    ASSERT_TRUE(QFile::link(u"/proc/self/mem"_s, unreadable));

    EXPECT_EQ(search({u"x"_s}), (QStringList{before, after}));
    ASSERT_TRUE(m_outcome);
    EXPECT_EQ(m_outcome->Skipped, 4);

    m_folder.remove();
    search({u"x"_s});
    ASSERT_FALSE(m_outcome);
    EXPECT_TRUE(m_outcome.error().startsWith(u"Не удалось прочитать папку"_s));
}

// Nothing in the folder holds the search up: a pipe no one writes to, links to it and to a
// device that never ends, and a chat too large to be opened, which is not read either.
TEST_F(ChatFolder, PassesOverWhatIsNoRegularFileOrTooLargeToOpen) {
    const QString cat = write(u"a.json"_s, chat("кот"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_folder.filePath(u"pipe.json"_s)).constData(), 0600), 0);
    ASSERT_TRUE(
        QFile::link(m_folder.filePath(u"pipe.json"_s), m_folder.filePath(u"to-pipe.json"_s)));
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, m_folder.filePath(u"zero.json"_s)));
    {
        // The word, then a member of zeros that takes the file past the limit: sparse, so
        // nothing is really written.
        QFile huge(m_folder.filePath(u"huge.json"_s));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        huge.write(R"({"contents":[{"parts":[{"text":"кот"}]}],"pad":")");
        ASSERT_TRUE(huge.seek(kMaxChatFileSize));
        huge.write("\"}");
    }
    EXPECT_EQ(search({u"кот"_s}), QStringList{cat});
    ASSERT_TRUE(m_outcome);
    // The listing leaves out the pipe itself, not the links.
    EXPECT_EQ(m_outcome->Skipped, 3);
}

// Progress after every file, against the whole folder; a search asked to stop reads no
// further file.
TEST_F(ChatFolder, TellsHowFarItHasGotAndStopsWhenAsked) {
    for (const QString& name : {u"a.json"_s, u"b.json"_s, u"c.json"_s})
        write(name, chat("x"));
    QList<std::pair<qsizetype, qsizetype>> progress;
    QStringList found;
    const auto progressed = [&](qsizetype done, qsizetype total) {
        progress.append({done, total});
    };
    ASSERT_TRUE(SearchChatFolder(
        m_folder.path(), {u"x"_s},
        {.Matched = [&](const ChatSearchMatch& match) { found << match.Path; },
         .Progressed = progressed}));
    EXPECT_EQ(found.size(), 3);
    EXPECT_EQ(progress, (QList<std::pair<qsizetype, qsizetype>>{{1, 3}, {2, 3}, {3, 3}}));

    found.clear();
    progress.clear();
    ASSERT_TRUE(SearchChatFolder(m_folder.path(), {u"x"_s},
                                 {.Matched = [&](const ChatSearchMatch& match) { found << match.Path; },
                                  .Progressed = progressed,
                                  .Stopped = [&] { return !found.isEmpty(); }}));
    EXPECT_EQ(found.size(), 1);
    EXPECT_EQ(progress, (QList<std::pair<qsizetype, qsizetype>>{{1, 3}}));
}

} // namespace
