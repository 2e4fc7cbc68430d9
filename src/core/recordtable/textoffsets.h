#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Where each row's text begins in a text column's arena.
//
// While each text lies close after the one of the row before (as a load and a
// reorder leave them), a block of 64 rows keeps the offset of its first row in
// 32 bits and each row its distance from there in 16 bits: a little over two
// bytes a row instead of four, which on a list of a million rows and six text
// columns is some 12 MB. An offset that does not fit (a text moved to the
// arena's end by an edit, a block whose texts span more than 64 KB) turns the
// column to plain 32-bit offsets until it is laid out again.
class TextOffsets final
{
public:
    static constexpr uint32_t BlockRows = 64;

    uint32_t size() const { return m_count; }
    bool empty() const { return m_count == 0; }
    // Two levels (true) or plain offsets.
    bool isCompact() const { return !m_plain; }

    uint32_t operator[](uint32_t row) const
    {
        if (m_plain)
            return m_wide[row];
        return m_bases[row / BlockRows] + m_low[row];
    }
    // Where the row's entry lies, to fetch it ahead.
    const void *entry(uint32_t row) const
    {
        return m_plain ? static_cast<const void *>(m_wide.data() + row) : static_cast<const void *>(m_low.data() + row);
    }

    void push_back(uint32_t offset)
    {
        if (!m_plain) {
            if (m_count % BlockRows == 0) {
                m_bases.push_back(offset);
                m_low.push_back(0);
                ++m_count;
                return;
            }
            const uint32_t base = m_bases[m_count / BlockRows];
            if (offset >= base && offset - base <= 0xFFFFu) {
                m_low.push_back(uint16_t(offset - base));
                ++m_count;
                return;
            }
            makePlain();
        }
        m_wide.push_back(offset);
        ++m_count;
    }
    // Appends the offsets of `count` texts laid one after another from
    // `start`, of the lengths given (a batch of rows, in one pass).
    template<typename Length>
    void appendLaidOut(uint32_t start, const Length *lengths, uint32_t count);
    void set(uint32_t row, uint32_t offset);
    void erase(uint32_t row);
    void reserve(uint32_t rows);
    // Frees all of it.
    void release();
    void swap(TextOffsets &other) noexcept;

    // The first row of first..last-1 whose offset is greater than `offset`
    // (last if none); the offsets of those rows must not decrease.
    uint32_t upperBound(uint32_t first, uint32_t last, uint32_t offset) const;

    size_t capacityBytes() const;

private:
    void makePlain();

    bool m_plain = false;
    uint32_t m_count = 0;
    std::vector<uint32_t> m_bases; // by block
    std::vector<uint16_t> m_low;   // by row: the distance from its block's base
    std::vector<uint32_t> m_wide;  // by row, when plain
};

template<typename Length>
void TextOffsets::appendLaidOut(uint32_t start, const Length *lengths, uint32_t count)
{
    uint32_t offset = start;
    uint32_t i = 0;
    if (!m_plain) {
        m_low.resize(size_t(m_count) + count);
        uint16_t *low = m_low.data() + m_count;
        uint32_t base = m_count % BlockRows ? m_bases.back() : 0;
        for (; i < count; ++i) {
            if ((m_count + i) % BlockRows == 0) {
                base = offset;
                m_bases.push_back(base);
            }
            if (offset - base > 0xFFFFu)
                break;
            low[i] = uint16_t(offset - base);
            offset += lengths[i];
        }
        m_count += i;
        m_low.resize(m_count);
        if (i == count)
            return;
        makePlain();
    }
    const uint32_t rest = count - i;
    m_wide.reserve(size_t(m_count) + rest);
    for (; i < count; ++i) {
        m_wide.push_back(offset);
        offset += lengths[i];
    }
    m_count += rest;
}
