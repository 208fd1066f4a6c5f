#include "markdown/MarkdownScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Inline tokens start only in these ranges: '!'..'.', '<'..'>', '['..'`' and '~'.
bool isPunctuation(char16_t u) {
    return (u >= 0x21 && u <= 0x2E) || (u >= 0x3C && u <= 0x3E) || (u >= 0x5B && u <= 0x60) ||
           u == 0x7E;
}

#if defined(__SSE2__)
// Lanes whose unsigned value lies in [low, high].
__m128i inRange(__m128i v, char16_t low, char16_t high) {
    const __m128i shifted = _mm_sub_epi16(v, _mm_set1_epi16(short(low)));
    const __m128i above = _mm_subs_epu16(shifted, _mm_set1_epi16(short(high - low)));
    return _mm_cmpeq_epi16(above, _mm_setzero_si128());
}

__m128i load(const char16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

const char16_t* firstLane(const char16_t* p, int mask) {
    return p + __builtin_ctz(unsigned(mask)) / 2;
}
#endif

} // namespace

const char16_t* findControl(const char16_t* p, const char16_t* end) {
#if defined(__SSE2__)
    for (; end - p >= 8; p += 8) {
        const int mask = _mm_movemask_epi8(inRange(load(p), 0, '\r'));
        if (mask)
            return firstLane(p, mask);
    }
#endif
    while (p<end&& * p> '\r')
        ++p;
    return p;
}

const char16_t* findPunctuation(const char16_t* p, const char16_t* end) {
#if defined(__SSE2__)
    for (; end - p >= 8; p += 8) {
        const __m128i v = load(p);
        const __m128i hits = _mm_or_si128(
            _mm_or_si128(inRange(v, 0x21, 0x2E), inRange(v, 0x3C, 0x3E)),
            _mm_or_si128(inRange(v, 0x5B, 0x60), _mm_cmpeq_epi16(v, _mm_set1_epi16(0x7E))));
        const int mask = _mm_movemask_epi8(hits);
        if (mask)
            return firstLane(p, mask);
    }
#endif
    while (p < end && !isPunctuation(*p))
        ++p;
    return p;
}
