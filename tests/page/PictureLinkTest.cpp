#include "page/PictureLink.h"
#include "page/AnswerBlock.h"
#include "page/ConversationHtml.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString kToken = u"0123456789abcdef0123456789abcdef"_s;

QByteArray pictureOf(qint64 bytes) {
    QByteArray data(bytes, '\x89');
    data[bytes - 1] = char(bytes % 251);
    return data.toBase64();
}

// The key of the first save link in html; empty when it has none.
QString linkedKey(const QString& html) {
    const QRegularExpressionMatch link =
        QRegularExpression(u"href=\"#(picture-[^\"]*)\""_s).match(html);
    if (!link.hasMatch())
        return {};
    return ParsePictureFragment(link.captured(1), kToken).value_or(u"(refused)"_s);
}

// Up to the limit a picture is shown; above it the page has a link that names its type and
// size and leads back to the very picture, wherever in the chat it is: a request's drawn
// pictures, an answer that is one picture, or a picture among an answer's parts.
TEST(PictureLink, PicturesAboveTheLimitAreSaveLinksToThemselves) {
    for (qint64 bytes = 1; bytes <= 6; ++bytes)
        EXPECT_EQ(DecodedBase64Size(pictureOf(bytes)), bytes);
    struct Case {
        qint64 bytes;
        // "" when shown inline.
        QString title;
        // A request's drawn pictures alone, or every place a picture can be.
        bool everywhere;
    };
    const Case cases[] = {
        {kInlinePictureLimitBytes, {}, false},
        {kInlinePictureLimitBytes + 1, u"Изображение PNG, 16,0 МБ"_s, false},
        {17 * 1024 * 1024, u"Изображение PNG, 17,0 МБ"_s, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const QByteArray base64 = pictureOf(c.bytes);
        const TContentPart picture = MakeInlinePart(u"image/png"_s, base64);
        THistoryItem drawn{u"user"_s, {MakeTextPart(u"Нарисуй"_s)}};
        drawn.Images = {picture};
        QList<TChatHistory> chats{{drawn}};
        if (c.everywhere) {
            chats.append({{u"user"_s, {MakeTextPart(u"Нарисуй"_s)}}, {u"model"_s, {picture}}});
            chats.append({{u"user"_s, {MakeTextPart(u"Нарисуй"_s)}},
                          {u"model"_s, {MakeTextPart(u"Вот:"_s), picture}}});
        }
        for (const TChatHistory& history : chats) {
            const QString html =
                BuildConversationHtmlChunks(history, 1 << 30, 1 << 30, kToken).join(QString());
            const QString key = linkedKey(html);
            if (c.title.isEmpty()) {
                EXPECT_TRUE(key.isEmpty());
                EXPECT_TRUE(html.contains(u"src=\"data:image/png;base64,"_s +
                                          QString::fromLatin1(base64) + u'"'));
                continue;
            }
            EXPECT_FALSE(html.contains(u"data:"_s));
            EXPECT_TRUE(html.contains(u"\">"_s + c.title + u" — сохранить…</a>"_s));
            const std::optional<TContentPart> found = FindPicture(history, key);
            ASSERT_TRUE(found.has_value());
            EXPECT_EQ(found->Base64Data, base64);
            // Where nothing can be saved from, the same words without a link.
            const QString plain = BuildConversationHtml(history);
            EXPECT_FALSE(plain.contains(u"data:"_s));
            EXPECT_FALSE(plain.contains(u"href="_s));
            EXPECT_TRUE(plain.contains(c.title + u" — слишком большое"_s));
        }
    }
}

// A link an answer writes itself has no way to the page's token; a question's own
// attachment is never what a link saves.
TEST(PictureLink, OnlyThePagesOwnLinksLeadToAPicture) {
    const QString key = QString(40, u'a');
    EXPECT_EQ(ParsePictureFragment(u"picture-"_s + kToken + u'-' + key, kToken), key);
    for (const QString& fragment :
         {u"picture-"_s + QString(32, u'0') + u'-' + key,
          u"picture-"_s + kToken + u'-' + QString(39, u'a'),
          u"picture-"_s + kToken + u'-' + QString(40, u'A'), u"picture-"_s + kToken + key,
          u"msg-"_s + kToken + u"-copy-0"_s}) {
        EXPECT_FALSE(ParsePictureFragment(fragment, kToken).has_value()) << fragment.toStdString();
    }
    EXPECT_FALSE(ParsePictureFragment(u"picture--"_s + key, QString()).has_value());

    const QByteArray base64 = pictureOf(kInlinePictureLimitBytes + 3);
    const TChatHistory attached{
        {u"user"_s, {MakeTextPart(u"Вот файл"_s), MakeInlinePart(u"image/png"_s, base64)}}};
    const THistoryItem answered{u"model"_s, {MakeInlinePart(u"image/png"_s, base64)}};
    const QString link = linkedKey(BuildModelItemHtml(answered, {}, kToken));
    ASSERT_FALSE(link.isEmpty());
    EXPECT_FALSE(FindPicture(attached, link).has_value());
}

} // namespace
