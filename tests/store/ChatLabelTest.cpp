// A chat's title and pin in its file: written first and only when set, read back by the
// whole reader and by the quick one the chat list uses, and changed without the messages.
#include "store/ChatFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "ChatFolderTest.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

// Beside ChatLabel, where the test's messages find it.
static std::ostream& operator<<(std::ostream& out, const ChatLabel& label) {
    return out << '"' << label.Title.toStdString() << '"' << (label.Pinned ? " pinned" : "");
}

namespace {

using namespace Qt::Literals::StringLiterals;

const QByteArray kBom("\xEF\xBB\xBF");

class ChatLabelTest : public ChatFolderTest {
protected:
    void setAge(const QString& name, int seconds) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds),
                                     QFileDevice::FileModificationTime));
    }

    QDateTime modified(const QString& name = u"chat.json"_s) const {
        return QFileInfo(path(name)).lastModified();
    }

};

const TChatHistory kHistory = {THistoryItem{u"user"_s, {MakeTextPart(u"q"_s)}}};
const QByteArray kContents = R"("contents":[{"role":"user","parts":[{"text":"q"}]}])";

TEST_F(ChatLabelTest, TheLabelIsWrittenFirstOnlyWhenSetAndReadBack) {
    const struct {
        ChatLabel label;
        QByteArray text;
    } cases[] = {
        // Without a label the file is what it always was.
        {{}, "{" + kContents + "}"},
        {{u"Мой чат"_s, false},
         R"({"title":"\u041C\u043E\u0439 \u0447\u0430\u0442",)" + kContents + "}"},
        {{{}, true}, R"({"pinned":true,)" + kContents + "}"},
        {{u"a\"b"_s, true}, R"({"title":"a\"b","pinned":true,)" + kContents + "}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_TRUE(WriteChatFile(path(), {kHistory, {}, c.label}));
        EXPECT_EQ(readFile(), kBom + c.text);
        ChatFileContent content;
        ASSERT_TRUE(ReadChatFile(path(), content));
        EXPECT_EQ(content.Label, c.label);
        EXPECT_EQ(content.History, kHistory);
        EXPECT_EQ(ReadChatFileLabel(path()), c.label);
    }
}

// Other writers may put the members anywhere and give them other values; members this
// program does not read keep their places around them.
TEST_F(ChatLabelTest, LabelsOfOtherWritersAreReadAndKeptMembersStayInPlace) {
    const struct {
        QByteArray text;
        ChatLabel label;
        QByteArray written;
    } cases[] = {
        {R"({"v":1,"contents":[],"pinned":true,"x":2,"title":"T"})",
         {u"T"_s, true},
         R"({"v":1,"title":"T","pinned":true,"contents":[],"x":2})"},
        {R"({"title":5,"pinned":"yes","contents":[]})", {}, R"({"contents":[]})"},
        {R"({"pinned":false,"title":"","contents":[]})", {}, R"({"contents":[]})"},
        {R"({"title":"a","title":"b","contents":[]})", {u"b"_s, false},
         R"({"title":"b","contents":[]})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        writeFile(c.text);
        ChatFileContent content;
        ASSERT_TRUE(ReadChatFile(path(), content));
        EXPECT_EQ(content.Label, c.label);
        EXPECT_EQ(ChatFileText(content), c.written);
    }
}

// The list reads only the start of each file, up to "contents", where this program writes
// the label; it never waits on a pipe and gives nothing for what is not a chat.
TEST_F(ChatLabelTest, TheListReadsTheLabelFromTheStartOfTheFile) {
    const QByteArray big(300 * 1024, 'x');
    const struct {
        const char* name;
        QByteArray text;
        ChatLabel label;
    } cases[] = {
        {"program's own, with a large message",
         R"({"title":"T","pinned":true,"contents":[{"role":"user","parts":[{"text":")" + big +
             R"("}]}]})",
         {u"T"_s, true}},
        {"after a long member of another writer",
         R"({"settings":{"system":")" + big + R"("}, "pinned" : true ,"title":"\u0410\"\/",)"
             R"("contents":[]})",
         {u"А\"/"_s, true}},
        {"the last of duplicates", R"({"title":"a","pinned":true,"title":"b","pinned":false,)"
                                   R"("contents":[]})",
         {u"b"_s, false}},
        {"whitespace and two marks", kBom + " \n{ \"title\" : \"t\" , \"contents\" : [] }",
         {u"t"_s, false}},
        {"after the messages: not looked for", R"({"contents":[],"title":"late"})", {}},
        {"no chat", R"({"title":"t"})", {}},
        {"cut short", R"({"title":"t","pinned":tr)", {}},
        {"an array", R"([{"title":"t","contents":[]}])", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.text);
        EXPECT_EQ(ReadChatFileLabel(path()), c.label);
    }

    QDir(dir.path()).mkdir(u"folder.json"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"pipe.json"_s)).constData(), 0600), 0);
    // A regular file that even root cannot read: this process's memory from address 0.
    ASSERT_TRUE(QFile::link(u"/proc/self/mem"_s, path(u"unreadable.json"_s)));
    for (const QString& name :
         {u"absent.json"_s, u"folder.json"_s, u"pipe.json"_s, u"unreadable.json"_s})
        EXPECT_EQ(ReadChatFileLabel(path(name)), ChatLabel()) << name.toStdString();
}

TEST_F(ChatLabelTest, RelabellingKeepsTheMessagesTheOtherMembersAndTheTime) {
    const QByteArray original =
        kBom + R"({"v":1,"contents":[{"role":"user","parts":[{"text":"q","a":[1]}]}],"x":2})";
    writeFile(original);
    setAge(u"chat.json"_s, 3600);
    const QDateTime time = modified();

    ASSERT_TRUE(RelabelChatFile(path(), {u"Новое"_s, true}));
    EXPECT_EQ(readFile(), kBom + R"({"v":1,"title":"\u041D\u043E\u0432\u043E\u0435","pinned":)"
                                 R"(true,"contents":[{"role":"user","parts":[{"text":"q","a":[1]}]}],)"
                                 R"("x":2})");
    EXPECT_EQ(modified(), time);
    EXPECT_EQ(ReadChatFileLabel(path()), ChatLabel({u"Новое"_s, true}));

    ASSERT_TRUE(RelabelChatFile(path(), {}));
    EXPECT_EQ(readFile(), original);
    EXPECT_EQ(modified(), time);
}

// What did not load whole is never written over: the rest of it would be lost.
TEST_F(ChatLabelTest, RelabellingRefusesFilesThatDoNotLoadWhole) {
    const struct {
        const char* name;
        QByteArray text;
        QString reason;
    } cases[] = {
        {"partial", R"({"contents":[{"role":"user","parts":[{"text":"a"}]},{"parts":[]}]})",
         u"чат прочитан не полностью, и его файл не будет перезаписан"_s},
        {"damaged", R"({"contents":[}")", u"файл повреждён: в нём нет чата"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(c.text);
        const Expected<void> relabelled = RelabelChatFile(path(), {u"T"_s, true});
        ASSERT_FALSE(relabelled);
        EXPECT_EQ(relabelled.error(), c.reason);
        EXPECT_EQ(readFile(), c.text);
    }
    const Expected<void> missing = RelabelChatFile(path(u"absent.json"_s), {u"T"_s, false});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), u"файл не найден"_s);
    EXPECT_FALSE(QFileInfo::exists(path(u"absent.json"_s)));
}

} // namespace
