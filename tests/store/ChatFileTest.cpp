#include "chat/GeminiDM.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include "FileSizeLimit.h"

#include "ChatFolderTest.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>

namespace {

using namespace Qt::Literals::StringLiterals;

const QByteArray kBom("\xEF\xBB\xBF");

THistoryItem item(const QString& role, TContentParts parts) {
    return THistoryItem{role, std::move(parts)};
}

class ChatFileTest : public ChatFolderTest {
protected:
    QByteArray saved(const TChatHistory& history) {
        dm.ChatHistory() = history;
        const Expected<void> written = dm.SaveHistoryToFile(path());
        EXPECT_TRUE(written) << written.error().toStdString();
        return readFile();
    }

    TGeminiDM dm;
};

TEST_F(ChatFileTest, SavesPureAsciiAfterTheMarkInTheFixedShape) {
    const QByteArray file =
        saved({item(u"user"_s, {MakeTextPart(u"Привет"_s),
                                MakeInlinePart(u"image/png"_s, "iV/+=", u"фото.png"_s)}),
               item(u"model"_s, {MakeInlinePart(u"image/jpeg"_s, "/9j/")})});

    ASSERT_TRUE(file.startsWith(kBom));
    const QByteArray text = file.sliced(kBom.size());
    for (char c : text)
        ASSERT_TRUE(uchar(c) < 0x80) << "non-ASCII byte " << int(uchar(c));
    EXPECT_EQ(
        text,
        R"({"contents":[{"role":"user","parts":[{"text":"\u041F\u0440\u0438\u0432\u0435\u0442"},)"
        R"({"inline_data":{"mime_type":"image\/png","data":"iV\/+="},"file_name":"\u0444\u043E\u0442\u043E.png"}]},)"
        R"({"role":"model","parts":[{"inline_data":{"mime_type":"image\/jpeg","data":"\/9j\/"}}]}]})");
}

TEST_F(ChatFileTest, EmptyConversationIsAnEmptyContentsArray) {
    EXPECT_EQ(saved({}), kBom + R"({"contents":[]})");
}

TEST_F(ChatFileTest, SaveThenLoadGivesAnEqualConversation) {
    const TChatHistory history = {
        item(u"user"_s, {MakeTextPart(u"Вопрос \"в кавычках\"\r\n\ttab C:\\/d\\\\/ \U0001F600"_s),
                         MakeInlinePart(u"text/plain"_s, "QUJD", u"notes.txt"_s),
                         MakeInlinePart(u"application/pdf"_s, "JV/B+Ri0//=", u"a\\/b.pdf"_s)}),
        item(u"model"_s, {MakeTextPart(QString())}),
        item(u"system"_s, {}),
        item(QString(), {MakeInlinePart(u"image/png"_s, "iVBORw0KGgo=")}),
        item(u"model"_s, {MakeTextPart(u"ответ"_s), MakeTextPart(u"x"_s)}),
    };
    saved(history);
    dm.ClearHistory();
    EXPECT_TRUE(dm.LoadHistoryFromFile(path()));
    EXPECT_EQ(dm.ChatHistory(), history);
}

// Drawn pictures and grounding sources sit beside "parts", where readers that do not know
// them skip them and no request ever carries them.
TEST_F(ChatFileTest, KeepsPicturesAndSourcesBesideTheParts) {
    THistoryItem asked = item(u"user"_s, {MakeTextPart(u"cat"_s)});
    asked.Images = {MakeInlinePart(u"image/png"_s, "iV/B")};
    THistoryItem answer = item(u"model"_s, {MakeTextPart(u"a"_s)});
    answer.Sources = {{u"Вики"_s, u"https://w.example/a"_s}, {u"b"_s, u"https://b.example/"_s}};
    const TChatHistory history = {asked, answer};
    EXPECT_EQ(saved(history),
              kBom + R"({"contents":[{"role":"user","parts":[{"text":"cat"}],"generated_images":)"
                     R"([{"inline_data":{"mime_type":"image\/png","data":"iV\/B"}}]},)"
                     R"({"role":"model","parts":[{"text":"a"}],"sources":[{"title":)"
                     R"("\u0412\u0438\u043A\u0438","uri":"https:\/\/w.example\/a"},)"
                     R"({"title":"b","uri":"https:\/\/b.example\/"}]}]})");
    dm.ClearHistory();
    EXPECT_TRUE(dm.LoadHistoryFromFile(path()));
    EXPECT_EQ(dm.ChatHistory(), history);

    // An entry that does not read is left out; the chat still opens whole.
    writeFile(R"({"contents":[{"role":"user","parts":[],"generated_images":[{"text":"x"},7,)"
              R"({"inline_data":{"mime_type":"image/gif","data":"R0"}}],"sources":[{"title":"t"},)"
              R"({"uri":"https://u.example"}]}]})");
    ASSERT_TRUE(dm.LoadHistoryFromFile(path()));
    ASSERT_EQ(dm.ChatHistory().size(), 1);
    EXPECT_EQ(dm.ChatHistory()[0].Images, TContentParts{MakeInlinePart(u"image/gif"_s, "R0")});
    EXPECT_EQ(dm.ChatHistory()[0].Sources, (QList<WebSource>{{QString(), u"https://u.example"_s}}));
}

TEST_F(ChatFileTest, LoadsLenientTextForms) {
    TChatHistory expected = {
        item(u"user"_s, {MakeTextPart(u"h\\/i/\\"_s), MakeInlinePart(u"image/png"_s, "AAAA")}),
        item(u"model"_s, {MakeInlinePart(u"image/png"_s, "BBBB")}),
        item(u"user"_s, {}),
    };
    // Members this program does not read are kept with the item or part they were in.
    expected[0].Kept = {{1, R"("id":7)"}};
    expected[0].Parts[0].Kept = {{1, R"("lang":"en")"}};
    expected[0].Parts[1].KeptInlineData = {{2, R"("size":3)"}};
    const QByteArray body = R"({"extra":1,"contents":[
        {"role":"user","id":7,"parts":[{"text":"h\\/i\/\\","lang":"en"},
            {"inline_data":{"mime_type":"image/png","data":"AAAA","size":3},"file_name":null}]},
        {"role":"model","parts":[{"inline_data":{"mime_type":"image\/png","data":"BBBB"}}]},
        {"role":"user"}
    ],"more":{"a":[1]}})";
    for (const QByteArray& file : {body, kBom + body, "\r\n  " + body + "\n"}) {
        writeFile(file);
        dm.ClearHistory();
        EXPECT_TRUE(dm.LoadHistoryFromFile(path()));
        EXPECT_EQ(dm.ChatHistory(), expected) << file.left(20).toStdString();
    }
}

TEST_F(ChatFileTest, MissingFileLeavesTheConversationAlone) {
    const TChatHistory history = {item(u"user"_s, {MakeTextPart(u"kept"_s)})};
    dm.ChatHistory() = history;
    EXPECT_FALSE(dm.LoadHistoryFromFile(path(u"absent.json"_s)));
    EXPECT_FALSE(dm.LoadHistoryFromFile(dir.path())); // a folder is not a chat file
    EXPECT_EQ(dm.ChatHistory(), history);
}

TEST_F(ChatFileTest, UnusableFilesGiveAnEmptyConversationAndReportIt) {
    const QByteArray files[] = {"",
                                kBom,
                                "[]",
                                R"([{"contents":[]}])",
                                "{\"contents\":[",
                                "\"text\"",
                                R"({"other":[]})",
                                R"({"contents":{"role":"user"}})"};
    for (const QByteArray& file : files) {
        writeFile(file);
        dm.ChatHistory() = {item(u"user"_s, {MakeTextPart(u"old"_s)})};
        EXPECT_FALSE(dm.LoadHistoryFromFile(path())) << file.toStdString();
        EXPECT_TRUE(dm.ChatHistory().isEmpty()) << file.toStdString();
    }
}

TEST_F(ChatFileTest, BrokenItemKeepsTheItemsBeforeItAndReportsAPartialLoad) {
    const QByteArray good = R"({"role":"user","parts":[{"text":"one"}]},)"
                            R"({"role":"model","parts":[{"text":"two"}]},)";
    const QByteArray tail = R"(,{"role":"user","parts":[{"text":"four"}]}]})";
    const QByteArray brokenThirdItems[] = {
        R"("not an object")",
        R"({"parts":[{"text":"no role"}]})",
        R"({"role":{"a":1},"parts":[]})",
        R"({"role":"user","parts":[5]})",
        R"({"role":"user","parts":[{"no_text":1}]})",
        R"({"role":"user","parts":[{"text":["x"]}]})",
        R"({"role":"user","parts":[{"inline_data":{"data":"AAAA"}}]})",
        R"({"role":"user","parts":[{"inline_data":{"mime_type":"image/png"}}]})",
        R"({"role":"user","parts":[{"inline_data":{"mime_type":"a","data":{}}}]})",
    };
    const TChatHistory firstTwo = {item(u"user"_s, {MakeTextPart(u"one"_s)}),
                                   item(u"model"_s, {MakeTextPart(u"two"_s)})};
    for (const QByteArray& broken : brokenThirdItems) {
        writeFile(R"({"contents":[)" + good + broken + tail);
        EXPECT_FALSE(dm.LoadHistoryFromFile(path())) << broken.toStdString();
        EXPECT_EQ(dm.ChatHistory(), firstTwo) << broken.toStdString();
    }
}

TEST_F(ChatFileTest, ScalarsReadAsStrings) {
    writeFile(R"({"contents":[{"role":null,"parts":[{"text":12},{"text":true},)"
              R"({"inline_data":[],"text":"array inline data is text"}]}]})");
    EXPECT_TRUE(dm.LoadHistoryFromFile(path()));
    TContentPart arrayInlineData = MakeTextPart(u"array inline data is text"_s);
    arrayInlineData.Kept = {{0, R"("inline_data":[])"}};
    EXPECT_EQ(dm.ChatHistory(),
              TChatHistory({item(
                  QString(), {MakeTextPart(u"12"_s), MakeTextPart(u"true"_s), arrayInlineData})}));
}

TEST_F(ChatFileTest, SavingIntoAMissingFolderReportsTheErrorAndChangesNothing) {
    const TChatHistory history = {item(u"user"_s, {MakeTextPart(u"x"_s)})};
    dm.ChatHistory() = history;
    const QString target = dir.filePath(u"no such folder/chat.json"_s);
    const Expected<void> written = dm.SaveHistoryToFile(target);
    EXPECT_FALSE(written);
    EXPECT_FALSE(written.error().isEmpty());
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_FALSE(QDir(dir.filePath(u"no such folder"_s)).exists());
    EXPECT_EQ(dm.ChatHistory(), history);
}

TEST_F(ChatFileTest, AFailedWriteLeavesTheOldFileWhole) {
    const QByteArray old = saved({item(u"user"_s, {MakeTextPart(u"old chat"_s)})});
    dm.ChatHistory() = {item(u"user"_s, {MakeTextPart(QString(64 * 1024, u'n'))})};
    QString error;
    {
        const FileSizeLimit limit(4096);
        error = dm.SaveHistoryToFile(path()).error();
    }
    EXPECT_EQ(error, qt_error_string(EFBIG)); // the system's reason, as a full disk gives its own
    EXPECT_EQ(readFile(), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({u"chat.json"_s}));
}

// Members written by another version, at every level, come back where they were;
// a file without any is written exactly as before.
TEST_F(ChatFileTest, MembersItDoesNotReadAreWrittenBackInPlace) {
    const QByteArray files[] = {
        R"({"version":7,"contents":[{"role":"user","parts":[{"text":"a","thoughtSignature":"S"}],)"
        R"("meta":{}}],"settings":{}})",
        R"({"contents":[{"id":"m1","role":"model","time":"12:00","parts":[{"inline_data":)"
        R"({"w":1,"mime_type":"image\/png","h":2,"data":"AA==","display":{"dpi":[72,72]}},)"
        R"("file_name":"a.png","sources":[{"uri":"http:\/\/x"}]},{"lang":"ru","text":"b"}]}],)"
        R"("z":null})",
        // Quotes, brackets and backslashes inside kept strings.
        R"({"contents":[],"x":"q\"}],\\","y":[{"\"":"\\"}]})",
        // Kept exactly as written: spacing, raw UTF-8, escapes.
        "{\"contents\":[],\"note\" : { \"\xD1\x82\" : \"\\u00e9\\/\" }}",
        R"({"contents":[{"role":"user","parts":[{"inline_data":{"mime_type":"text\/plain",)"
        R"("data":"QQ=="},"file_name":"a.txt"}]}]})",
    };
    for (const QByteArray& text : files) {
        writeFile(kBom + text);
        ASSERT_TRUE(dm.LoadHistoryFromFile(path())) << text.toStdString();
        const Expected<void> written = dm.SaveHistoryToFile(path(u"again.json"_s));
        ASSERT_TRUE(written) << written.error().toStdString();
        EXPECT_EQ(readFile(u"again.json"_s), kBom + text);
    }

    // A conversation that moves on keeps them; a new one starts without them.
    writeFile(kBom + files[0]);
    ASSERT_TRUE(dm.LoadHistoryFromFile(path()));
    dm.ChatHistory().append(item(u"model"_s, {MakeTextPart(u"c"_s)}));
    ASSERT_TRUE(dm.SaveHistoryToFile(path()));
    EXPECT_EQ(readFile(), kBom + R"({"version":7,"contents":[{"role":"user","parts":[{"text":"a",)"
                                 R"("thoughtSignature":"S"}],"meta":{}},{"role":"model","parts":)"
                                 R"([{"text":"c"}]}],"settings":{}})");
    dm.ClearHistory();
    EXPECT_EQ(saved({item(u"user"_s, {})}), kBom + R"({"contents":[{"role":"user","parts":[]}]})");
}

// Each message keeps the time it was written, in UTC after its parts; files of older
// versions have none and load as before, and readers that do not know the member skip it.
TEST_F(ChatFileTest, MessageTimesRoundTripAndFilesWithoutThemLoad) {
    THistoryItem question = item(u"user"_s, {MakeTextPart(u"q"_s)});
    question.Time = QDateTime(QDate(2025, 3, 1), QTime(14, 25, 30, 250), QTimeZone::utc());
    THistoryItem answer = item(u"model"_s, {MakeTextPart(u"a"_s)});
    answer.Time = QDateTime(QDate(2025, 3, 1), QTime(14, 26, 1)).toLocalTime();
    const QByteArray file = saved({question, answer, item(u"model"_s, {})});
    EXPECT_EQ(file, kBom +
                        R"({"contents":[{"role":"user","parts":[{"text":"q"}],)"
                        R"("message_time":"2025-03-01T14:25:30.250Z"},{"role":"model",)"
                        R"("parts":[{"text":"a"}],"message_time":")" +
                        answer.Time.toUTC().toString(Qt::ISODateWithMs).toLatin1() +
                        R"("},{"role":"model","parts":[]}]})");
    ASSERT_TRUE(dm.LoadHistoryFromFile(path()));
    ASSERT_EQ(dm.ChatHistory().size(), 3);
    EXPECT_EQ(dm.ChatHistory()[0].Time, question.Time);
    EXPECT_EQ(dm.ChatHistory()[1].Time, answer.Time);
    EXPECT_FALSE(dm.ChatHistory()[2].Time.isValid());

    // Unreadable times are no times; a file without them loads whole.
    writeFile(R"({"contents":[{"role":"user","parts":[{"text":"q"}],"message_time":"soon"},)"
              R"({"role":"model","parts":[{"text":"a"}]}]})");
    ASSERT_TRUE(dm.LoadHistoryFromFile(path()));
    ASSERT_EQ(dm.ChatHistory().size(), 2);
    EXPECT_FALSE(dm.ChatHistory()[0].Time.isValid());
    EXPECT_EQ(dm.ChatHistory()[1].Parts.first().Text, u"a"_s);
}

// Known members are written in their fixed order; a kept member follows the last of them
// that stood before it.
TEST_F(ChatFileTest, KeptMembersFollowTheKnownMembersThatPrecededThem) {
    writeFile(R"({"contents":[{"parts":[{"a":1,"text":"t"},{"inline_data":{"data":"AA==","w":1,)"
              R"("mime_type":"m"}}],"x":1,"role":"u","y":2}],"v":3})");
    ASSERT_TRUE(dm.LoadHistoryFromFile(path()));
    ASSERT_TRUE(dm.SaveHistoryToFile(path()));
    EXPECT_EQ(readFile(), kBom + R"({"contents":[{"role":"u","parts":[{"a":1,"text":"t"},)"
                                 R"({"inline_data":{"mime_type":"m","data":"AA==","w":1}}],)"
                                 R"("x":1,"y":2}],"v":3})");
}

TEST_F(ChatFileTest, ChatsThatCannotBeOpenedSayWhy) {
    QDir(dir.path()).mkdir(u"folder.json"_s);
    writeFile("{\"contents\":[}", u"damaged.json"_s);
    {
        QFile huge(path(u"huge.json"_s)); // sparse: nothing is really written
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(kMaxChatFileSize + 1));
    }
    // A regular file that even root cannot read: this process's memory from address 0.
    ASSERT_TRUE(QFile::link(u"/proc/self/mem"_s, path(u"unreadable.json"_s)));
    // A pipe no one writes to and a device without end would be read for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"pipe.json"_s)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(path(u"pipe.json"_s), path(u"to-pipe.json"_s)));
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path(u"zero.json"_s)));
    struct Case {
        QString name;
        ChatLoadOutcome outcome;
        QString text;
    };
    const Case cases[] = {
        {u"absent.json"_s, ChatLoadOutcome::loMissing, u"файл не найден"_s},
        {u"folder.json"_s, ChatLoadOutcome::loNotAFile, u"это не файл"_s},
        {u"pipe.json"_s, ChatLoadOutcome::loNotAFile, u"это не файл"_s},
        {u"to-pipe.json"_s, ChatLoadOutcome::loNotAFile, u"это не файл"_s},
        {u"zero.json"_s, ChatLoadOutcome::loNotAFile, u"это не файл"_s},
        {u"damaged.json"_s, ChatLoadOutcome::loDamaged, u"файл повреждён: в нём нет чата"_s},
        {u"huge.json"_s, ChatLoadOutcome::loTooLarge, u"файл больше 256 МБ"_s},
        {u"unreadable.json"_s, ChatLoadOutcome::loUnreadable, qt_error_string(EIO)},
    };
    for (const Case& test : cases) {
        dm.ChatHistory() = {item(u"user"_s, {MakeTextPart(u"old"_s)})};
        const ChatFileLoad load = dm.LoadHistoryFromFile(path(test.name));
        EXPECT_EQ(load.Outcome, test.outcome) << test.name.toStdString();
        EXPECT_EQ(load.Text, test.text) << test.name.toStdString();
        EXPECT_FALSE(load.Opened());
    }
}

TEST_F(ChatFileTest, SavingOverALinkReplacesTheLinkNotItsTarget) {
    const QByteArray target = saved({item(u"user"_s, {MakeTextPart(u"target"_s)})});
    ASSERT_TRUE(QFile::link(path(), path(u"link.json"_s)));
    dm.ChatHistory() = {item(u"user"_s, {MakeTextPart(u"new"_s)})};
    ASSERT_TRUE(dm.SaveHistoryToFile(path(u"link.json"_s)));
    EXPECT_EQ(readFile(), target);
    EXPECT_FALSE(QFileInfo(path(u"link.json"_s)).isSymLink());
    EXPECT_TRUE(readFile(u"link.json"_s).contains("new"));
}

} // namespace
