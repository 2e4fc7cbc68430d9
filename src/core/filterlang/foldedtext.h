#pragma once

#include <cstddef>

#include "cp1251.h"

// Comparisons of stored Windows-1251 bytes with a needle that is folded
// already (Cp1251::folded), letter case ignored without a folded copy of the
// text: a stored byte matches a needle byte when it folds to it.
namespace FoldedText
{
    // Bytes k..m-1 of the text fold to the needle's.
    inline bool equalFrom(const char *text, const char *needle, size_t k, size_t m, const unsigned char *fold)
    {
        for (; k < m; ++k)
            if (fold[static_cast<unsigned char>(text[k])] != static_cast<unsigned char>(needle[k]))
                return false;
        return true;
    }

    // The first m bytes of the text fold to the needle's.
    inline bool equal(const char *text, const char *needle, size_t m)
    {
        return equalFrom(text, needle, 0, m, Cp1251::foldTable());
    }

    // First place in hay (n bytes) where the text folds to the needle
    // (m bytes), or null.
    const char *search(const char *hay, size_t n, const char *needle, size_t m);

    // The folded text against the needle: negative, 0 or positive as the
    // folded bytes compare.
    int compare(const char *text, size_t lt, const char *needle, size_t ln);
}
