#include "viewpositions.h"

#include <algorithm>

#include "recordtablestorage.h"

void ViewPositions::release()
{
    m_positions.clear();
    m_positions.shrink_to_fit();
    std::vector<int32_t>().swap(m_denseFirst);
    touched();
}

int ViewPositions::positionOf(const RecordTableStorage &s, const std::vector<uint32_t> &view, bool identity,
                              uint32_t row)
{
    if (identity)
        return row < view.size() ? int(row) : -1;
    if (view.size() < 64) {
        const auto it = std::find(view.begin(), view.end(), row);
        return it == view.end() ? -1 : int(it - view.begin());
    }
    if (!m_positionsValid) {
        if (m_positions.capacity() < s.rowCount()) {
            std::vector<int32_t>().swap(m_positions);
            m_positions.reserve(s.rowCount());
            adviseHugePages(m_positions.data(), s.rowCount() * sizeof(int32_t));
        }
        m_positions.assign(s.rowCount(), -1);
        for (size_t p = 0; p < view.size(); ++p)
            m_positions[view[p]] = int(p);
        m_positionsValid = true;
    }
    return row < m_positions.size() ? m_positions[row] : -1;
}

bool ViewPositions::denseLocate(RecordTableStorage &s, const std::vector<uint32_t> &view, int field, double value,
                                int *found)
{
    *found = -1;
    if (m_denseField != field) {
        qint64 lo = 0;
        qint64 hi = 0;
        s.integerRange(field, &lo, &hi);
        const qint64 range = hi - lo + 1;
        if (range > 4 * qint64(view.size()) + 4096)
            return false;
        if (m_denseFirst.capacity() < size_t(range)) {
            std::vector<int32_t>().swap(m_denseFirst);
            m_denseFirst.reserve(size_t(range));
            adviseHugePages(m_denseFirst.data(), size_t(range) * sizeof(int32_t));
        }
        m_denseFirst.assign(size_t(range), -1);
        const RecordTableStorage::Column &c = s.column(field);
        for (size_t p = 0; p < view.size(); ++p) {
            int32_t &slot = m_denseFirst[size_t(c.integer(view[p]) - lo)];
            if (slot < 0)
                slot = int32_t(p);
        }
        m_denseField = field;
        m_denseBase = lo;
    }
    if (!(value >= double(m_denseBase) && value < double(m_denseBase) + double(m_denseFirst.size())))
        return true;
    const auto k = static_cast<qint64>(value);
    if (double(k) != value)
        return true;
    *found = m_denseFirst[size_t(k - m_denseBase)];
    return true;
}
