#include "MarkdownSource.h"

#include <QStringDecoder>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

bool isNonCharacter(char32_t c) {
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// Decodes strict UTF-8 straight into out, joining lines on the way. Gives up (false) on
// whatever it leaves to QStringDecoder: a malformed sequence, a noncharacter, a leading
// byte-order mark. Every character it takes decodes to the same code units there.
bool decodeStrict(QByteArrayView bytes, bool joinLines, QString& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char* const end = p + bytes.size();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return false;
    // Never more code units than bytes, and room for the closing line break.
    out = QString(bytes.size() + 1, Qt::Uninitialized);
    auto* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* dst = begin;
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at once, kept up to the first that is not ASCII or is a CR to rewrite.
        // The widened bytes always fit: dst never runs ahead of p.
        const __m128i zero = _mm_setzero_si128();
        const __m128i cr = _mm_set1_epi8('\r');
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            int stop = _mm_movemask_epi8(v);
            if (joinLines)
                stop |= _mm_movemask_epi8(_mm_cmpeq_epi8(v, cr));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(v, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(v, zero));
            const int kept = stop ? __builtin_ctz(unsigned(stop)) : 16;
            p += kept;
            dst += kept;
            if (stop)
                break;
        }
        if (p == end)
            break;
#endif
        const unsigned char b = *p;
        if (b < 0x80) {
            ++p;
            if (b == '\r' && joinLines) {
                if (p < end && *p == '\n')
                    ++p;
                *dst++ = u'\n';
            } else {
                *dst++ = b;
            }
            continue;
        }
        int more = 0;
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            more = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            more = 2;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            more = 3;
            c = b & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            c = c << 6 | (p[i] & 0x3F);
        }
        const bool overlong = (more == 2 && c < 0x800) || (more == 3 && c < 0x10000);
        if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || isNonCharacter(c))
            return false;
        if (c >= 0x10000) {
            *dst++ = char16_t(0xD800 | ((c - 0x10000) >> 10));
            *dst++ = char16_t(0xDC00 | (c & 0x3FF));
        } else {
            *dst++ = char16_t(c);
        }
        p += more + 1;
    }
    if (joinLines && dst != begin && dst[-1] != u'\n')
        *dst++ = u'\n';
    out.truncate(dst - begin);
    return true;
}

} // namespace

std::optional<QString> decodeSource(QByteArrayView bytes, QStringConverter::Encoding encoding,
                                    bool joinLines) {
    // Stateless: the bytes are the whole text, so a sequence cut off at the end is an error
    // rather than the start of a next piece that never comes.
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    if (joinLines) {
        text.replace(u"\r\n"_s, u"\n"_s);
        text.replace(u'\r', u'\n');
        if (!text.isEmpty() && !text.endsWith(u'\n'))
            text += u'\n';
    }
    return text;
}

std::optional<QString> decodeUtf8Source(QByteArrayView bytes, bool joinLines) {
    QString text;
    if (decodeStrict(bytes, joinLines, text))
        return text;
    return decodeSource(bytes, QStringConverter::Utf8, joinLines);
}
