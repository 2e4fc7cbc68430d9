#pragma once

#include <cstdint>
#include <vector>

#include <QtGlobal>

#include "fielddef.h"
#include "valuekey.h"

// The values of the "field = number" terms of an OR on one numeric field,
// looked up once a row. Integer values that lie close together (codes
// usually do) get one bit each from the smallest on, so a row costs one
// test of a bit in cache; other values go to an open-addressing set of
// their keys (valueKey).
class FilterValueSet final
{
public:
    void build(FieldType type, std::vector<double> values);

    // True when the values are kept one bit each: denseContains() then
    // answers for the cells of an integer column.
    bool isDense() const { return !m_dense.empty(); }

    bool denseContains(qint64 value) const
    {
        const uint64_t k = uint64_t(value - m_base);
        return k < m_range && ((m_dense[k >> 6] >> (k & 63)) & 1u);
    }

    bool contains(double value) const
    {
        uint64_t key;
        if (!valueKey(m_type, value, &key))
            return false;
        if (isDense())
            return denseContains(qint64(key));
        uint64_t i = mix(key) & m_mask;
        while (m_used[i]) {
            if (m_keys[i] == key)
                return true;
            i = (i + 1) & m_mask;
        }
        return false;
    }

    // Ascending, each once.
    const std::vector<double> &values() const { return m_values; }

private:
    static uint64_t mix(uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        return key;
    }

    FieldType m_type = FieldType::String;
    std::vector<double> m_values;

    // one bit a value from m_base on
    std::vector<uint64_t> m_dense;
    qint64 m_base = 0;
    uint64_t m_range = 0;

    // open addressing
    std::vector<uint64_t> m_keys;
    std::vector<uint8_t> m_used;
    uint64_t m_mask = 0;
};
