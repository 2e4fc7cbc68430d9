#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "recordtablestorage.h"

// Ordering the rows of a record table by one column's key: the sort behind
// the store's permutations and the comparisons it shares with them.
namespace ColumnSort
{
    inline constexpr uint64_t kSortSignBit = uint64_t(1) << 63;

    // Order-preserving unsigned key of a numeric cell. Unset cells hold 0 and
    // sort as 0, as they compare everywhere else.
    inline uint64_t numericSortKey(const RecordTableStorage::Column &c, uint32_t row)
    {
        if (c.type == FieldType::R8) {
            double v = c.number(row);
            if (v == 0)
                v = 0; // -0 and 0 are one key
            const uint64_t bits = std::bit_cast<uint64_t>(v);
            return (bits & kSortSignBit) ? ~bits : (bits | kSortSignBit);
        }
        return uint64_t(c.integer(row)) ^ kSortSignBit;
    }

    // Texts compared by their bytes, a shorter text before a longer one that
    // starts with it.
    inline int compareBytes(const char *a, uint32_t la, const char *b, uint32_t lb)
    {
        // Texts of a column with no text at all have no bytes behind them:
        // memcmp must not see their null pointers, even for zero bytes.
        const uint32_t common = std::min(la, lb);
        const int c = common ? std::memcmp(a, b, common) : 0;
        if (c != 0)
            return c;
        return la < lb ? -1 : (la > lb ? 1 : 0);
    }

    // Puts `rows` into the order of the column's key, equal keys by row
    // number. Text keys are compared folded when caseInsensitive (the
    // column's folded copy must exist then). A large text column is sorted
    // on two cores.
    void sortRows(const RecordTableStorage::Column &column, bool caseInsensitive, std::vector<uint32_t> &rows);
}
