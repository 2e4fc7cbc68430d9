#pragma once

#include "workspace.h"

// Freezing a grid around bulk work on its table (GridSavePosition on
// construction, GridRestorePosition on destruction): the current row number
// is remembered, the table's views are suspended and, for the price list, the
// current-row notification is detached. On release the remembered row becomes
// current again when the table still has that many rows, and the views resume,
// also when the work failed.
class GridFreeze final
{
public:
    GridFreeze(Workspace &workspace, Workspace::Grid grid);
    ~GridFreeze();

    GridFreeze(const GridFreeze &) = delete;
    GridFreeze &operator=(const GridFreeze &) = delete;

    int rememberedRow() const { return m_rowNumber; }

private:
    RecordTable &m_table;
    bool m_price;
    int m_rowNumber;
    RecordTable::Callback m_afterScroll;
};
