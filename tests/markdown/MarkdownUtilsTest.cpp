#include "markdown/MarkdownUtils.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

TEST(Readers, StopAtTheirTerminators) {
    QString out;
    EXPECT_EQ(TUtils::readUntil(out, u"a\\]b]"_s, 0, {u']'}), 4);
    EXPECT_EQ(out, u"a]b"_s);
    out.clear();
    EXPECT_EQ(TUtils::readUntil(out, u"a\\qb"_s, 0, {u'q'}), 2);
    EXPECT_EQ(out, u"a\\"_s);
    out.clear();
    EXPECT_EQ(TUtils::readMdLink(out, u"/a(b)c d"_s, 0), 6);
    EXPECT_EQ(out, u"/a(b)c"_s);
    out.clear();
    EXPECT_EQ(TUtils::readMdLink(out, u"/a(b"_s, 0), -1);
    out.clear();
    EXPECT_EQ(TUtils::readMdLinkId(out, u"a [b]\nc]"_s, 0), 7);
    EXPECT_EQ(out, u"a [b] c"_s);
    out.clear();
    EXPECT_EQ(TUtils::readRawUntil(out, u"x\\]y]"_s, 0, u']'), 2);
    EXPECT_EQ(out, u"x\\"_s);
    EXPECT_EQ(TUtils::skipSpaces(u" \n x"_s, 0), 3);
    EXPECT_EQ(TUtils::skipSpaces(u" \n "_s, 0), -1);
}

TEST(ReadXml, RewritesOneTagUnderTheSafeRule) {
    struct Case {
        QString in;
        bool safe;
        int end;
        QString out;
    };
    const Case cases[] = {
        {u"<Script>"_s, true, 7, u"&lt;Script>"_s},
        {u"</iframe>"_s, true, 8, u"&lt;/iframe>"_s},
        {u"<p class=\"x\">"_s, true, 12, u"<p class=\"x\">"_s},
        {u"< p>"_s, true, 3, u"< p>"_s},
        {u"< p"_s, true, -1, {}},
        {u"<br/>"_s, false, 4, u"<br />"_s},
        {u"<img src=\"a.png\"/>"_s, true, 17, u"<img src=\"a.png\" />"_s},
        {u"<a title=\"x>y\">"_s, true, 14, u"<a title=\"x>y\">"_s},
        {u"<a title=\"it's\">"_s, true, -1, {}},
        {u"<!-- x -->"_s, true, 1, u"<!"_s},
    };
    for (const Case& c : cases) {
        QString out;
        EXPECT_EQ(TUtils::readXML(out, c.in, 0, c.safe), c.end) << c.in.toStdString();
        if (c.end >= 0) {
            EXPECT_EQ(out, c.out) << c.in.toStdString();
            EXPECT_EQ(TagIndex(c.in).tagEnd(0), c.end) << c.in.toStdString();
            EXPECT_EQ(TagIndex(c.in, 0).tagEnd(0), c.end) << c.in.toStdString();
        }
    }
}

TEST(Writers, EscapeForTheirPlaceInHtml) {
    QString out;
    TUtils::codeEncode(out, u"a+b&c<d>"_s);
    EXPECT_EQ(out, u"a%2bb&amp;c&lt;d&gt;"_s);
    out.clear();
    TUtils::appendValue(out, u"\"&'<>x"_s);
    EXPECT_EQ(out, u"&quot;&amp;&apos;&lt;&gt;x"_s);
    out.clear();
    TUtils::appendCode(out, u"a&\"<>"_s, 1, 5);
    EXPECT_EQ(out, u"&amp;\"&lt;&gt;"_s);
    out.clear();
    TUtils::appendHexEntity(out, 7);
    TUtils::appendHexEntity(out, 0x44F);
    TUtils::appendDecEntity(out, 64);
    EXPECT_EQ(out, u"&#x07;&#x44F;&#64;"_s);
}

TEST(Writers, MailtoHidesLettersDigitsAndSigns) {
    static const QRegularExpression shape(u"^(&#97;|&#x61;)(&#98;|&#x62;)\\.(&#64;|&#x40;)-$"_s);
    for (unsigned seed = 0; seed < 20; ++seed) {
        TUtils::seedRandom(seed);
        QString out;
        TUtils::appendMailto(out, u"ab.@-"_s);
        EXPECT_TRUE(shape.match(out).hasMatch()) << out.toStdString();
    }
}

TEST(Fences, GiveTheirMeta) {
    EXPECT_EQ(TUtils::getMetaFromFence(u"~~~ sql "_s), u"sql"_s);
    EXPECT_EQ(TUtils::getMetaFromFence(u"~~~"_s), QString());
    EXPECT_EQ(TUtils::getMetaFromFence(u"```js {x}"_s), u"js {x}"_s);
}

TEST(Tables, KnowElementsAndEntities) {
    EXPECT_TRUE(THTML::isHtmlBlockElement(u"blockquote"));
    EXPECT_FALSE(THTML::isHtmlBlockElement(u"span"));
    EXPECT_FALSE(THTML::isHtmlBlockElement(u"DIV"));
    EXPECT_TRUE(THTML::isUnsafeHtmlElement(u"iframe"));
    EXPECT_FALSE(THTML::isUnsafeHtmlElement(u"img"));
    for (const auto* entity : {u"&apos;", u"&thetasym;", u"&thorn;", u"&sup1;", u"&sup;"})
        EXPECT_TRUE(THTML::isEntity(entity)) << QString::fromUtf16(entity).toStdString();
    for (const auto* entity : {u"&Aacute;", u"&aacute;", u"&THORN;", u"&APOS;", u"&hellip"})
        EXPECT_FALSE(THTML::isEntity(entity)) << QString::fromUtf16(entity).toStdString();
}

} // namespace
