#include "rowedit.h"

void RowEdit::begin(uint32_t row, int fieldCount)
{
    m_editing = true;
    m_row = row;
    m_pending.assign(size_t(fieldCount), std::nullopt);
}

void RowEdit::end()
{
    m_editing = false;
    m_pending.clear();
}

void RowEdit::rowRemoved(uint32_t row)
{
    if (!m_editing)
        return;
    if (m_row == row)
        end();
    else if (m_row > row)
        --m_row;
}

void RowEdit::rowsReordered(const std::vector<uint32_t> &newRowOfOld)
{
    if (m_editing)
        m_row = newRowOfOld[m_row];
}
