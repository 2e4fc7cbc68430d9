#include "recordtable.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cp1251.h"
#include "fieldvalue.h"
#include "ordixerror.h"
#include "recordtable_p.h"
#include "recordtablestorage.h"
#include "textfile.h"

// The loaders' path into a table: values as Windows-1251 bytes, converted
// row by row or in batches away from the table.

namespace
{
    enum class RawCell
    {
        Stored,
        NotConvertible,
        OutOfRange
    };

    // One Windows-1251 value of a loader's line for a field, as the store
    // keeps it: text cut to the width, an empty number unset.
    RawCell convertRaw(const FieldDef &def, QByteArrayView text, CellInput &cell)
    {
        cell = CellInput();
        if (def.type == FieldType::String) {
            cell.unset = false;
            cell.text = text.data();
            cell.length = uint32_t(std::min<qsizetype>(text.size(), def.width));
            return RawCell::Stored;
        }
        if (FieldValue::isBlankText(text))
            return RawCell::Stored;
        if (def.type == FieldType::R8) {
            if (!Decimal::parse(text, &cell.number))
                return RawCell::NotConvertible;
        } else {
            if (!FieldValue::parseInteger(text, &cell.integer))
                return RawCell::NotConvertible;
            if (cell.integer < FieldValue::minOf(def.type) || cell.integer > FieldValue::maxOf(def.type))
                return RawCell::OutOfRange;
        }
        cell.unset = false;
        return RawCell::Stored;
    }

    // A value given by type, as the store keeps it.
    bool convertStored(const FieldDef &def, const RecordTable::StoredValue &value, CellInput &cell)
    {
        cell = CellInput();
        if (value.unset)
            return true;
        switch (def.type) {
        case FieldType::String:
            cell.text = value.text.data();
            cell.length = uint32_t(std::min<qsizetype>(value.text.size(), def.width));
            break;
        case FieldType::R8:
            if (!std::isfinite(value.number))
                return false;
            cell.number = value.number;
            break;
        case FieldType::I2:
        case FieldType::I4:
            if (!(value.number >= double(FieldValue::minOf(def.type))
                  && value.number <= double(FieldValue::maxOf(def.type)))
                || value.number != std::trunc(value.number))
                return false;
            cell.integer = qint64(value.number);
            break;
        }
        cell.unset = false;
        return true;
    }

    void checkRawCount(const QString &table, int fields, int count)
    {
        if (count > fields)
            throw OrdixError(
                QStringLiteral("Table %1 has %2 fields, %3 values given").arg(table).arg(fields).arg(count));
    }

    // Room for one row's converted cells: on the stack for up to 64 fields.
    class RowCells final
    {
    public:
        RowCells(const RowCells &) = delete;
        RowCells &operator=(const RowCells &) = delete;
        explicit RowCells(int fields)
        {
            if (fields > 64) {
                m_many.resize(size_t(fields));
                m_cells = m_many.data();
            }
        }
        CellInput &operator[](int i) { return m_cells[i]; }
        const CellInput *data() const { return m_cells; }

    private:
        CellInput m_few[64];
        std::vector<CellInput> m_many;
        CellInput *m_cells = m_few;
    };
}

void RecordTable::appendRowRaw(const QByteArrayView *values, int count)
{
    d->requireActive();
    const QList<FieldDef> &fields = d->s->fields();
    const int n = int(fields.size());
    checkRawCount(d->name, n, count);
    RowCells in(n);
    for (int i = 0; i < n; ++i) {
        if (i >= count) {
            in[i] = CellInput();
            continue;
        }
        const FieldDef &def = fields[i];
        switch (convertRaw(def, values[i], in[i])) {
        case RawCell::Stored:
            break;
        case RawCell::NotConvertible:
            FieldValue::throwNotConvertible(def, Cp1251::decode(values[i]));
        case RawCell::OutOfRange:
            FieldValue::throwOutOfRange(def, Cp1251::decode(values[i]).trimmed());
        }
    }
    d->s->appendRow(in.data());
}

void RecordTable::appendRowValues(const StoredValue *values, int count)
{
    d->requireActive();
    const QList<FieldDef> &fields = d->s->fields();
    const int n = int(fields.size());
    checkRawCount(d->name, n, count);
    RowCells in(n);
    for (int i = 0; i < n; ++i) {
        if (i >= count)
            in[i] = CellInput();
        else if (!convertStored(fields[i], values[i], in[i]))
            FieldValue::throwNotConvertible(fields[i], QString::number(values[i].number, 'g', 17));
    }
    d->s->appendRow(in.data());
}

RecordTable::RowBatch::RowBatch(const RecordTable &table)
    : m_table(table.d->name)
    , m_fields(table.d->s ? table.d->s->fields() : QList<FieldDef>())
    , m_data(std::make_unique<RowBatchData>(m_fields))
{
    table.d->requireActive();
}

RecordTable::RowBatch::~RowBatch() = default;

bool RecordTable::RowBatch::addRaw(const QByteArrayView *values, int count)
{
    const int n = int(m_fields.size());
    checkRawCount(m_table, n, count);
    RowCells in(n);
    for (int i = 0; i < n; ++i) {
        if (i >= count)
            in[i] = CellInput();
        else if (convertRaw(m_fields[i], values[i], in[i]) != RawCell::Stored)
            return false;
    }
    m_data->add(in.data());
    return true;
}

void RecordTable::setStoredValues(int position, const std::vector<uint32_t> &storedRows,
                                  const std::vector<StoredValue> &values)
{
    d->requireActive();
    d->checkBrowse();
    if (position < 0 || position >= d->s->fieldCount())
        throw OrdixError(QStringLiteral("Table %1 has no field number %2").arg(d->name).arg(position));
    const FieldDef &def = d->s->fields().at(position);
    const size_t n = std::min(storedRows.size(), values.size());
    std::vector<CellInput> cells(n);
    for (size_t i = 0; i < n; ++i) {
        if (!convertStored(def, values[i], cells[i]))
            FieldValue::throwNotConvertible(def, QString::number(values[i].number, 'g', 17));
    }
    if (n == 0)
        return;
    const RecordTablePrivate::Snapshot before = d->snapshot();
    for (size_t i = 0; i < n; ++i)
        d->s->setCell(storedRows[i], position, cells[i]);
    d->view.fieldChanged(position);
    d->s->notifyRowUpdated(storedRows.front(), d.get());
    // A filter or an order on the field puts the view together again.
    if (d->view.isFiltered() || d->view.order().keyField() == position)
        d->view.markDirty();
    d->view.ensure();
    d->markDetailsStale();
    d->finish(before, true);
}

int RecordTable::RowBatch::rowCount() const
{
    return int(m_data->rows);
}

size_t RecordTable::RowBatch::textBytes(int position) const
{
    return m_data->columns[size_t(position)].bytes.size();
}

void RecordTable::RowBatch::clear()
{
    m_data->clear();
}

void RecordTable::RowBatch::truncate(int rows)
{
    m_data->truncate(uint32_t(std::max(0, rows)));
}

int RecordTable::appendBatch(const RowBatch &batch)
{
    d->requireActive();
    const QList<FieldDef> &fields = d->s->fields();
    bool same = batch.m_fields.size() == fields.size();
    for (qsizetype i = 0; same && i < fields.size(); ++i)
        same = batch.m_fields[i].type == fields[i].type && batch.m_fields[i].width == fields[i].width;
    if (!same)
        throw OrdixError(QStringLiteral("The rows were prepared for another layout than table %1 has").arg(d->name));
    return int(d->s->appendBatch(*batch.m_data));
}

void RecordTable::reserve(qint64 rows, const std::vector<size_t> &textBytes)
{
    d->requireActive();
    d->s->reserve(uint32_t(std::clamp<qint64>(rows, 0, std::numeric_limits<uint32_t>::max() - 1)), textBytes);
}

void RecordTable::releaseSpareRoom()
{
    d->requireActive();
    d->s->releaseSpareRoom();
}
