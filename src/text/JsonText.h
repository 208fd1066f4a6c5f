#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Writes JSON in the program's one text form: compact, members in the order written,
// and pure ASCII (every character above U+007F, the solidus and the control characters
// escaped, hexadecimal digits in upper case). Commas are placed by the writer.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();

    // Member name; the value written next belongs to it.
    JsonWriter& key(QLatin1StringView name);

    JsonWriter& string(QStringView text);
    // A string held as bytes, each byte one character (Base64 payloads, Latin-1 text).
    JsonWriter& latin1String(QByteArrayView text);
    JsonWriter& integer(qint64 value);
    // A number written exactly as given, for the few fixed fractional values.
    JsonWriter& numberLiteral(QLatin1StringView literal);
    JsonWriter& boolean(bool value);
    JsonWriter& null();
    // A whole member, "name":value, written exactly as given.
    JsonWriter& rawMember(QByteArrayView member);
    // A value already in this text form, written as given.
    JsonWriter& rawValue(QByteArrayView value);
    // Any parsed value, written in this text form; numbers without a fraction as integers.
    JsonWriter& value(const QJsonValue& value);

    // Reserves room ahead when the caller knows roughly how long the text will be.
    void reserve(qsizetype bytes);

    const QByteArray& text() const { return m_text; }
    QByteArray take();

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    QByteArray m_text;
    // One flag per open container: true until its first element is written.
    QList<bool> m_firstInContainer;
    bool m_afterKey = false;
};

// Parses a JSON text, tolerating a UTF-8 byte-order mark and whitespace around tokens.
// Gives the top-level object or array, or nothing when the text is not valid JSON.
std::optional<QJsonValue> ParseJsonText(QByteArrayView text);

// A member read "as a string": strings give their text, numbers their decimal text,
// true/false give "true"/"false", null gives an empty string. Objects, arrays and
// absent members are not strings and give nothing.
std::optional<QString> JsonValueAsString(const QJsonValue& value);
