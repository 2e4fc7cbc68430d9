#include "recordtable_p.h"

#include "ordixerror.h"

using namespace FieldValue;
using Column = RecordTableStorage::Column;

// --- RecordTablePrivate --------------------------------------------------------------

RecordTablePrivate::RecordTablePrivate(RecordTable *owner, const QString &tableName)
    : q(owner)
    , name(tableName)
    , view(*this)
{ }

RecordTablePrivate::~RecordTablePrivate()
{
    link.detach(this);
    for (RecordTablePrivate *detail : link.takeDetails()) {
        detail->link.masterGone();
        detail->view.setDirty();
    }
    if (s)
        s->removeObserver(this);
}

void RecordTablePrivate::requireActive() const
{
    if (!s)
        throw OrdixError(
            QStringLiteral("Table %1 is not open").arg(name.isEmpty() ? QStringLiteral("(unnamed)") : name));
}

const FieldDef &RecordTablePrivate::fieldDef(int position) const
{
    requireActive();
    if (position < 0 || position >= s->fieldCount())
        throw OrdixError(QStringLiteral("Field number %1 is out of range").arg(position));
    return s->fields()[position];
}

int RecordTablePrivate::findField(const QString &fieldName)
{
    if (!s)
        return -1;
    if (m_lastLookupField >= 0 && fieldName == m_lastLookupName)
        return m_lastLookupField;
    const QList<FieldDef> &fields = s->fields();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(fieldName, Qt::CaseInsensitive) == 0) {
            m_lastLookupName = fieldName;
            m_lastLookupField = int(i);
            return int(i);
        }
    }
    return -1;
}

int RecordTablePrivate::fieldByName(const QString &fieldName)
{
    const int f = findField(fieldName);
    if (f < 0)
        throw OrdixError(QStringLiteral("Field '%1' not found").arg(fieldName));
    return f;
}

uint32_t RecordTablePrivate::requireCurrentRow()
{
    requireActive();
    view.ensure();
    const auto row = view.currentRow();
    if (!row)
        throw OrdixError(QStringLiteral("Table %1 has no current row").arg(name));
    return *row;
}

CellRef RecordTablePrivate::cellAt(uint32_t row, int field) const
{
    CellRef ref;
    const Column &c = s->column(field);
    ref.type = c.type;
    if (const Cell *cell = edit.pending(row, field)) {
        ref.unset = cell->unset;
        ref.integer = cell->integer;
        ref.number = cell->number;
        ref.text = cell->text.constData();
        ref.length = uint32_t(cell->text.size());
        return ref;
    }
    ref.unset = c.isUnset(row);
    switch (c.type) {
    case FieldType::I2:
    case FieldType::I4:
        ref.integer = c.integer(row);
        break;
    case FieldType::R8:
        ref.number = c.number(row);
        break;
    case FieldType::String:
        ref.text = c.text(row);
        ref.length = c.length(row);
        break;
    }
    return ref;
}

uint32_t RecordTablePrivate::viewRowAt(int viewRow, int field)
{
    requireActive();
    view.ensure();
    if (viewRow < 0 || size_t(viewRow) >= view.rows().size())
        throw OrdixError(QStringLiteral("Row %1 is outside the view of table %2").arg(viewRow).arg(name));
    if (field < 0 || field >= s->fieldCount())
        throw OrdixError(QStringLiteral("Field number %1 is out of range").arg(field));
    return view.rows()[size_t(viewRow)];
}

const uint32_t *RecordTablePrivate::viewRowsAt(int first, int count, int field)
{
    if (count <= 0)
        return nullptr;
    viewRowAt(first + count - 1, field);
    viewRowAt(first, field);
    return view.rows().data() + first;
}

void RecordTablePrivate::finish(const Snapshot &before, bool viewChanged, int changedRow)
{
    Q_ASSERT(view.current() < int(view.rows().size()));
    Q_ASSERT(!edit.isEditing() || view.currentRow());
    const bool moved = view.currentRow() != before.row;
    if (moved || viewChanged)
        markDetailsStale();
    if (listeners.isSuspended())
        return;
    if (viewChanged)
        tellViewChanged();
    else if (changedRow >= 0)
        listeners.rowChanged(changedRow);
    if (moved || viewChanged)
        listeners.scrolled();
}

void RecordTablePrivate::tellViewChanged()
{
    toldChange = view.takeChange();
    if (toldChange.kind == ViewChange::None)
        toldChange.kind = ViewChange::Rebuilt;
    listeners.viewChanged();
    // What the listeners' own reads brought into the view, they have seen.
    view.takeChange();
    toldChange = ViewChange();
}

void RecordTablePrivate::checkBrowse()
{
    if (edit.isEditing())
        q->post();
}

void RecordTablePrivate::applyOrder(const Snapshot &before)
{
    view.resolveOrder();
    if (s) {
        view.rebuildNow(view.logicalCurrent());
        finish(before, true);
    }
}

void RecordTablePrivate::markDetailsStale()
{
    if (link.details().empty())
        return;
    const auto list = link.details();
    for (RecordTablePrivate *detail : list)
        detail->masterMoved();
}

void RecordTablePrivate::masterMoved()
{
    link.setStale(true);
    view.touched();
    if (!listeners.isSuspended() && (listeners.hasViewListeners() || listeners.afterScroll())) {
        view.ensure();
        tellViewChanged();
        listeners.scrolled();
    }
}

void RecordTablePrivate::storageRowRemoved(uint32_t row)
{
    edit.rowRemoved(row);
    view.rowRemoved(row);
}

void RecordTablePrivate::storageRowsReordered(const std::vector<uint32_t> &newRowOfOld)
{
    edit.rowsReordered(newRowOfOld);
    view.rowsReordered(newRowOfOld);
}

void RecordTablePrivate::storageCleared()
{
    edit.end();
    view.cleared();
}
