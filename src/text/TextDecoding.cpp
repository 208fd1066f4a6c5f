#include "text/TextDecoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
constexpr char kUtf16LEMark[] = "\xFF\xFE";
constexpr char kUtf16BEMark[] = "\xFE\xFF";
// Qt reaches this code page through ICU.
constexpr char kLegacyCodePage[] = "windows-1251";

struct MarkInfo {
    TextEncoding encoding;
    QByteArrayView bytes;
};

const MarkInfo kMarks[] = {
    {TextEncoding::Utf8, QByteArrayView(kUtf8Mark)},
    {TextEncoding::Utf16LE, QByteArrayView(kUtf16LEMark)},
    {TextEncoding::Utf16BE, QByteArrayView(kUtf16BEMark)},
};

// Marks are handled here, so the converters take every byte literally.
constexpr auto kLiteral =
    QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

QStringDecoder decoderFor(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringDecoder(QStringConverter::Utf8, kLiteral);
    case TextEncoding::Utf16LE:
        return QStringDecoder(QStringConverter::Utf16LE, kLiteral);
    case TextEncoding::Utf16BE:
        return QStringDecoder(QStringConverter::Utf16BE, kLiteral);
    case TextEncoding::Windows1251:
        return QStringDecoder(kLegacyCodePage, kLiteral);
    }
    Q_UNREACHABLE();
}

QStringEncoder encoderFor(TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringEncoder(QStringConverter::Utf8, kLiteral);
    case TextEncoding::Utf16LE:
        return QStringEncoder(QStringConverter::Utf16LE, kLiteral);
    case TextEncoding::Utf16BE:
        return QStringEncoder(QStringConverter::Utf16BE, kLiteral);
    case TextEncoding::Windows1251:
        return QStringEncoder(kLegacyCodePage, kLiteral);
    }
    Q_UNREACHABLE();
}

QByteArrayView markOf(TextEncoding encoding) {
    for (const MarkInfo& mark : kMarks) {
        if (mark.encoding == encoding)
            return mark.bytes;
    }
    return {};
}

} // namespace

DecodedText DecodeText(QByteArrayView bytes, ByteOrderMark mark) {
    for (const MarkInfo& known : kMarks) {
        if (!bytes.startsWith(known.bytes))
            continue;
        QStringDecoder decoder = decoderFor(known.encoding);
        const QByteArrayView body =
            mark == ByteOrderMark::Keep ? bytes : bytes.sliced(known.bytes.size());
        return {QString(decoder.decode(body)), {known.encoding, true}};
    }
    const TextEncoding encoding =
        bytes.isValidUtf8() ? TextEncoding::Utf8 : TextEncoding::Windows1251;
    QStringDecoder decoder = decoderFor(encoding);
    return {QString(decoder.decode(bytes)), {encoding, false}};
}

std::optional<QByteArray> EncodeText(QStringView text, TextFormat format) {
    QStringEncoder encoder = encoderFor(format.encoding);
    const QByteArray body = encoder.encode(text);
    // A round trip catches every character the encoding has no place for, whatever
    // substitute the converter chose.
    QStringDecoder decoder = decoderFor(format.encoding);
    if (encoder.hasError() || QString(decoder.decode(body)) != text)
        return std::nullopt;
    if (!format.hadMark)
        return body;
    return markOf(format.encoding).toByteArray() + body;
}
