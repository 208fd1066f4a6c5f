#include "store/ChatTextScanner.h"

#include "store/ChatFile.h"
#include "text/JsonText.h"
#include "text/RegularFile.h"

#include <QFile>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonValue>

#include <array>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The grammar below is the one Qt's JSON parser accepts, which is a little wider than
// the standard: raw control characters inside strings, a backslash before any other
// character standing for that character (a byte above 0x7F for the Latin-1 character),
// numbers such as ".5" or "1." that QByteArray::toDouble accepts, at most 1024 nested
// containers, and of duplicate members the last one. ParseJsonText removes one
// byte-order mark and the parser a second one when something follows it.

namespace {

using Outcome = ChatTextScanner::Outcome;

constexpr int kMaxDepth = 1024;

// Bytes inside a string that need no attention: ASCII except the quote and the backslash.
constexpr std::array<bool, 256> kStringPlain = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x80; ++c)
        table[c] = true;
    table['"'] = table['\\'] = false;
    return table;
}();

constexpr std::array<signed char, 256> kHexValue = [] {
    std::array<signed char, 256> table{};
    table.fill(-1);
    for (int c = 0; c < 10; ++c)
        table['0' + c] = static_cast<signed char>(c);
    for (int c = 0; c < 6; ++c) {
        table['a' + c] = static_cast<signed char>(10 + c);
        table['A' + c] = static_cast<signed char>(10 + c);
    }
    return table;
}();

bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(int c) {
    return c >= '0' && c <= '9';
}

bool isBom(const char* p) {
    return std::memcmp(p, "\xEF\xBB\xBF", 3) == 0;
}

// The first byte from p on that ends a plain run inside a string, or end. Base64
// payloads are almost all plain, so this loop is where big files spend their time.
const char* skipPlain(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    while (end - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i special = _mm_or_si128(
            bytes, _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, backslash)));
        // The sign bit marks a quote, a backslash or a byte above 0x7F.
        const unsigned mask = unsigned(_mm_movemask_epi8(special));
        if (mask != 0)
            return p + std::countr_zero(mask);
        p += 16;
    }
#endif
    while (p < end && kStringPlain[uchar(*p)])
        ++p;
    return p;
}

char16_t shortEscape(uchar kind) {
    switch (kind) {
    case 'b':
        return 0x08;
    case 'f':
        return 0x0C;
    case 'n':
        return 0x0A;
    case 'r':
        return 0x0D;
    case 't':
        return 0x09;
    default:
        return kind;
    }
}

// UTF-16 text grown in place: the buffer only grows, the size says how much counts.
class Utf16Sink {
public:
    Utf16Sink(QString& buffer, qsizetype& size) : m_buffer(buffer), m_size(size) {}

    qsizetype size() const { return m_size; }
    void truncate(qsizetype size) { m_size = size; }

    void append(char16_t unit) {
        *room(1) = unit;
        ++m_size;
    }

    void appendAscii(const char* bytes, qsizetype count) {
        if (count == 0)
            return;
        char16_t* out = room(count);
        for (qsizetype i = 0; i < count; ++i)
            out[i] = uchar(bytes[i]);
        m_size += count;
    }

    void append(QStringView text) {
        std::memcpy(room(text.size()), text.utf16(), size_t(text.size()) * sizeof(char16_t));
        m_size += text.size();
    }

private:
    char16_t* room(qsizetype count) {
        if (m_buffer.size() - m_size < count)
            m_buffer.resize(qMax(m_size + count, m_buffer.size() * 2));
        return reinterpret_cast<char16_t*>(m_buffer.data()) + m_size;
    }

    QString& m_buffer;
    qsizetype& m_size;
};

// What a container is to the gathering: only these levels hold text that counts.
enum class Role { Skip, Top, Title, Contents, Message, Parts, Part };

class Parser {
public:
    // Reads from device in chunks, or, without one, the bytes of the view alone.
    Parser(QIODevice* device, QByteArrayView bytes, qsizetype chunkSize, QByteArray& buffer,
           QByteArray& numberText, Utf16Sink text, Utf16Sink title)
        : m_device(device), m_chunkSize(chunkSize), m_buffer(buffer), m_numberText(numberText),
          m_text(text), m_title(title), m_key(m_keyBuffer, m_keySize) {
        if (m_device) {
            // Room for a token's unread start in front of every chunk.
            if (m_buffer.size() < m_chunkSize + 16)
                m_buffer.resize(m_chunkSize + 16);
            m_p = m_end = m_buffer.constData();
        } else {
            m_p = bytes.data();
            m_end = m_p + bytes.size();
        }
    }

    Outcome run() {
        const bool valid = document();
        if (!valid)
            drain();
        if (m_readFailed)
            return Outcome::ReadFailed;
        if (!valid || !m_isObject)
            return Outcome::NotAnObject;
        return m_textNotString ? Outcome::TextNotString : Outcome::Text;
    }

private:
    struct Mark {
        qsizetype size;
        bool textNotString;
    };

    // Makes at least `need` bytes available from m_p on; false when the input ends first.
    bool fill(qsizetype need) {
        while (m_end - m_p < need) {
            if (!m_device || m_atEnd)
                return false;
            const qsizetype tail = m_end - m_p;
            char* base = m_buffer.data();
            std::memmove(base, m_p, size_t(tail));
            const qint64 got = m_device->read(base + tail, m_chunkSize);
            m_p = base;
            m_end = base + tail + qMax<qint64>(got, 0);
            if (got <= 0) {
                m_atEnd = true;
                m_readFailed = got < 0;
                return false;
            }
        }
        return true;
    }

    // The next byte, or -1 at the end of the input.
    int peek() {
        if (m_p == m_end && !fill(1))
            return -1;
        return uchar(*m_p);
    }

    // Reads the rest, so that a read failure after a syntax error is still seen.
    void drain() {
        m_p = m_end;
        while (fill(1))
            m_p = m_end;
    }

    int nextToken() {
        int c = peek();
        while (isSpace(c)) {
            ++m_p;
            c = peek();
        }
        return c;
    }

    bool document() {
        if (fill(3) && isBom(m_p))
            m_p += 3;
        if (fill(4) && isBom(m_p))
            m_p += 3;
        const int c = nextToken();
        if (c == '[') {
            // A valid array is skipped like invalid text, so it need not be read.
            m_isObject = false;
            return false;
        }
        if (c != '{')
            return false;
        ++m_p;
        m_isObject = true;
        return object(Role::Top, 1) && nextToken() == -1;
    }

    bool value(Role role, int depth) {
        switch (peek()) {
        case '{':
            ++m_p;
            return object(role, depth);
        case '[':
            ++m_p;
            return array(role, depth);
        case '"':
            ++m_p;
            return string<false>(nullptr);
        case 'n':
            return literal("null");
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        default:
            return number();
        }
    }

    bool object(Role role, int depth) {
        if (depth > kMaxDepth)
            return false;
        const Mark start = mark();
        bool hasText = false;
        int c = nextToken();
        if (c == '}') {
            ++m_p;
        } else {
            for (;;) {
                if (c != '"')
                    return false;
                ++m_p;
                Role member = Role::Skip;
                if (!(role == Role::Skip ? string<false>(nullptr) : memberName(role, member)))
                    return false;
                if (nextToken() != ':')
                    return false;
                ++m_p;
                if (nextToken() == -1)
                    return false;
                if (!memberValue(member, start, hasText, depth + 1))
                    return false;
                c = nextToken();
                if (c == '}') {
                    ++m_p;
                    break;
                }
                if (c != ',')
                    return false;
                ++m_p;
                c = nextToken();
            }
        }
        if (role == Role::Part && !hasText)
            m_text.append(u' ');
        return true;
    }

    // Reads a member name of a gathering level and tells what its value is to the
    // gathering: Contents, Parts, Part (the "text" value) or Skip. Names compare as
    // decoded, so an escaped "t\u0065xt" counts as "text".
    bool memberName(Role objectRole, Role& member) {
        m_key.truncate(0);
        if (!string<true>(&m_key))
            return false;
        const QStringView key(m_keyBuffer.constData(), m_key.size());
        if (objectRole == Role::Top && key == u"contents")
            member = Role::Contents;
        else if (objectRole == Role::Top && key == u"title")
            member = Role::Title;
        else if (objectRole == Role::Message && key == u"parts")
            member = Role::Parts;
        else if (objectRole == Role::Part && key == u"text")
            member = Role::Part;
        return true;
    }

    bool memberValue(Role member, Mark start, bool& hasText, int depth) {
        switch (member) {
        case Role::Contents:
        case Role::Parts:
            // Of duplicate members the last one counts: drop what an earlier one gave.
            restore(start);
            if (peek() == '[') {
                ++m_p;
                return array(member, depth);
            }
            return value(Role::Skip, depth);
        case Role::Part:
            restore(start);
            hasText = true;
            return textValue(depth);
        case Role::Title:
            // Only a string is a title, and of duplicates the last one counts.
            m_title.truncate(0);
            if (peek() == '"') {
                ++m_p;
                return string<true>(&m_title);
            }
            return value(Role::Skip, depth);
        default:
            return value(Role::Skip, depth);
        }
    }

    bool array(Role role, int depth) {
        if (depth > kMaxDepth)
            return false;
        const Role elementRole = role == Role::Contents ? Role::Message
                                 : role == Role::Parts  ? Role::Part
                                                        : Role::Skip;
        int c = nextToken();
        if (c == ']') {
            ++m_p;
            return true;
        }
        for (;;) {
            if (c == '{' && elementRole != Role::Skip) {
                ++m_p;
                if (!object(elementRole, depth + 1))
                    return false;
            } else if (!value(Role::Skip, depth + 1)) {
                return false;
            }
            c = nextToken();
            if (c == ']') {
                ++m_p;
                return true;
            }
            if (c != ',')
                return false;
            ++m_p;
            c = nextToken();
        }
    }

    // The value of a part's "text", read as a string after one space.
    bool textValue(int depth) {
        const int c = peek();
        if (c == '{' || c == '[') {
            m_textNotString = true;
            return value(Role::Skip, depth);
        }
        m_text.append(u' ');
        switch (c) {
        case '"':
            ++m_p;
            return string<true>(&m_text);
        case 'n':
            return literal("null");
        case 't':
            m_text.append(u"true");
            return literal("true");
        case 'f':
            m_text.append(u"false");
            return literal("false");
        default: {
            if (!number())
                return false;
            // How the parser stores a number (integer or double, and which doubles
            // read back as integers) decides its text; numbers here are rare enough
            // to ask the parser itself.
            const std::optional<QJsonValue> parsed = ParseJsonText("[" + m_numberText + "]");
            if (!parsed)
                return false;
            m_text.append(*JsonValueAsString(parsed->toArray().at(0)));
            return true;
        }
        }
    }

    bool literal(QByteArrayView word) {
        if (!fill(word.size()) || std::memcmp(m_p, word.data(), size_t(word.size())) != 0)
            return false;
        m_p += word.size();
        return true;
    }

    void takeNumberByte() {
        m_numberText.append(*m_p);
        ++m_p;
    }

    // Scans a number the way the parser does, then lets QByteArray judge its text,
    // which is left in m_numberText.
    bool number() {
        m_numberText.resize(0);
        bool isInteger = true;
        int c = peek();
        if (c == '-') {
            takeNumberByte();
            c = peek();
        }
        if (c == '0') {
            takeNumberByte();
        } else {
            while (isDigit(c)) {
                takeNumberByte();
                c = peek();
            }
        }
        if (peek() == '.') {
            takeNumberByte();
            while (isDigit(c = peek())) {
                isInteger = isInteger && c == '0';
                takeNumberByte();
            }
        }
        c = peek();
        if (c == 'e' || c == 'E') {
            isInteger = false;
            takeNumberByte();
            c = peek();
            if (c == '-' || c == '+')
                takeNumberByte();
            while (isDigit(peek()))
                takeNumberByte();
        }
        if (peek() == -1)
            return false;
        bool ok = false;
        if (isInteger)
            m_numberText.toLongLong(&ok);
        if (!ok)
            m_numberText.toDouble(&ok);
        return ok;
    }

    // Reads a string after its opening quote, through its closing quote.
    template <bool Keep> bool string(Utf16Sink* sink) {
        for (;;) {
            const char* run = m_p;
            m_p = skipPlain(m_p, m_end);
            if constexpr (Keep)
                sink->appendAscii(run, m_p - run);
            if (m_p == m_end) {
                if (!fill(1))
                    return false;
                continue;
            }
            const uchar c = uchar(*m_p);
            if (c == '"') {
                ++m_p;
                return true;
            }
            if (!(c == '\\' ? escape<Keep>(sink) : utf8Character<Keep>(sink)))
                return false;
        }
    }

    template <bool Keep> bool escape(Utf16Sink* sink) {
        if (!fill(2))
            return false;
        const uchar kind = uchar(m_p[1]);
        char16_t unit = 0;
        if (kind == 'u') {
            if (!fill(6))
                return false;
            for (int i = 2; i < 6; ++i) {
                const int digit = kHexValue[uchar(m_p[i])];
                if (digit < 0)
                    return false;
                unit = char16_t(unit << 4 | digit);
            }
            m_p += 6;
        } else {
            unit = shortEscape(kind);
            m_p += 2;
        }
        if constexpr (Keep)
            sink->append(unit);
        return true;
    }

    // One UTF-8 sequence of two to four bytes; overlong forms, surrogates and code
    // points above U+10FFFF are invalid.
    template <bool Keep> bool utf8Character(Utf16Sink* sink) {
        const uchar lead = uchar(*m_p);
        int length = 0;
        uchar low = 0x80;
        uchar high = 0xBF;
        char32_t code = 0;
        if (lead < 0xC2) {
            return false;
        } else if (lead < 0xE0) {
            length = 2;
            code = lead & 0x1F;
        } else if (lead < 0xF0) {
            length = 3;
            code = lead & 0x0F;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead < 0xF5) {
            length = 4;
            code = lead & 0x07;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (!fill(length))
            return false;
        for (int i = 1; i < length; ++i) {
            const uchar next = uchar(m_p[i]);
            if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF))
                return false;
            code = code << 6 | (next & 0x3F);
        }
        m_p += length;
        if constexpr (Keep) {
            if (code > 0xFFFF) {
                sink->append(char16_t(0xD7C0 + (code >> 10)));
                sink->append(char16_t(0xDC00 | (code & 0x3FF)));
            } else {
                sink->append(char16_t(code));
            }
        }
        return true;
    }

    Mark mark() const { return {m_text.size(), m_textNotString}; }

    void restore(Mark start) {
        m_text.truncate(start.size);
        m_textNotString = start.textNotString;
    }

    QIODevice* m_device;
    qsizetype m_chunkSize;
    QByteArray& m_buffer;
    QByteArray& m_numberText;
    Utf16Sink m_text;
    Utf16Sink m_title;
    QString m_keyBuffer;
    qsizetype m_keySize = 0;
    Utf16Sink m_key;
    const char* m_p = nullptr;
    const char* m_end = nullptr;
    bool m_atEnd = false;
    bool m_readFailed = false;
    bool m_isObject = false;
    bool m_textNotString = false;
};

} // namespace

ChatTextScanner::ChatTextScanner(qsizetype chunkSize)
    : m_chunkSize(qMax<qsizetype>(chunkSize, 1)) {}

ChatTextScanner::Outcome ChatTextScanner::scanFile(const QString& path) {
    QFile file(path);
    // What opening a chat refuses is not read here either. Unbuffered: the chunks go
    // straight into our buffer, with no second copy.
    if (Expected<void, FileReadFailure> opened =
            OpenRegularFile(file, kMaxChatFileSize, QIODevice::ReadOnly | QIODevice::Unbuffered);
        !opened) {
        m_errorText = opened.error().Reason;
        return Outcome::ReadFailed;
    }
    return scan(file);
}

ChatTextScanner::Outcome ChatTextScanner::scan(QIODevice& device) {
    m_textSize = 0;
    m_titleSize = 0;
    const Outcome outcome = Parser(&device, {}, m_chunkSize, m_buffer, m_numberText,
                                   Utf16Sink(m_text, m_textSize), Utf16Sink(m_title, m_titleSize))
                                .run();
    m_errorText = outcome == Outcome::ReadFailed ? device.errorString() : QString();
    return outcome;
}

ChatTextScanner::Outcome ChatTextScanner::scan(QByteArrayView bytes) {
    m_textSize = 0;
    m_titleSize = 0;
    m_errorText.clear();
    return Parser(nullptr, bytes, m_chunkSize, m_buffer, m_numberText,
                  Utf16Sink(m_text, m_textSize), Utf16Sink(m_title, m_titleSize))
        .run();
}
