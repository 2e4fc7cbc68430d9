#include "gridposition.h"

GridFreeze::GridFreeze(Workspace &workspace, Workspace::Grid grid)
    : m_table(grid == Workspace::Grid::Price ? workspace.price() : workspace.order())
    , m_price(grid == Workspace::Grid::Price)
{
    if (m_price) {
        m_afterScroll = m_table.afterScroll();
        m_table.setAfterScroll({});
    }
    m_rowNumber = m_table.isActive() ? m_table.rowNumber() : 0;
    m_table.suspendViews();
}

GridFreeze::~GridFreeze()
{
    if (m_price)
        m_table.setAfterScroll(m_afterScroll);
    try {
        if (m_table.isActive() && m_rowNumber >= 1 && m_table.rowCount() >= m_rowNumber)
            m_table.setRowNumber(m_rowNumber);
    } catch (...) {
        // The position is a courtesy; the views must resume in any case.
    }
    m_table.resumeViews();
}
