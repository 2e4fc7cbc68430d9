#pragma once

#include <cstdint>
#include <vector>

#include <QtGlobal>

class RecordTableStorage;

// Look-up aids over the positions of a record table's view, built on first
// use: the view position of a stored row, and for an integer field whose
// values lie close together the first position holding each value. Both are
// out of date once the view changes (touched()).
class ViewPositions final
{
public:
    void touched()
    {
        m_positionsValid = false;
        m_denseField = -1;
    }
    // A field's values changed: its look-up by value is out of date.
    void fieldChanged(int field)
    {
        if (field == m_denseField)
            m_denseField = -1;
    }
    void release(); // gives the memory back

    // Position of a stored row in the view, -1 when it is not there.
    // `identity`: view[i] == i for every row.
    int positionOf(const RecordTableStorage &s, const std::vector<uint32_t> &view, bool identity, uint32_t row);
    // First view position whose integer field holds `value` (-1: none);
    // false when the field's values are too spread out for a table indexed
    // by value (the caller looks up otherwise).
    bool denseLocate(RecordTableStorage &s, const std::vector<uint32_t> &view, int field, double value, int *found);

    qint64 memoryBytes() const { return qint64(m_positions.capacity() * sizeof(int32_t)); }

private:
    std::vector<int32_t> m_positions; // row -> view position, -1 when not in view
    bool m_positionsValid = false;
    // value - m_denseBase -> first view position, -1 when none.
    std::vector<int32_t> m_denseFirst;
    int m_denseField = -1;
    qint64 m_denseBase = 0;
};
