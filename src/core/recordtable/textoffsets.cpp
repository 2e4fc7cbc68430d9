#include "textoffsets.h"

#include <utility>

void TextOffsets::set(uint32_t row, uint32_t offset)
{
    if (!m_plain) {
        const uint32_t base = m_bases[row / BlockRows];
        if (offset >= base && offset - base <= 0xFFFFu) {
            m_low[row] = uint16_t(offset - base);
            return;
        }
        makePlain();
    }
    m_wide[row] = offset;
}

void TextOffsets::erase(uint32_t row)
{
    // The rows after it change blocks: laid out afresh.
    TextOffsets kept;
    kept.reserve(m_count - 1);
    for (uint32_t r = 0; r < m_count; ++r) {
        if (r != row)
            kept.push_back((*this)[r]);
    }
    swap(kept);
}

void TextOffsets::reserve(uint32_t rows)
{
    if (m_plain) {
        m_wide.reserve(rows);
        return;
    }
    m_bases.reserve((size_t(rows) + BlockRows - 1) / BlockRows);
    m_low.reserve(rows);
}

void TextOffsets::release()
{
    TextOffsets().swap(*this);
}

void TextOffsets::swap(TextOffsets &other) noexcept
{
    std::swap(m_plain, other.m_plain);
    std::swap(m_count, other.m_count);
    m_bases.swap(other.m_bases);
    m_low.swap(other.m_low);
    m_wide.swap(other.m_wide);
}

uint32_t TextOffsets::upperBound(uint32_t first, uint32_t last, uint32_t offset) const
{
    while (first < last) {
        const uint32_t middle = first + (last - first) / 2;
        if ((*this)[middle] <= offset)
            first = middle + 1;
        else
            last = middle;
    }
    return first;
}

size_t TextOffsets::capacityBytes() const
{
    return m_bases.capacity() * sizeof(uint32_t) + m_low.capacity() * sizeof(uint16_t)
        + m_wide.capacity() * sizeof(uint32_t);
}

void TextOffsets::makePlain()
{
    std::vector<uint32_t> wide;
    wide.reserve(m_low.capacity());
    for (uint32_t r = 0; r < m_count; ++r)
        wide.push_back(m_bases[r / BlockRows] + m_low[r]);
    m_wide.swap(wide);
    std::vector<uint32_t>().swap(m_bases);
    std::vector<uint16_t>().swap(m_low);
    m_plain = true;
}
