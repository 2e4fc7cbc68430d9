#include "foldedtext.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
    // The capital partner of every byte (the byte itself when it has none):
    // each small letter has exactly one capital in the code page.
    struct CaseTables
    {
        const unsigned char *fold = Cp1251::foldTable();
        unsigned char capital[256];

        CaseTables()
        {
            for (int b = 0; b < 256; ++b)
                capital[b] = static_cast<unsigned char>(b);
            for (int b = 0; b < 256; ++b)
                if (fold[b] != b)
                    capital[fold[b]] = static_cast<unsigned char>(b);
        }
    };

    const CaseTables &caseTables()
    {
        static const CaseTables tables;
        return tables;
    }
}

// Candidates are the places where the first and the last byte match in
// either case, sixteen places at a time.
const char *FoldedText::search(const char *hay, size_t n, const char *needle, size_t m)
{
    if (m == 0)
        return hay;
    if (m > n)
        return nullptr;
    const CaseTables &t = caseTables();
    const auto first = static_cast<unsigned char>(needle[0]);
    const auto last = static_cast<unsigned char>(needle[m - 1]);
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i first1 = _mm_set1_epi8(char(first));
    const __m128i first2 = _mm_set1_epi8(char(t.capital[first]));
    const __m128i last1 = _mm_set1_epi8(char(last));
    const __m128i last2 = _mm_set1_epi8(char(t.capital[last]));
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + m - 1));
        const __m128i fa = _mm_or_si128(_mm_cmpeq_epi8(a, first1), _mm_cmpeq_epi8(a, first2));
        const __m128i fb = _mm_or_si128(_mm_cmpeq_epi8(b, last1), _mm_cmpeq_epi8(b, last2));
        unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(fa, fb)));
        while (mask) {
            const unsigned bit = unsigned(std::countr_zero(mask));
            if (m <= 2 || equalFrom(hay + i + bit, needle, 1, m - 1, t.fold))
                return hay + i + bit;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i) {
        if (t.fold[static_cast<unsigned char>(hay[i])] == first
            && t.fold[static_cast<unsigned char>(hay[i + m - 1])] == last
            && (m <= 2 || equalFrom(hay + i, needle, 1, m - 1, t.fold)))
            return hay + i;
    }
    return nullptr;
}

int FoldedText::compare(const char *text, size_t lt, const char *needle, size_t ln)
{
    const unsigned char *fold = Cp1251::foldTable();
    const size_t k = std::min(lt, ln);
    for (size_t i = 0; i < k; ++i) {
        const int a = fold[static_cast<unsigned char>(text[i])];
        const int b = static_cast<unsigned char>(needle[i]);
        if (a != b)
            return a - b;
    }
    return lt < ln ? -1 : (lt > ln ? 1 : 0);
}
