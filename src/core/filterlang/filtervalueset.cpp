#include "filtervalueset.h"

#include <algorithm>
#include <limits>
#include <utility>

void FilterValueSet::build(FieldType type, std::vector<double> values)
{
    m_type = type;
    m_values = std::move(values);
    std::sort(m_values.begin(), m_values.end());
    m_values.erase(std::unique(m_values.begin(), m_values.end()), m_values.end());

    qint64 lo = std::numeric_limits<qint64>::max();
    qint64 hi = std::numeric_limits<qint64>::min();
    if (m_type != FieldType::R8) {
        for (double v : m_values) {
            uint64_t key;
            if (valueKey(m_type, v, &key)) {
                lo = std::min(lo, qint64(key));
                hi = std::max(hi, qint64(key));
            }
        }
    }
    if (m_type != FieldType::R8 && (lo > hi || hi - lo < (qint64(1) << 24))) {
        m_base = lo > hi ? 0 : lo;
        m_range = lo > hi ? 1 : uint64_t(hi - lo + 1);
        m_dense.assign((m_range + 63) / 64, 0);
        for (double v : m_values) {
            uint64_t key;
            if (valueKey(m_type, v, &key)) {
                const uint64_t k = uint64_t(qint64(key) - m_base);
                m_dense[k >> 6] |= uint64_t(1) << (k & 63);
            }
        }
        return;
    }
    uint64_t capacity = 16;
    while (capacity < m_values.size() * 2)
        capacity <<= 1;
    m_keys.assign(capacity, 0);
    m_used.assign(capacity, 0);
    m_mask = capacity - 1;
    for (double v : m_values) {
        uint64_t key;
        if (!valueKey(m_type, v, &key))
            continue;
        uint64_t i = mix(key) & m_mask;
        while (m_used[i] && m_keys[i] != key)
            i = (i + 1) & m_mask;
        m_used[i] = 1;
        m_keys[i] = key;
    }
}
