#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QString>

#include "fieldvalue.h"
#include "masterlink.h"
#include "recordtable.h"
#include "recordtablestorage.h"
#include "rowedit.h"
#include "rowview.h"
#include "tablelisteners.h"

// What a RecordTable holds: its name, the rows it shares with its clones, and
// the parts that make up one cursor over them. It hears from the store about
// changes made through other cursors.
class RecordTablePrivate final : public StorageObserver
{
public:
    // The current row before an operation, to tell afterwards what moved.
    struct Snapshot
    {
        std::optional<uint32_t> row;
    };

    RecordTablePrivate(RecordTable *owner, const QString &tableName);
    ~RecordTablePrivate() override;

    RecordTable *const q;
    const QString name;
    std::shared_ptr<RecordTableStorage> s; // null while closed

    RowView view;
    RowEdit edit;
    MasterLink link;
    TableListeners listeners;
    ViewChange toldChange; // while the view listeners are being told

    void requireActive() const;
    const FieldDef &fieldDef(int position) const; // throws outside the fields
    int findField(const QString &fieldName);
    int fieldByName(const QString &fieldName);
    void forgetLookup() { m_lastLookupField = -1; }

    uint32_t requireCurrentRow();
    // One cell as it reads now: the edited value of the row being edited.
    FieldValue::CellRef cellAt(uint32_t row, int field) const;
    // The stored row of a view row, the view and the field checked.
    uint32_t viewRowAt(int viewRow, int field);
    // The stored rows of `count` view rows from `first` on, checked like
    // viewRowAt(); null when count is not positive.
    const uint32_t *viewRowsAt(int first, int count, int field);

    Snapshot snapshot() const { return Snapshot{view.currentRow()}; }
    // Tells the details and the listeners what an operation changed: the view
    // as a whole, or one row in place (its view position), and whether the
    // current row moved.
    void finish(const Snapshot &before, bool viewChanged, int changedRow = -1);
    // Tells the view listeners, with what changed in the view (see
    // RecordTable::lastViewChange()).
    void tellViewChanged();
    // Stores a pending edit before the cursor moves or the view changes.
    void checkBrowse();
    // After a change of the chosen order: rebuilds the view keeping the
    // current row and tells the grids.
    void applyOrder(const Snapshot &before);

    // The details follow this table's current row again.
    void markDetailsStale();
    void masterMoved();

    // --- StorageObserver ---------------------------------------------------
    void storageRowRemoved(uint32_t row) override;
    void storageRowsReordered(const std::vector<uint32_t> &newRowOfOld) override;
    void storageRowUpdated(uint32_t) override { view.markDirty(); }
    void storageCleared() override;

private:
    // field look-up cache for locate and fieldByName in loops
    QString m_lastLookupName;
    int m_lastLookupField = -1;
};
