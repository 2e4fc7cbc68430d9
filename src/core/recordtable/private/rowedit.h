#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fieldvalue.h"

// The row of a record table being edited: the values set so far, held apart
// from the store until they are posted.
class RowEdit final
{
public:
    bool isEditing() const { return m_editing; }
    uint32_t row() const { return m_row; } // the stored row, while editing

    void begin(uint32_t row, int fieldCount);
    void set(int field, FieldValue::Cell cell) { m_pending[size_t(field)] = std::move(cell); }
    bool isSet(int field) const { return m_editing && m_pending[size_t(field)].has_value(); }
    // The value set for a field of a row: null when the row is not the one
    // edited or the field was not set.
    const FieldValue::Cell *pending(uint32_t row, int field) const
    {
        if (m_editing && row == m_row && m_pending[size_t(field)])
            return &*m_pending[size_t(field)];
        return nullptr;
    }
    // Calls fn(field, cell) for every field set, in field order.
    template<typename Fn>
    void forEachSet(Fn &&fn) const
    {
        for (size_t f = 0; f < m_pending.size(); ++f)
            if (m_pending[f])
                fn(int(f), *m_pending[f]);
    }
    void end(); // drops the values

    // The store's rows changed under the edit.
    void rowRemoved(uint32_t row); // the edited row itself: the edit ends
    void rowsReordered(const std::vector<uint32_t> &newRowOfOld);

private:
    bool m_editing = false;
    uint32_t m_row = 0;
    std::vector<std::optional<FieldValue::Cell>> m_pending;
};
