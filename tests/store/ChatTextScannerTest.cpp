#include "store/ChatTextScanner.h"

#include "text/JsonText.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>
#include <random>

using namespace Qt::StringLiterals;

namespace {

using Outcome = ChatTextScanner::Outcome;

struct Reading {
    Outcome outcome;
    QString text;
    QString title = {};

    bool operator==(const Reading&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Reading& reading) {
    static const char* const names[] = {"Text", "NotAnObject", "TextNotString", "ReadFailed"};
    return out << names[int(reading.outcome)] << " \"" << reading.text.toStdString()
               << "\" title \"" << reading.title.toStdString() << '"';
}

// The message text and title read the plain way: the whole document parsed, then walked.
Reading referenceReading(const QByteArray& bytes) {
    const std::optional<QJsonValue> document = ParseJsonText(bytes);
    if (!document || !document->isObject())
        return {Outcome::NotAnObject, {}};
    QString text;
    const QString title = document->toObject().value("title"_L1).toString();
    const QJsonValue contents = document->toObject().value("contents"_L1);
    if (!contents.isArray())
        return {Outcome::Text, text, title};
    for (const QJsonValue& message : contents.toArray()) {
        const QJsonValue parts = message.toObject().value("parts"_L1);
        if (!message.isObject() || !parts.isArray())
            continue;
        for (const QJsonValue& part : parts.toArray()) {
            if (!part.isObject())
                continue;
            const QJsonValue value = part.toObject().value("text"_L1);
            const std::optional<QString> string =
                value.isUndefined() ? QString() : JsonValueAsString(value);
            if (!string)
                return {Outcome::TextNotString, {}};
            text += u' ' + *string;
        }
    }
    return {Outcome::Text, text, title};
}

Reading scanned(ChatTextScanner& scanner, Outcome outcome) {
    if (outcome != Outcome::Text)
        return {outcome, {}};
    return {outcome, scanner.text().toString(), scanner.title().toString()};
}

Reading scannedBytes(const QByteArray& bytes) {
    ChatTextScanner scanner;
    return scanned(scanner, scanner.scan(QByteArrayView(bytes)));
}

// Small chunks put every token across a chunk boundary somewhere.
Reading scannedInChunks(const QByteArray& bytes, qsizetype chunkSize) {
    QByteArray copy = bytes;
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    ChatTextScanner scanner(chunkSize);
    return scanned(scanner, scanner.scan(device));
}

QByteArray bom() {
    return QByteArrayLiteral("\xEF\xBB\xBF");
}

QByteArray chat(const QByteArray& parts) {
    return R"({"contents":[{"role":"user","parts":)" + parts + "}]}";
}

QByteArray nested(int depth, const QByteArray& inner) {
    return QByteArray(depth, '[') + inner + QByteArray(depth, ']');
}

TEST(ChatTextScanner, ReadsTrickyFilesAsTheParserDoes) {
    struct Case {
        const char* name;
        QByteArray bytes;
        Reading expected;
    };
    const auto text = [](const char16_t* value) {
        return Reading{Outcome::Text, QString::fromUtf16(value)};
    };
    const Reading notAnObject{Outcome::NotAnObject, {}};
    const Reading notString{Outcome::TextNotString, {}};
    const Case cases[] = {
        {"program's own file",
         bom() +
             R"({"contents":[{"role":"user","parts":[{"text":"\u041F\u0440\u0438\u0432\u0435\u0442 HELLO"},)"
             R"({"inline_data":{"mime_type":"image\/png","data":"iVBO\/+=="},"file_name":"a.png"}]},)"
             R"({"role":"model","parts":[{"text":"a\/b \"q\" \\ \r\n\t\b\f"}]}]})",
         text(u" Привет HELLO  a/b \"q\" \\ \r\n\t\b\f")},
        {"no mark, whitespace everywhere",
         " \r\n\t{ \"contents\" :\n[ { \"parts\" : [ { \"text\" : \"x\" } ] } ] }\r\n ",
         text(u" x")},
        {"two marks", bom() + bom() + chat(R"([{"text":"x"}])"), text(u" x")},
        {"three marks", bom() + bom() + bom() + chat(R"([{"text":"x"}])"), notAnObject},
        {"empty file", "", notAnObject},
        {"mark only", bom(), notAnObject},
        {"top-level array", R"([{"contents":[]}])", notAnObject},
        {"top-level string", R"("text")", notAnObject},
        {"empty object", "{}", text(u"")},
        {"contents not an array", R"({"contents":{"parts":[{"text":"x"}]}})", text(u"")},
        {"elements of other kinds skipped",
         R"({"contents":[1,"s",null,[{"parts":[{"text":"no"}]}],{"parts":"no"},)"
         R"({"parts":[2,[{"text":"no"}],{"text":"yes"}]}]})",
         text(u" yes")},
        {"missing, null, true, false", chat(R"([{},{"text":null},{"text":true},{"text":false}])"),
         text(u"   true false")},
        {"title of the chat", R"({"title":"\u041C\u043E\u0439","contents":[]})",
         Reading{Outcome::Text, {}, u"Мой"_s}},
        {"last title counts, before or after the messages",
         R"({"title":"a","contents":[{"parts":[{"text":"x"}]}],"t\u0069tle":"b"})",
         Reading{Outcome::Text, u" x"_s, u"b"_s}},
        {"a title that is no string is none", R"({"title":"a","title":5,"contents":[]})",
         text(u"")},
        {"a message's title is no chat title",
         R"({"contents":[{"title":"x","parts":[{"title":"y"}]}]})", text(u" ")},
        {"numbers as the parser keeps them",
         chat(R"([{"text":42},{"text":-0},{"text":1.0},{"text":1e2},{"text":0.5},{"text":.5},)"
              R"({"text":1.},{"text":-1.5e-7},{"text":9223372036854775807}])"),
         text(u" 42 0 1 100 0.5 0.5 1 -1.5e-07 9223372036854775807")},
        {"number out of range", chat(R"([{"text":1e400}])"), notAnObject},
        {"bare minus", chat(R"([{"text":-}])"), notAnObject},
        {"leading zero", chat(R"([{"text":01}])"), notAnObject},
        {"text that is an object", chat(R"([{"text":"a"},{"text":{"b":1}}])"), notString},
        {"text that is an array", chat(R"([{"text":[]}])"), notString},
        {"text object in a file that is broken later",
         R"({"contents":[{"parts":[{"text":{}}]}],"x":[1,]})", notAnObject},
        {"text object outside the gathered levels",
         R"({"parts":[{"text":{}}],"contents":[{"text":{},"parts":[{"x":{"text":[]}}]}]})",
         text(u" ")},
        {"last duplicate text counts", chat(R"([{"text":{},"text":"second"}])"), text(u" second")},
        {"a later object text overrides a string", chat(R"([{"text":"first","text":[1]}])"),
         notString},
        {"last duplicate parts counts",
         R"({"contents":[{"parts":[{"text":"old"}],"parts":[{"text":"new"}]},)"
         R"({"parts":[{"text":{}}],"parts":7}]})",
         text(u" new")},
        {"last duplicate contents counts",
         R"({"contents":[{"parts":[{"text":{}}]}],"contents":[{"parts":[{"text":"b"}]}]})",
         text(u" b")},
        {"escaped member names", R"({"cont\u0065nts":[{"p\u0061rts":[{"t\u0065xt":"x"}]}]})",
         text(u" x")},
        {"member names compare exactly", chat(R"([{"Text":"x","text ":"y"}])"), text(u" ")},
        {"surrogate pair, lone surrogate, lower-case digits",
         chat(R"([{"text":"\uD83D\uDE00 \ud800x \u00e9"}])"), text(u" \U0001F600 \xD800x \u00E9")},
        {"unknown escapes stand for themselves", chat(R"([{"text":"\a\q\'"}])"), text(u" aq'")},
        {"escaped byte above 0x7F is a Latin-1 character", chat("[{\"text\":\"\\\xC3\xC3\xA9\"}]"),
         text(u" \u00C3\u00E9")},
        {"escaped lead byte leaves a stray continuation", chat("[{\"text\":\"\\\xC3\xA9\"}]"),
         notAnObject},
        {"short \\u escape", chat(R"([{"text":"\u12"}])"), notAnObject},
        {"raw UTF-8 and control characters",
         chat("[{\"text\":\"\xD0\x9A\xD0\xBE\xD1\x82 \xF0\x9F\x98\x80\x01\t" + QByteArray(1, '\0') +
              "!\"}]"),
         Reading{Outcome::Text, QString::fromUtf16(u" Кот \U0001F600\x01\t") + QChar(0) + u'!'}},
        {"overlong UTF-8", chat("[{\"text\":\"\xC0\xAF\"}]"), notAnObject},
        {"UTF-8 surrogate", chat("[{\"text\":\"\xED\xA0\x80\"}]"), notAnObject},
        {"UTF-8 above U+10FFFF", chat("[{\"text\":\"\xF4\x90\x80\x80\"}]"), notAnObject},
        {"UTF-8 noncharacter", chat("[{\"text\":\"\xEF\xBF\xBE\"}]"), text(u" \uFFFE")},
        {"invalid UTF-8 deep in an attachment",
         chat("[{\"text\":\"x\"},{\"inline_data\":{\"data\":\"AAAA\xFF\"}}]"), notAnObject},
        {"trailing comma in an attachment", chat(R"([{"text":"x"},{"inline_data":{"data":"A",}}])"),
         notAnObject},
        {"garbage after the object", chat(R"([{"text":"x"}])") + " x", notAnObject},
        {"NUL after the object", chat(R"([{"text":"x"}])") + QByteArray(1, '\0'), notAnObject},
        {"unterminated", chat(R"([{"text":"x"}])").chopped(1), notAnObject},
        {"form feed is not whitespace", "{\f}", notAnObject},
        {"1024 levels deep", R"({"x":)" + nested(1023, "1") + "}", text(u"")},
        {"1025 levels deep", R"({"x":)" + nested(1024, "1") + "}", notAnObject},
        {"deepest text value", chat(R"([{"text":)" + nested(1019, "") + "}]"), notString},
        {"too deep text value", chat(R"([{"text":)" + nested(1020, "") + "}]"), notAnObject},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(referenceReading(c.bytes), c.expected);
        EXPECT_EQ(scannedBytes(c.bytes), c.expected);
        for (const qsizetype chunk : {1, 2, 3, 5, 7, 4096})
            EXPECT_EQ(scannedInChunks(c.bytes, chunk), c.expected) << "chunk " << chunk;
    }
}

// Random chat-like documents full of the constructs the parser treats specially.
class DocumentGenerator {
public:
    explicit DocumentGenerator(unsigned seed) : m_random(seed) {}

    QByteArray document() {
        QByteArray out;
        const int marks = pick({70, 20, 6, 4});
        for (int i = 0; i < marks; ++i)
            out += bom();
        out += space();
        switch (pick({90, 4, 3, 3})) {
        case 0:
            out += topObject();
            break;
        case 1:
            out += array(0);
            break;
        case 2:
            out += scalar();
            break;
        default:
            out += space();
            break;
        }
        out += space();
        return out;
    }

    QByteArray mutated(QByteArray bytes) {
        static const QByteArray interesting(
            "{}[]\",:\\ \t0123456789.-+eEutnfl\x80\xBF\xC3\xEF\xFF");
        const int count = 1 + below(3);
        for (int i = 0; i < count && !bytes.isEmpty(); ++i) {
            const qsizetype at = below(int(bytes.size()));
            const char byte =
                chance(70) ? interesting[below(int(interesting.size()))] : char(below(256));
            switch (below(5)) {
            case 0:
                bytes.remove(at, 1 + below(3));
                break;
            case 1:
                bytes.insert(at, byte);
                break;
            case 2:
                bytes[at] = byte;
                break;
            case 3:
                bytes.truncate(at);
                break;
            default:
                bytes.insert(at, bytes.mid(below(int(bytes.size())), 1 + below(12)));
                break;
            }
        }
        return bytes;
    }

private:
    int below(int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(m_random); }
    bool chance(int percent) { return below(100) < percent; }

    int pick(std::initializer_list<int> weights) {
        int roll = below(std::accumulate(weights.begin(), weights.end(), 0));
        int index = 0;
        for (const int weight : weights) {
            if (roll < weight)
                return index;
            roll -= weight;
            ++index;
        }
        return index - 1;
    }

    QByteArray space() {
        static const char* const spaces[] = {" ", "\t", "\n", "\r", "  \r\n", "\f", "\v"};
        if (below(1000) == 0)
            return spaces[5 + below(2)];
        return chance(15) ? spaces[below(5)] : QByteArray();
    }

    template <typename Element> QByteArray members(int count, Element element) {
        QByteArray out = "{" + space();
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                out += "," + space();
            out += element() + space();
        }
        return out + "}";
    }

    QByteArray member(const QByteArray& name, const QByteArray& value) {
        return "\"" + name + "\"" + space() + ":" + space() + value;
    }

    QByteArray topObject() {
        return members(1 + below(3), [&] {
            if (chance(75))
                return member("contents", chance(85) ? messages() : value(1));
            static const char* const others[] = {"cont\\u0065nts", "role", "title", "t\\u0069tle"};
            const QByteArray name = others[below(4)];
            return member(name, name.startsWith('t') && chance(70) ? string() : value(1));
        });
    }

    QByteArray messages() {
        return elements(below(5), [&] { return chance(85) ? message() : value(2); });
    }

    QByteArray message() {
        return members(below(4), [&] {
            switch (pick({50, 20, 15, 15})) {
            case 0:
                return member("parts", chance(85) ? parts() : value(3));
            case 1:
                return member("role", chance(80) ? QByteArray("\"user\"") : value(3));
            case 2:
                return member("text", value(3));
            default:
                return member("p\\u0061rts", parts());
            }
        });
    }

    QByteArray parts() {
        return elements(below(5), [&] { return chance(85) ? part() : value(4); });
    }

    QByteArray part() {
        return members(below(4), [&] {
            switch (pick({55, 15, 10, 10, 10})) {
            case 0:
                return member("text", textValue());
            case 1:
                return member("inline_data", attachment());
            case 2:
                return member("t\\u0065xt", textValue());
            case 3:
                return member("Text", textValue());
            default:
                return member("file_name", value(5));
            }
        });
    }

    QByteArray textValue() {
        switch (pick({62, 12, 6, 9, 8, 3})) {
        case 0:
            return string();
        case 1:
            return number();
        case 2:
            return QByteArray(chance(50) ? "null" : chance(50) ? "true" : "false");
        case 3:
            return elements(below(2), [&] { return string(); });
        case 4:
            return members(below(2), [&] { return member("x", string()); });
        default:
            return deep(5);
        }
    }

    QByteArray attachment() {
        QByteArray data;
        const int length = below(300);
        static const char base64[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=";
        for (int i = 0; i < length; ++i) {
            const char c = base64[below(65)];
            data += c == '/' ? QByteArray("\\/") : QByteArray(1, c);
        }
        return "{\"mime_type\":\"image\\/png\",\"data\":\"" + data + "\"}";
    }

    // Containers nested close to the parser's limit, counted from `depth` levels down.
    QByteArray deep(int depth) {
        const int levels = 1024 - depth + below(4) - 1;
        return nested(levels, chance(50) ? QByteArray() : QByteArray("1"));
    }

    template <typename Element> QByteArray elements(int count, Element element) {
        QByteArray out = "[" + space();
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                out += "," + space();
            out += element() + space();
        }
        return out + "]";
    }

    QByteArray value(int depth) {
        switch (pick({30, 20, 15, 15, 10, 10})) {
        case 0:
            return string();
        case 1:
            return number();
        case 2:
            return QByteArray(chance(50) ? "null" : "false");
        case 3:
            return array(depth);
        case 4:
            return depth < 8 ? members(below(3), [&] { return member("text", value(depth + 1)); })
                             : QByteArray("{}");
        default:
            return scalar();
        }
    }

    QByteArray array(int depth) {
        if (depth >= 8)
            return "[]";
        return elements(below(3), [&] { return value(depth + 1); });
    }

    QByteArray scalar() { return chance(50) ? string() : number(); }

    QByteArray number() {
        static const char* const valid[] = {"0",
                                            "-0",
                                            "1",
                                            "-1",
                                            "1.0",
                                            "-0.0",
                                            "1.5",
                                            "1e5",
                                            "1E+2",
                                            "1e-7",
                                            ".5",
                                            "-.5",
                                            "1.",
                                            "1.e5",
                                            "12345678901234567890",
                                            "9223372036854775807",
                                            "9223372036854775808",
                                            "-9223372036854775808",
                                            "-9223372036854775809",
                                            "0.000",
                                            "3.14159",
                                            "1e20",
                                            "5e-324",
                                            "4e-320",
                                            "2.2250738585072014e-308",
                                            "0e0",
                                            "1.7976931348623157e308",
                                            "123456789012345678",
                                            "100.000",
                                            "0.1",
                                            "1e21",
                                            "123e-2",
                                            "9007199254740993"};
        static const char* const invalid[] = {"1e",     "1e+",   "-",  ".",  "1e400",
                                              "1e-400", "00",    "01", "0e", "1.8e308",
                                              "-.e1",   "1.5.5", "+1"};
        if (chance(94))
            return valid[below(int(std::size(valid)))];
        if (chance(50))
            return invalid[below(int(std::size(invalid)))];
        static const char alphabet[] = "0123456789-+.eE";
        QByteArray out;
        const int length = 1 + below(25);
        for (int i = 0; i < length; ++i)
            out += alphabet[chance(70) ? below(10) : below(15)];
        return out;
    }

    QByteArray string() {
        static const char* const pieces[] = {"hello",
                                             " ",
                                             "HELLO World",
                                             "\\u041F\\u0440\\u0438",
                                             "\xD0\x9A\xD0\xBE\xD1\x82",
                                             "\\uD83D\\uDE00",
                                             "\\ud83d",
                                             "\\uDE00",
                                             "\\u00e9",
                                             "\\\"",
                                             "\\\\",
                                             "\\/",
                                             "\\b\\f\\n\\r\\t",
                                             "\\a",
                                             "\\'",
                                             "\\\xC3\xC3\xA9",
                                             "\x01\x1F",
                                             "\xF0\x9F\x98\x80",
                                             "\xEF\xBF\xBF",
                                             "\\u12",
                                             "\xC3",
                                             "\xE0\x80\x80",
                                             "\xED\xBF\xBF",
                                             "\xF4\x8F\xBF\xBF",
                                             "\\u0000",
                                             "\\uFFFF",
                                             "text",
                                             "\\u0074ext"};
        QByteArray out = "\"";
        const int count = below(6);
        for (int i = 0; i < count; ++i) {
            const int index = below(int(std::size(pieces)));
            // The invalid pieces come up less often, so most documents stay valid.
            if (index >= 19 && index <= 22 && !chance(8))
                continue;
            out += pieces[index];
        }
        return out + "\"";
    }

    std::mt19937 m_random;
};

TEST(ChatTextScanner, AgreesWithTheParserOnGeneratedAndMutatedDocuments) {
    DocumentGenerator generator(20250301);
    std::mt19937 chunks(7);
    int outcomes[4] = {};
    for (int i = 0; i < 20000; ++i) {
        QByteArray bytes = generator.document();
        if (i % 3 == 2)
            bytes = generator.mutated(bytes);
        const Reading expected = referenceReading(bytes);
        ++outcomes[int(expected.outcome)];
        const qsizetype chunk = std::uniform_int_distribution<int>(1, 9)(chunks);
        ASSERT_EQ(scannedBytes(bytes), expected) << "document " << i << ": " << bytes.toStdString();
        ASSERT_EQ(scannedInChunks(bytes, chunk), expected)
            << "document " << i << ", chunk " << chunk << ": " << bytes.toStdString();
    }
    // The generator must keep producing all three kinds, or the comparison proves little.
    EXPECT_GT(outcomes[int(Outcome::Text)], 5000);
    EXPECT_GT(outcomes[int(Outcome::NotAnObject)], 5000);
    EXPECT_GT(outcomes[int(Outcome::TextNotString)], 500);
}

// Serves its bytes, then fails the way a disk does.
class FailingDevice : public QIODevice {
public:
    explicit FailingDevice(QByteArray bytes) : m_bytes(std::move(bytes)) {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (m_offset == m_bytes.size()) {
            setErrorString(u"Ошибка ввода-вывода"_s);
            return -1;
        }
        const qint64 count = qMin(maxSize, m_bytes.size() - m_offset);
        std::memcpy(data, m_bytes.constData() + m_offset, size_t(count));
        m_offset += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_offset = 0;
};

TEST(ChatTextScanner, ReportsReadFailuresWithTheSystemText) {
    for (const QByteArray& start : {chat(R"([{"text":"x"}])").chopped(2), QByteArray("{,")}) {
        FailingDevice device(start);
        ChatTextScanner scanner(4);
        EXPECT_EQ(scanner.scan(device), Outcome::ReadFailed) << start.toStdString();
        EXPECT_EQ(scanner.errorText(), u"Ошибка ввода-вывода"_s);
    }

    QTemporaryDir folder;
    ChatTextScanner scanner;
    EXPECT_EQ(scanner.scanFile(folder.filePath(u"missing.json"_s)), Outcome::ReadFailed);
    EXPECT_FALSE(scanner.errorText().isEmpty());
}

TEST(ChatTextScanner, ReadsFilesAndStartsAfreshForEachOne) {
    QTemporaryDir folder;
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    // A payload far larger than one chunk, with the text after it.
    QByteArray payload;
    for (int i = 0; i < 200000; ++i)
        payload += "QUJD\\/+==";
    const QString big = write(u"big.json"_s, bom() + chat(R"([{"inline_data":{"data":")" + payload +
                                                          R"("}},{"text":"end"}])"));
    const QString small = write(u"small.json"_s, chat(R"([{"text":"\u0414\u0430"}])"));
    const QString broken = write(u"broken.json"_s, chat(R"([{"text":"x"])"));

    ChatTextScanner scanner(64 * 1024);
    ASSERT_EQ(scanner.scanFile(big), Outcome::Text);
    EXPECT_EQ(scanner.text().toString(), u"  end"_s);
    ASSERT_EQ(scanner.scanFile(small), Outcome::Text);
    EXPECT_EQ(scanner.text().toString(), u" Да"_s);
    EXPECT_EQ(scanner.scanFile(broken), Outcome::NotAnObject);
    EXPECT_TRUE(scanner.errorText().isEmpty());
}

} // namespace
