#include "recordtable.h"

#include "ordixerror.h"
#include "recordtable_p.h"
#include "recordtablestorage.h"

// The cursor of a record table: moving over the view, reading the values of
// its rows, editing the current row and locating a row by value.

using namespace FieldValue;
using Column = RecordTableStorage::Column;

// --- cursor -------------------------------------------------------------------------

namespace
{
    // One step of the cursor over the up-to-date view, told to the details
    // and the listeners unless the view is empty.
    void moveCursor(RecordTablePrivate &d, bool (RowView::*step)())
    {
        d.checkBrowse();
        d.view.ensure();
        const RecordTablePrivate::Snapshot before = d.snapshot();
        if ((d.view.*step)())
            d.finish(before, false);
    }
}

void RecordTable::first()
{
    moveCursor(*d, &RowView::first);
}

void RecordTable::last()
{
    moveCursor(*d, &RowView::last);
}

void RecordTable::next()
{
    moveCursor(*d, &RowView::next);
}

void RecordTable::prior()
{
    moveCursor(*d, &RowView::prior);
}

bool RecordTable::atEnd() const
{
    d->view.ensure();
    return d->view.atEnd();
}

bool RecordTable::atBegin() const
{
    d->view.ensure();
    return d->view.atBegin();
}

int RecordTable::rowCount() const
{
    d->view.ensure();
    return int(d->view.rows().size());
}

int RecordTable::rowNumber() const
{
    d->view.ensure();
    return d->view.current() < 0 ? 0 : d->view.current() + 1;
}

void RecordTable::setRowNumber(int number)
{
    d->checkBrowse();
    d->view.ensure();
    if (number < 1 || size_t(number) > d->view.rows().size())
        return;
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->view.moveTo(number - 1);
    d->finish(before, false);
}

// --- values of the current row ----------------------------------------------------------

bool RecordTable::isNull(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return d->cellAt(row, position).unset;
}

QString RecordTable::asString(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellString(d->cellAt(row, position));
}

qint64 RecordTable::asInteger(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellInteger(d->cellAt(row, position));
}

double RecordTable::asFloat(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellFloat(d->cellAt(row, position));
}

QString RecordTable::displayText(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellDisplay(d->cellAt(row, position), d->s->displayFormat(position));
}

QVariant RecordTable::value(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellValue(d->cellAt(row, position));
}

// --- values by view position -------------------------------------------------------------

bool RecordTable::isNullAt(int viewRow, int position) const
{
    return d->cellAt(d->viewRowAt(viewRow, position), position).unset;
}

QString RecordTable::stringAt(int viewRow, int position) const
{
    return cellString(d->cellAt(d->viewRowAt(viewRow, position), position));
}

QByteArrayView RecordTable::bytesAt(int viewRow, int position) const
{
    const CellRef ref = d->cellAt(d->viewRowAt(viewRow, position), position);
    if (ref.type != FieldType::String || ref.unset)
        return QByteArrayView();
    return QByteArrayView(ref.text, ref.length);
}

void RecordTable::bytesAt(int firstViewRow, int count, int position, QByteArrayView *texts) const
{
    const uint32_t *rows = d->viewRowsAt(firstViewRow, count, position);
    if (!rows)
        return;
    const Column &c = d->s->column(position);
    if (c.type != FieldType::String) {
        for (int i = 0; i < count; ++i)
            texts[i] = QByteArrayView();
        return;
    }
    // Three passes: the offsets and lengths are fetched ahead, then the
    // text, then read.
    for (int i = 0; i < count; ++i) {
        __builtin_prefetch(c.offsets.entry(rows[i]));
        if (!c.packed)
            __builtin_prefetch(c.wide ? static_cast<const void *>(c.len16.data() + rows[i])
                                      : static_cast<const void *>(c.len8.data() + rows[i]));
        __builtin_prefetch(c.unsetBits.data() + (rows[i] >> 6));
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t row = rows[i];
        if (c.isUnset(row)) {
            texts[i] = QByteArrayView();
            continue;
        }
        const char *text = c.text(row);
        const uint32_t length = c.length(row);
        __builtin_prefetch(text);
        if (length > 0)
            __builtin_prefetch(text + length - 1);
        texts[i] = QByteArrayView(text, length);
    }
    if (d->edit.isEditing()) {
        for (int i = 0; i < count; ++i)
            if (rows[i] == d->edit.row())
                texts[i] = bytesAt(firstViewRow + i, position);
    }
}

void RecordTable::numbersAt(int firstViewRow, int count, int position, double *values, bool *unset) const
{
    const uint32_t *rows = d->viewRowsAt(firstViewRow, count, position);
    if (!rows)
        return;
    const Column &c = d->s->column(position);
    for (int i = 0; i < count; ++i) {
        const uint32_t row = rows[i];
        switch (c.type) {
        case FieldType::I2:
            __builtin_prefetch(c.i16.data() + row);
            break;
        case FieldType::I4:
            __builtin_prefetch(c.i32.data() + row);
            break;
        case FieldType::R8:
            if (!c.zeroes)
                __builtin_prefetch(c.f64.data() + row);
            break;
        case FieldType::String:
            break;
        }
        __builtin_prefetch(c.unsetBits.data() + (row >> 6));
    }
    for (int i = 0; i < count; ++i) {
        const CellRef ref = d->cellAt(rows[i], position);
        unset[i] = ref.unset;
        values[i] = ref.unset ? 0.0 : cellFloat(ref);
    }
}

qint64 RecordTable::integerAt(int viewRow, int position) const
{
    return cellInteger(d->cellAt(d->viewRowAt(viewRow, position), position));
}

double RecordTable::floatAt(int viewRow, int position) const
{
    return cellFloat(d->cellAt(d->viewRowAt(viewRow, position), position));
}

QString RecordTable::displayTextAt(int viewRow, int position) const
{
    const uint32_t row = d->viewRowAt(viewRow, position);
    return cellDisplay(d->cellAt(row, position), d->s->displayFormat(position));
}

// --- editing ---------------------------------------------------------------------------

void RecordTable::edit()
{
    const uint32_t row = d->requireCurrentRow();
    if (d->edit.isEditing())
        return;
    d->edit.begin(row, d->s->fieldCount());
}

bool RecordTable::isEditing() const
{
    return d->edit.isEditing();
}

namespace
{
    // The field of the row being edited, for setting its value.
    const FieldDef &editedField(const RecordTablePrivate &d, int position)
    {
        if (!d.edit.isEditing())
            throw OrdixError(QStringLiteral("Table %1 is not being edited").arg(d.name));
        return d.fieldDef(position);
    }
}

void RecordTable::setString(int position, const QString &value)
{
    const FieldDef &def = editedField(*d, position);
    Cell cell;
    convertText(def, QStringView(value), cell);
    d->edit.set(position, std::move(cell));
}

void RecordTable::setInteger(int position, qint64 value)
{
    const FieldDef &def = editedField(*d, position);
    Cell cell;
    convertInteger(def, value, cell);
    d->edit.set(position, std::move(cell));
}

void RecordTable::setFloat(int position, double value)
{
    const FieldDef &def = editedField(*d, position);
    Cell cell;
    convertFloat(def, value, cell);
    d->edit.set(position, std::move(cell));
}

void RecordTable::setValue(int position, const QVariant &value)
{
    const FieldDef &def = editedField(*d, position);
    Cell cell;
    convertVariant(def, value, cell);
    d->edit.set(position, std::move(cell));
}

void RecordTable::setNull(int position)
{
    editedField(*d, position);
    d->edit.set(position, Cell());
}

void RecordTable::post()
{
    if (!d->edit.isEditing())
        throw OrdixError(QStringLiteral("Table %1 is not being edited").arg(d->name));
    const RecordTablePrivate::Snapshot before = d->snapshot();
    const uint32_t row = d->edit.row();
    const int keyField = d->view.order().keyField();
    const bool keyTouched = keyField >= 0 && d->edit.isSet(keyField);
    d->edit.forEachSet([&](int field, const Cell &cell) {
        d->s->setCell(row, field, inputOf(cell));
        d->view.fieldChanged(field);
    });
    d->edit.end();
    d->s->notifyRowUpdated(row, d.get());

    int changedRow = -1;
    const bool viewChanged = d->view.rowPosted(row, keyTouched, &changedRow);
    d->markDetailsStale();
    d->finish(before, viewChanged, changedRow);
    d->listeners.posted();
}

void RecordTable::cancel()
{
    d->edit.end();
}

void RecordTable::deleteRow()
{
    d->requireActive();
    d->view.ensure();
    const auto row = d->view.currentRow();
    if (!row)
        throw OrdixError(QStringLiteral("Table %1 has no row to delete").arg(d->name));
    d->edit.end();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->s->removeRow(*row);
    d->markDetailsStale();
    d->finish(before, true);
}

// --- locating ----------------------------------------------------------------------------

bool RecordTable::locate(const QString &fieldName, const QVariant &value, bool caseInsensitive, bool partialKey)
{
    d->requireActive();
    const int f = d->fieldByName(fieldName);
    d->checkBrowse();
    d->view.ensure();
    const int found = d->view.find(f, value, caseInsensitive, partialKey);
    if (found < 0)
        return false;
    // Positions of one view stand for rows: no need to read the view.
    const int before = d->view.rows().empty() ? -1 : d->view.current();
    d->view.moveTo(found);
    if (before != found) {
        d->markDetailsStale();
        if (!d->listeners.isSuspended())
            d->listeners.scrolled();
    }
    return true;
}
