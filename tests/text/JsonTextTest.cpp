#include "text/JsonText.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QByteArray written(const QString& text) {
    JsonWriter writer;
    writer.string(text);
    return writer.take();
}

TEST(JsonWriter, EscapesStringsIntoPureAscii) {
    struct Case {
        QString input;
        QByteArray expected;
    };
    const Case cases[] = {
        {QStringLiteral("plain"), R"("plain")"},
        {QStringLiteral("a\"b\\c/d"), R"("a\"b\\c\/d")"},
        {QString::fromUtf16(u"\b\t\n\f\r"), R"("\b\t\n\f\r")"},
        {QStringView(u"\u0000\u0001\u001F\u000B", 4).toString(), R"("\u0000\u0001\u001F\u000B")"},
        {QString::fromUtf16(u"\u007F"), "\"\x7F\""},
        {QString::fromUtf16(u"Привет"), R"("\u041F\u0440\u0438\u0432\u0435\u0442")"},
        {QString::fromUtf16(u"\u00E9\u20AC\uFFFF"), R"("\u00E9\u20AC\uFFFF")"},
        {QString::fromUcs4(U"\U0001F600"), R"("\uD83D\uDE00")"},
        {QString(), R"("")"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(written(c.input), c.expected) << c.input.toStdString();
}

TEST(JsonWriter, WritesCompactMembersInInsertionOrder) {
    JsonWriter writer;
    writer.beginObject()
        .key(QLatin1StringView("z")).integer(-12)
        .key(QLatin1StringView("a")).beginArray()
            .numberLiteral(QLatin1StringView("0.2")).boolean(true).boolean(false).null()
            .beginObject().endObject()
            .beginArray().endArray()
        .endArray()
        .key(QLatin1StringView("m")).latin1String("ab/c+=")
        .endObject();
    EXPECT_EQ(writer.take(), R"({"z":-12,"a":[0.2,true,false,null,{},[]],"m":"ab\/c+="})");
}

TEST(JsonWriter, WritesVeryLongStringsWhole) {
    // Longer than one internal block, with escapes on both sides of block boundaries.
    QByteArray base64;
    for (int i = 0; i < 300000; ++i)
        base64.append(i % 7 == 0 ? '/' : 'A' + i % 26);
    QByteArray expected = base64;
    expected.replace("/", "\\/");

    JsonWriter writer;
    writer.latin1String(base64);
    EXPECT_EQ(writer.take(), '"' + expected + '"');

    const QString cyrillic(200000, QChar(0x0416));
    QByteArray expectedCyrillic = "\"";
    for (int i = 0; i < cyrillic.size(); ++i)
        expectedCyrillic.append("\\u0416");
    expectedCyrillic.append('"');
    EXPECT_EQ(written(cyrillic), expectedCyrillic);
}

TEST(JsonWriter, OutputReadsBackAsTheSameValue) {
    // A NUL inside a text is a character like any other: written as \u0000, read back as one.
    const QString text = QString::fromUtf16(u"line\r\n\ttab \"q\" Ж \U0001F600 / \\ \u0001") +
                         QChar(0) + QStringLiteral("after");
    JsonWriter writer;
    writer.beginObject().key(QLatin1StringView("text")).string(text).endObject();
    const std::optional<QJsonValue> parsed = ParseJsonText(writer.take());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->toObject().value(QLatin1StringView("text")).toString(), text);
}

TEST(ParseJsonText, ToleratesByteOrderMarkAndWhitespace) {
    const std::optional<QJsonValue> parsed = ParseJsonText("\xEF\xBB\xBF \r\n{ \"a\" : [1] }\n ");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->toObject().value(QLatin1StringView("a")).toArray().size(), 1);
}

TEST(ParseJsonText, RejectsTextThatIsNotJson) {
    for (const QByteArray& text : {QByteArray(), QByteArray("{"), QByteArray("not json"),
                                   QByteArray("{\"a\":1} trailing")})
        EXPECT_FALSE(ParseJsonText(text).has_value()) << text.constData();
}

TEST(JsonValueAsString, ReadsScalarsAndRefusesContainers) {
    const std::optional<QJsonValue> parsed = ParseJsonText(
        R"({"s":"text","i":42,"n":-7,"d":1.5,"t":true,"f":false,"z":null,"o":{},"a":[]})");
    ASSERT_TRUE(parsed.has_value());
    const QJsonObject object = parsed->toObject();
    const auto read = [&](const char* name) {
        return JsonValueAsString(object.value(QLatin1StringView(name)));
    };
    EXPECT_EQ(read("s"), QStringLiteral("text"));
    EXPECT_EQ(read("i"), QStringLiteral("42"));
    EXPECT_EQ(read("n"), QStringLiteral("-7"));
    EXPECT_EQ(read("d"), QStringLiteral("1.5"));
    EXPECT_EQ(read("t"), QStringLiteral("true"));
    EXPECT_EQ(read("f"), QStringLiteral("false"));
    EXPECT_EQ(read("z"), QString());
    EXPECT_FALSE(read("o").has_value());
    EXPECT_FALSE(read("a").has_value());
    EXPECT_FALSE(read("missing").has_value());
}

} // namespace
