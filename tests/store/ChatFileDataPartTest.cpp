#include "store/ChatFile.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using namespace Qt::Literals::StringLiterals;

ChatFileContent withParts(TContentParts parts) {
    return {{THistoryItem{u"user"_s, std::move(parts)}}, {}};
}

// A file held by the service's file store is kept with its type, address, local path and
// expiry; it is written after the parts that were there before it was possible.
TEST(ChatFileDataPart, IsWrittenInItsShapeAndReadBackEqual) {
    const QDateTime expires(QDate(2025, 3, 3), QTime(10, 0, 0, 123), Qt::UTC);
    const ChatFileContent content = withParts(
        {MakeTextPart(u"q"_s),
         MakeFileDataPart(u"video/mp4"_s, u"https://h/v1beta/files/abc"_s, u"клип.mp4"_s,
                          u"/home/u/клип.mp4"_s, expires),
         MakeFileDataPart(u"application/pdf"_s, u"https://h/v1beta/files/d"_s, {}, {}, {})});
    const QByteArray text = ChatFileText(content);
    EXPECT_EQ(text,
              R"({"contents":[{"role":"user","parts":[{"text":"q"},)"
              R"({"file_data":{"mime_type":"video\/mp4","file_uri":"https:\/\/h\/v1beta\/files\/abc"},)"
              R"("file_name":"\u043A\u043B\u0438\u043F.mp4","local_path":"\/home\/u\/\u043A\u043B\u0438\u043F.mp4",)"
              R"("expiration_time":"2025-03-03T10:00:00.123Z"},)"
              R"({"file_data":{"mime_type":"application\/pdf","file_uri":"https:\/\/h\/v1beta\/files\/d"}}]}]})");
    ChatFileContent read;
    EXPECT_EQ(ReadChatFileText(text, read).Outcome, ChatLoadOutcome::loLoaded);
    EXPECT_EQ(read.History, content.History);
}

TEST(ChatFileDataPart, UnreadMembersBesideItAreKeptAndBrokenOnesStopTheLoad) {
    const QByteArray kept =
        R"({"contents":[{"role":"user","parts":[{"file_data":{"mime_type":"video\/mp4",)"
        R"("file_uri":"u"},"file_name":"a.mp4","size":12,"local_path":"\/a.mp4"}]}]})";
    ChatFileContent read;
    EXPECT_EQ(ReadChatFileText(kept, read).Outcome, ChatLoadOutcome::loLoaded);
    EXPECT_EQ(ChatFileText(read), kept);

    const QByteArray noUri =
        R"({"contents":[{"role":"user","parts":[{"text":"a"}]},)"
        R"({"role":"user","parts":[{"file_data":{"mime_type":"video\/mp4"}}]}]})";
    ChatFileContent partial;
    EXPECT_EQ(ReadChatFileText(noUri, partial).Outcome, ChatLoadOutcome::loPartial);
    ASSERT_FALSE(partial.History.isEmpty());
    EXPECT_EQ(partial.History.first().Parts, TContentParts{MakeTextPart(u"a"_s)});
}

} // namespace
