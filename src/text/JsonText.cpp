#include "text/JsonText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QJsonParseError>
#include <QVariant>

#include <array>
#include <cstring>
#include <utility>

namespace {

// Code units below 256 that are written as themselves: printable ASCII except the
// quotation mark, the backslash and the solidus.
constexpr std::array<bool, 256> kPlain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c)
        table[c] = true;
    table['"'] = table['\\'] = table['/'] = false;
    return table;
}();

template <typename Unit> bool isPlain(Unit unit) {
    if constexpr (sizeof(Unit) == 1)
        return kPlain[unit];
    else
        return unit < 0x80 && kPlain[unit];
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

char* writeEscape(unsigned unit, char* out) {
    *out++ = '\\';
    switch (unit) {
    case '"': *out++ = '"'; return out;
    case '\\': *out++ = '\\'; return out;
    case '/': *out++ = '/'; return out;
    case 0x08: *out++ = 'b'; return out;
    case 0x09: *out++ = 't'; return out;
    case 0x0A: *out++ = 'n'; return out;
    case 0x0C: *out++ = 'f'; return out;
    case 0x0D: *out++ = 'r'; return out;
    default:
        *out++ = 'u';
        *out++ = kHexDigits[(unit >> 12) & 0xF];
        *out++ = kHexDigits[(unit >> 8) & 0xF];
        *out++ = kHexDigits[(unit >> 4) & 0xF];
        *out++ = kHexDigits[unit & 0xF];
        return out;
    }
}

// Escapes one block of units into `out`, which has room for six bytes per unit.
// Runs of plain ASCII are copied in one go, which is what keeps Base64 payloads fast.
template <typename Unit> char* writeEscapedBlock(const Unit* units, qsizetype count, char* out) {
    qsizetype i = 0;
    while (i < count) {
        const qsizetype runStart = i;
        while (i < count && isPlain(units[i]))
            ++i;
        if constexpr (sizeof(Unit) == 1) {
            std::memcpy(out, units + runStart, size_t(i - runStart));
            out += i - runStart;
        } else {
            for (qsizetype k = runStart; k < i; ++k)
                *out++ = char(units[k]);
        }
        if (i < count)
            out = writeEscape(unsigned(units[i++]), out);
    }
    return out;
}

// Appends the escaped units block by block, so a 100 MB string never needs
// six times its size in spare room.
template <typename Unit> void appendEscaped(QByteArray& text, const Unit* units, qsizetype count) {
    constexpr qsizetype kBlock = 64 * 1024;
    constexpr qsizetype kMaxEscapedUnit = 6;
    // Most text needs few escapes: room for all of it plus some, grown only when needed.
    const qsizetype expected = text.size() + count + count / 16 + kBlock * kMaxEscapedUnit;
    if (text.capacity() < expected)
        text.reserve(expected);
    for (qsizetype done = 0; done < count;) {
        const qsizetype block = qMin(kBlock, count - done);
        const qsizetype oldSize = text.size();
        text.resize(oldSize + block * kMaxEscapedUnit);
        char* const start = text.data() + oldSize;
        char* const end = writeEscapedBlock(units + done, block, start);
        text.resize(oldSize + (end - start));
        done += block;
    }
}

} // namespace

JsonWriter& JsonWriter::beginObject() {
    open('{');
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    close('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    open('[');
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    close(']');
    return *this;
}

JsonWriter& JsonWriter::key(QLatin1StringView name) {
    beforeValue();
    m_text.append('"');
    appendEscaped(m_text, reinterpret_cast<const uchar*>(name.data()), name.size());
    m_text.append("\":", 2);
    m_afterKey = true;
    return *this;
}

JsonWriter& JsonWriter::string(QStringView text) {
    beforeValue();
    m_text.append('"');
    appendEscaped(m_text, text.utf16(), text.size());
    m_text.append('"');
    return *this;
}

JsonWriter& JsonWriter::latin1String(QByteArrayView text) {
    beforeValue();
    m_text.append('"');
    appendEscaped(m_text, reinterpret_cast<const uchar*>(text.data()), text.size());
    m_text.append('"');
    return *this;
}

JsonWriter& JsonWriter::integer(qint64 value) {
    beforeValue();
    m_text.append(QByteArray::number(value));
    return *this;
}

JsonWriter& JsonWriter::numberLiteral(QLatin1StringView literal) {
    beforeValue();
    m_text.append(literal.data(), literal.size());
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    beforeValue();
    m_text.append(value ? QByteArrayView("true") : QByteArrayView("false"));
    return *this;
}

JsonWriter& JsonWriter::null() {
    beforeValue();
    m_text.append("null", 4);
    return *this;
}

JsonWriter& JsonWriter::rawMember(QByteArrayView member) {
    Q_ASSERT(!m_afterKey);
    beforeValue();
    m_text.append(member);
    return *this;
}

JsonWriter& JsonWriter::rawValue(QByteArrayView value) {
    beforeValue();
    m_text.append(value);
    return *this;
}

JsonWriter& JsonWriter::value(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::Object: {
        beginObject();
        const QJsonObject object = value.toObject();
        for (auto member = object.constBegin(); member != object.constEnd(); ++member) {
            const QString name = member.key();
            beforeValue();
            m_text.append('"');
            appendEscaped(m_text, name.utf16(), name.size());
            m_text.append("\":", 2);
            m_afterKey = true;
            this->value(member.value());
        }
        return endObject();
    }
    case QJsonValue::Array:
        beginArray();
        for (const QJsonValue& element : value.toArray())
            this->value(element);
        return endArray();
    case QJsonValue::String:
        return string(value.toString());
    case QJsonValue::Bool:
        return boolean(value.toBool());
    case QJsonValue::Double: {
        const QString number = JsonValueAsString(value).value_or(QStringLiteral("0"));
        return numberLiteral(QLatin1StringView(number.toLatin1()));
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return null();
}

void JsonWriter::reserve(qsizetype bytes) {
    m_text.reserve(bytes);
}

QByteArray JsonWriter::take() {
    m_firstInContainer.clear();
    m_afterKey = false;
    return std::exchange(m_text, QByteArray());
}

void JsonWriter::beforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_firstInContainer.isEmpty())
        return;
    if (m_firstInContainer.last())
        m_firstInContainer.last() = false;
    else
        m_text.append(',');
}

void JsonWriter::open(char bracket) {
    beforeValue();
    m_text.append(bracket);
    m_firstInContainer.append(true);
}

void JsonWriter::close(char bracket) {
    Q_ASSERT(!m_firstInContainer.isEmpty() && !m_afterKey);
    m_firstInContainer.removeLast();
    m_text.append(bracket);
}

std::optional<QJsonValue> ParseJsonText(QByteArrayView text) {
    static constexpr QByteArrayView kUtf8Bom("\xEF\xBB\xBF");
    if (text.startsWith(kUtf8Bom))
        text = text.sliced(kUtf8Bom.size());
    QJsonParseError error;
    // fromJson copies nothing it does not need; the view only lives for this call.
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromRawData(text.data(), text.size()), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    if (document.isObject())
        return QJsonValue(document.object());
    if (document.isArray())
        return QJsonValue(document.array());
    return std::nullopt;
}

std::optional<QString> JsonValueAsString(const QJsonValue& value) {
    switch (value.type()) {
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Null:
        return QString();
    case QJsonValue::Double: {
        const QVariant number = value.toVariant();
        if (number.typeId() == QMetaType::LongLong)
            return QString::number(number.toLongLong());
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    }
    case QJsonValue::Object:
    case QJsonValue::Array:
    case QJsonValue::Undefined:
        break;
    }
    return std::nullopt;
}
