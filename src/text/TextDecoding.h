#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// The encodings text files of this program come in. Files without a byte-order mark
// are UTF-8 when their bytes are valid UTF-8, otherwise the users' legacy code page.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1251 };

// How a file's text was stored, so that it can be written back the same way.
struct TextFormat {
    TextEncoding encoding = TextEncoding::Utf8;
    bool hadMark = false;

    friend bool operator==(const TextFormat&, const TextFormat&) = default;
};

struct DecodedText {
    QString text;
    TextFormat format;
};

// Whether a byte-order mark found at the start stays in the text as U+FEFF.
enum class ByteOrderMark { Drop, Keep };

// Decodes a whole file's bytes, choosing the encoding by its byte-order mark
// (UTF-8, UTF-16 LE, UTF-16 BE) or, without one, by whether the bytes are valid UTF-8.
DecodedText DecodeText(QByteArrayView bytes, ByteOrderMark mark = ByteOrderMark::Drop);

// The bytes of `text` in `format`, the mark included when the format has one;
// nothing when the encoding cannot hold every character of the text.
std::optional<QByteArray> EncodeText(QStringView text, TextFormat format);
