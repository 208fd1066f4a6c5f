#include "markdown/MarkdownSource.h"

#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace Qt::StringLiterals;

namespace {

bool isNonCharacter(char32_t c) {
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

// Strict UTF-8 decoded a piece at a time straight into a buffer, lines joined on the way.
// It gives up on whatever it leaves to QStringDecoder (a malformed sequence, a noncharacter, a
// leading byte-order mark); every character it takes decodes to the same code units there.
// The buffer needs room for one code unit per byte plus the closing line break.
class StrictDecoder {
public:
    StrictDecoder(QChar* out, bool joinLines)
        : m_begin(reinterpret_cast<char16_t*>(out)), m_dst(m_begin), m_joinLines(joinLines) {}

    // Decodes [p, end); returns how many bytes at the end start a character that goes on in
    // the next piece, or -1 when it gives up.
    int decode(const unsigned char* p, const unsigned char* end);
    // The closing line break when joining; the number of code units written.
    qsizetype finish();

private:
    char16_t* const m_begin;
    char16_t* m_dst;
    const bool m_joinLines;
    bool m_afterCr = false; // the last piece ended with a CR, whose LF may open this one
};

int StrictDecoder::decode(const unsigned char* p, const unsigned char* const end) {
    if (m_afterCr && p < end && *p == '\n')
        ++p;
    m_afterCr = false;
    char16_t* dst = m_dst;
    while (p < end) {
#if defined(__SSE2__)
        // Sixteen bytes at once, kept up to the first that is not ASCII or is a CR to rewrite.
        // The widened bytes always fit: dst never runs ahead of p.
        const __m128i zero = _mm_setzero_si128();
        const __m128i cr = _mm_set1_epi8('\r');
        while (end - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            int stop = _mm_movemask_epi8(v);
            if (m_joinLines)
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
            if (b == '\r' && m_joinLines) {
                if (p == end)
                    m_afterCr = true;
                else if (*p == '\n')
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
            return -1;
        }
        if (end - p <= more) {
            m_dst = dst;
            return int(end - p);
        }
        for (int i = 1; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return -1;
            c = c << 6 | (p[i] & 0x3F);
        }
        const bool overlong = (more == 2 && c < 0x800) || (more == 3 && c < 0x10000);
        if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF || isNonCharacter(c) ||
            (c == 0xFEFF && dst == m_begin))
            return -1;
        if (c >= 0x10000) {
            *dst++ = char16_t(0xD800 | ((c - 0x10000) >> 10));
            *dst++ = char16_t(0xDC00 | (c & 0x3FF));
        } else {
            *dst++ = char16_t(c);
        }
        p += more + 1;
    }
    m_dst = dst;
    return 0;
}

qsizetype StrictDecoder::finish() {
    if (m_joinLines && m_dst != m_begin && m_dst[-1] != u'\n')
        *m_dst++ = u'\n';
    return m_dst - m_begin;
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
    QString text(bytes.size() + 1, Qt::Uninitialized);
    StrictDecoder decoder(text.data(), joinLines);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (decoder.decode(p, p + bytes.size()) != 0)
        return decodeSource(bytes, QStringConverter::Utf8, joinLines);
    text.truncate(decoder.finish());
    return text;
}

std::optional<QString> readUtf8Source(QIODevice& device, bool joinLines, qsizetype pieceSize) {
    const qint64 start = device.pos();
    const qint64 size = device.size() - start;
    if (device.isSequential() || size <= 0)
        return decodeUtf8Source(device.readAll(), joinLines);
    QString text(qsizetype(size) + 1, Qt::Uninitialized);
    StrictDecoder decoder(text.data(), joinLines);
    // A piece and the start of a character cut off at the end of the one before.
    QByteArray buffer(pieceSize + 3, Qt::Uninitialized);
    auto* const data = reinterpret_cast<unsigned char*>(buffer.data());
    qint64 total = 0;
    int carried = 0;
    bool whole = true;
    while (whole && total < size) {
        const qint64 got = device.read(buffer.data() + carried, std::min(pieceSize, size - total));
        if (got <= 0)
            break;
        total += got;
        const int left = decoder.decode(data, data + carried + got);
        whole = left >= 0;
        if (whole)
            std::memmove(data, data + carried + got - left, std::size_t(left));
        carried = std::max(left, 0);
    }
    // Whatever the strict reading did not finish (a file that changed size, bytes it leaves
    // to QStringDecoder) is read again as a whole.
    char extra = 0;
    if (!whole || carried != 0 || total != size || device.read(&extra, 1) != 0) {
        if (!device.seek(start))
            return std::nullopt;
        return decodeUtf8Source(device.readAll(), joinLines);
    }
    text.truncate(decoder.finish());
    return text;
}
