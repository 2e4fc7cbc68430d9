#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QVariant>

#include "viewchange.h"
#include "vieworder.h"
#include "viewpositions.h"

class FilterExpr;
class RecordTablePrivate;

// The rows a record table shows and its cursor over them: the stored rows
// that pass the filter and the master link (or a chosen list of rows), in
// the order of the active index, kept as a vector of row numbers and brought
// up to date with the store on use.
class RowView final
{
public:
    explicit RowView(RecordTablePrivate &table);
    ~RowView();

    RowView(const RowView &) = delete;
    RowView &operator=(const RowView &) = delete;

    // --- life -----------------------------------------------------------
    // The table was opened: an empty view under the filter and order chosen
    // while closed, each dropped when it does not fit the fields.
    void opened();
    // The table was closed: no rows, no filter, no index.
    void closed();

    // --- filter ---------------------------------------------------------
    const QString &filterText() const { return m_filterText; }
    void setFilterText(const QString &text) { m_filterText = text; }
    bool isFiltered() const { return m_filtered; }
    // The filter text parsed (and bound to the fields of an open table);
    // throws when it does not parse.
    std::unique_ptr<FilterExpr> parseFilter() const;
    // Filtering on with the parsed text, or off.
    void setFilter(bool on, std::unique_ptr<FilterExpr> expr);

    // --- order ----------------------------------------------------------
    ViewOrder &order() { return m_order; }
    const ViewOrder &order() const { return m_order; }
    // Resolves the chosen order against the fields (none while closed).
    void resolveOrder();

    // --- a chosen list of rows ------------------------------------------
    void setChoice(std::vector<uint32_t> storedRows) { m_choice = std::move(storedRows); }
    void clearChoice() { m_choice.reset(); }
    bool hasChoice() const { return m_choice.has_value(); }

    // --- the rows -------------------------------------------------------
    // Brings the view up to date with the store.
    void ensure();
    // Rebuilds the view at once (after a change of filter, order or link),
    // keeping that row current when it stays in the view.
    void rebuildNow(std::optional<uint32_t> keep);
    // Rebuild on next use, keeping the current row.
    void markDirty();
    // Rebuild on next use.
    void setDirty() { m_dirty = true; }
    // The row that is current once the view is brought up to date.
    std::optional<uint32_t> logicalCurrent() const;
    // An appended row to make current once it is taken into the view.
    void setWantedCurrent(uint32_t row) { m_wantCurrent = row; }

    const std::vector<uint32_t> &rows() const { return m_shared ? *m_shared : m_rows; }
    // Position of a stored row in the view, -1 when it is not there.
    int positionOf(uint32_t row);
    bool passes(uint32_t row);
    // A field's values changed in the store.
    void fieldChanged(int field) { m_positions.fieldChanged(field); }
    // The view's order puts the current row first of its run of equal keys.
    bool isGroupFirst() const;
    // Stores the posted row's place: it leaves the view when it no longer
    // passes and moves when its key changed. Returns whether the view
    // changed; otherwise *changedRow is the row's position (-1: not shown).
    bool rowPosted(uint32_t row, bool keyTouched, int *changedRow);

    // --- cursor ---------------------------------------------------------
    std::optional<uint32_t> currentRow() const
    {
        if (m_cur >= 0 && size_t(m_cur) < rows().size())
            return rows()[size_t(m_cur)];
        return std::nullopt;
    }
    int current() const { return m_cur; } // view position, -1 when none
    bool atEnd() const { return rows().empty() || m_atEnd; }
    bool atBegin() const { return rows().empty() || m_atBegin; }
    // Moves of an up-to-date view; false (nothing to tell) on an empty one.
    bool first();
    bool last();
    bool next();
    bool prior();
    // Makes a view position current.
    void moveTo(int position);

    // --- locating -------------------------------------------------------
    // First view position whose field equals the value (see
    // RecordTable::locate); -1 when none.
    int find(int field, const QVariant &value, bool caseInsensitive, bool partialKey);

    // --- the store changed ----------------------------------------------
    void rowRemoved(uint32_t row);
    void rowsReordered(const std::vector<uint32_t> &newRowOfOld);
    void cleared();

    // The rows shared with the store count there.
    qint64 memoryBytes() const { return qint64(m_rows.capacity() * sizeof(uint32_t)) + m_positions.memoryBytes(); }

    // Each view position holds a distinct row of the `storedRows` stored,
    // the cursor is inside the view, and a view marked as the store is.
    bool isConsistent(uint32_t storedRows) const;

    // The view changed: look-up aids over its positions are out of date.
    void touched() { m_positions.touched(); }

    // The changes of the rows noted since the last call, and forgets them.
    ViewChange takeChange()
    {
        const ViewChange change = m_change;
        m_change = ViewChange();
        return change;
    }

private:
    // No filter, link or order: the view is the store.
    bool isPlain() const;
    void clearRows(bool release);
    void rebuild(std::optional<uint32_t> keep);
    void placeNewRow(uint32_t row);
    size_t insertionPoint(uint32_t row) const;
    bool less(uint32_t a, uint32_t b) const;
    // An empty view stops the cursor at both ends.
    bool stopsEmpty();
    // The view's own rows, copied from the shared ones first.
    std::vector<uint32_t> &ownRows();

    RecordTablePrivate &m_table;

    QString m_filterText;
    bool m_filtered = false;
    std::unique_ptr<FilterExpr> m_expr; // set while filtered with a text that parsed
    ViewOrder m_order;

    std::optional<std::vector<uint32_t>> m_choice; // setRowChoice(): the rows and their order
    std::vector<uint32_t> m_rows;                  // stored row of each view position
    bool m_identity = false;                       // m_rows[i] == i for every row
    bool m_dirty = false;                          // rebuild on next use
    std::optional<uint32_t> m_keepRow;             // row to keep current over a rebuild
    std::optional<uint32_t> m_wantCurrent;         // appended row to make current
    uint32_t m_seen = 0;                           // rows of the store that the view accounts for
    ViewPositions m_positions;
    // The store's permutation while the view is that order whole (no
    // filter, link or chosen rows; ascending): read instead of m_rows.
    std::shared_ptr<const std::vector<uint32_t>> m_shared;

    ViewChange m_change; // what happened to m_rows since the listeners were last told

    int m_cur = -1;
    bool m_atEnd = true;
    bool m_atBegin = true;
};
