#pragma once

#include <bit>
#include <cstdint>
#include <limits>

#include "fielddef.h"

// The key of a number as a cell of a numeric column holds it: the value
// itself for an integer column, the bits of the double for a float column
// (-0 and 0 share one key). False when no cell of that type can hold the
// value: a fraction, or a value out of the range of an integer column.
// The value indexes of the storage and the value sets of the filter
// language look values up by this key. Inline: both call it for every row.
inline bool valueKey(FieldType type, double value, uint64_t *key)
{
    if (type == FieldType::R8) {
        if (value == 0)
            value = 0;
        *key = std::bit_cast<uint64_t>(value);
        return true;
    }
    const double lo = type == FieldType::I2 ? -32768.0 : double(std::numeric_limits<int32_t>::min());
    const double hi = type == FieldType::I2 ? 32767.0 : double(std::numeric_limits<int32_t>::max());
    if (!(value >= lo && value <= hi))
        return false;
    const auto integer = static_cast<int64_t>(value);
    if (double(integer) != value)
        return false;
    *key = uint64_t(integer);
    return true;
}
