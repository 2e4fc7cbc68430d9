#include "recordtable.h"

#include <algorithm>
#include <numeric>

#include "filterexpr.h"
#include "ordixerror.h"
#include "recordtable_p.h"
#include "recordtablestorage.h"

using namespace FieldValue;
using Column = RecordTableStorage::Column;

// --- RecordTable -------------------------------------------------------------------

RecordTable::RecordTable()
    : d(std::make_unique<RecordTablePrivate>(this, QString()))
{ }

RecordTable::RecordTable(const QString &tableName)
    : d(std::make_unique<RecordTablePrivate>(this, tableName))
{ }

RecordTable::~RecordTable() = default;

QString RecordTable::tableName() const
{
    return d->name;
}

void RecordTable::open(const QList<FieldDef> &fields)
{
    if (d->s)
        throw OrdixError(QStringLiteral("Table %1 is already open").arg(d->name));
    if (fields.isEmpty())
        throw OrdixError(QStringLiteral("Table %1 has no fields").arg(d->name));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        if (f.name.trimmed().isEmpty())
            throw OrdixError(QStringLiteral("Field number %1 of table %2 has no name").arg(i).arg(d->name));
        for (qsizetype j = 0; j < i; ++j)
            if (fields[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
                throw OrdixError(QStringLiteral("Field '%1' is defined twice").arg(f.name));
        if (f.type == FieldType::String && (f.width < 1 || f.width > 65535))
            throw OrdixError(QStringLiteral("Text field '%1' needs a width from 1 to 65535").arg(f.name));
    }
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->s = std::make_shared<RecordTableStorage>(fields);
    d->s->addObserver(d.get());
    d->forgetLookup();
    d->edit.end();
    // A filter or an order chosen while the table was closed applies now
    // when it fits the fields; otherwise it is dropped.
    d->view.opened();
    d->link.setStale(d->link.master() != nullptr);
    d->finish(before, true);
}

void RecordTable::close()
{
    if (!d->s)
        return;
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->edit.end();
    d->s->removeObserver(d.get());
    d->s.reset();
    d->view.closed();
    d->link.detach(d.get());
    d->forgetLookup();
    d->markDetailsStale();
    d->finish(before, true);
}

bool RecordTable::isActive() const
{
    return d->s != nullptr;
}

void RecordTable::empty()
{
    d->requireActive();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->s->clear();
    d->markDetailsStale();
    d->finish(before, true);
}

// --- fields -------------------------------------------------------------------------

int RecordTable::fieldCount() const
{
    return d->s ? d->s->fieldCount() : 0;
}

const FieldDef &RecordTable::field(int position) const
{
    return d->fieldDef(position);
}

int RecordTable::findField(const QString &name) const
{
    return d->findField(name);
}

int RecordTable::fieldByName(const QString &name) const
{
    d->requireActive();
    return d->fieldByName(name);
}

void RecordTable::setDisplayFormat(int position, const QString &mask)
{
    d->fieldDef(position);
    d->s->setDisplayFormat(position, mask);
}

QString RecordTable::displayFormat(int position) const
{
    d->fieldDef(position);
    return d->s->displayFormat(position);
}

// --- appending -----------------------------------------------------------------------

namespace
{
    // Adds one row of converted cells; the new row becomes current when it
    // is in the view.
    void appendCells(RecordTablePrivate &d, const std::vector<Cell> &cells)
    {
        std::vector<CellInput> inputs(cells.size());
        for (size_t i = 0; i < cells.size(); ++i)
            inputs[i] = inputOf(cells[i]);
        const RecordTablePrivate::Snapshot before = d.snapshot();
        d.s->appendRow(inputs.data());
        d.view.setWantedCurrent(d.s->rowCount() - 1);
        if (!d.listeners.isSuspended()) {
            d.view.ensure();
            d.finish(before, true);
        }
    }

    void checkValueCount(const RecordTablePrivate &d, qsizetype count)
    {
        const qsizetype fields = d.s->fields().size();
        if (count > fields)
            throw OrdixError(
                QStringLiteral("Table %1 has %2 fields, %3 values given").arg(d.name).arg(fields).arg(count));
    }

    // Appends one row of values, each converted into its field's cell.
    template<typename Values, typename Convert>
    void appendConverted(RecordTablePrivate &d, const Values &values, Convert convert)
    {
        d.requireActive();
        d.checkBrowse();
        checkValueCount(d, values.size());
        const QList<FieldDef> &fields = d.s->fields();
        std::vector<Cell> cells(size_t(fields.size()));
        for (qsizetype i = 0; i < values.size(); ++i)
            convert(fields[i], values[i], cells[size_t(i)]);
        appendCells(d, cells);
    }
}

void RecordTable::appendRow(const QStringList &values)
{
    appendConverted(*d, values, [](const FieldDef &field, const QString &value, Cell &cell) {
        convertText(field, QStringView(value), cell);
    });
}

void RecordTable::appendRow(const QVariantList &values)
{
    appendConverted(*d, values, [](const FieldDef &field, const QVariant &value, Cell &cell) {
        convertVariant(field, value, cell);
    });
}

// --- bulk work in stored order ---------------------------------------------------------

std::vector<uint32_t> RecordTable::viewRowsInStoredOrder()
{
    d->requireActive();
    d->view.ensure();
    const std::vector<uint32_t> &view = d->view.rows();
    std::vector<uint32_t> rows;
    const uint32_t stored = d->s->rowCount();
    if (view.size() == stored) {
        rows.resize(stored);
        std::iota(rows.begin(), rows.end(), 0u);
        return rows;
    }
    std::vector<bool> inView(stored, false);
    for (uint32_t row : view)
        inView[row] = true;
    rows.reserve(view.size());
    for (uint32_t row = 0; row < stored; ++row)
        if (inView[row])
            rows.push_back(row);
    return rows;
}

bool RecordTable::isConsistent() const
{
    if (!d->s)
        return d->view.rows().empty() && d->view.current() < 0 && !d->edit.isEditing();
    if (d->edit.isEditing() && !d->view.currentRow())
        return false;
    return d->s->isConsistent() && d->view.isConsistent(d->s->rowCount());
}

uint32_t RecordTable::storedRowCount() const
{
    return d->s ? d->s->rowCount() : 0;
}

QByteArrayView RecordTable::storedBytes(uint32_t storedRow, int position) const
{
    const Column &c = d->s->column(position);
    if (c.type != FieldType::String || c.isUnset(storedRow))
        return QByteArrayView();
    return QByteArrayView(c.text(storedRow), c.length(storedRow));
}

void RecordTable::storedBytes(uint32_t first, uint32_t count, int position, QByteArrayView *texts) const
{
    const Column &c = d->s->column(position);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t row = first + k;
        texts[k] = c.type != FieldType::String || c.isUnset(row) ? QByteArrayView()
                                                                 : QByteArrayView(c.text(row), c.length(row));
    }
}

uint32_t RecordTable::storedRowAt(int viewRow) const
{
    d->requireActive();
    d->view.ensure();
    if (viewRow < 0 || size_t(viewRow) >= d->view.rows().size())
        throw OrdixError(QStringLiteral("Row %1 is outside the view of table %2").arg(viewRow).arg(d->name));
    return d->view.rows()[size_t(viewRow)];
}

void RecordTable::setRowChoice(std::vector<uint32_t> storedRows)
{
    d->requireActive();
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->view.setChoice(std::move(storedRows));
    d->view.rebuildNow(std::nullopt);
    d->finish(before, true);
}

void RecordTable::clearRowChoice()
{
    if (!d->view.hasChoice())
        return;
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->view.clearChoice();
    if (d->s) {
        d->view.rebuildNow(std::nullopt);
        d->finish(before, true);
    }
}

bool RecordTable::hasRowChoice() const
{
    return d->view.hasChoice();
}

qint64 RecordTable::storedInteger(uint32_t storedRow, int position) const
{
    const Column &c = d->s->column(position);
    return c.isUnset(storedRow) ? 0 : c.integer(storedRow);
}

double RecordTable::storedFloat(uint32_t storedRow, int position) const
{
    const Column &c = d->s->column(position);
    return c.isUnset(storedRow) ? 0.0 : c.number(storedRow);
}

void RecordTable::storedRowsWithValue(int position, double value, std::vector<uint32_t> &rows)
{
    d->requireActive();
    rows.clear();
    d->s->forEachRowWithValue(position, value, [&rows](uint32_t row) { rows.push_back(row); });
}

bool RecordTable::storedValuesUnique(int position)
{
    d->requireActive();
    if (position < 0 || position >= d->s->fieldCount() || d->s->column(position).type == FieldType::String)
        throw OrdixError(QStringLiteral("Field number %1 holds no numbers").arg(position));
    return d->s->valuesUnique(position);
}

void RecordTable::firstStoredRows(int position, const std::vector<double> &values, std::vector<qint64> &rows,
                                  std::vector<char> &shared)
{
    d->requireActive();
    if (position < 0 || position >= d->s->fieldCount() || d->s->column(position).type == FieldType::String)
        throw OrdixError(QStringLiteral("Field number %1 holds no numbers").arg(position));
    d->s->firstRowsWithValues(position, values, rows, shared);
}

void RecordTable::setStoredFloats(int position, const std::vector<uint32_t> &storedRows,
                                  const std::vector<double> &values)
{
    d->requireActive();
    d->checkBrowse();
    if (storedRows.empty())
        return;
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->s->setFloats(position, storedRows, values);
    d->view.fieldChanged(position);
    d->s->notifyRowUpdated(storedRows.front(), d.get());
    // A filter or an order on the field puts the view together again.
    if (d->view.isFiltered() || d->view.order().keyField() == position)
        d->view.markDirty();
    d->view.ensure();
    d->markDetailsStale();
    d->finish(before, true);
}

// --- filtering -------------------------------------------------------------------------

void RecordTable::setFilter(const QString &text)
{
    d->view.setFilterText(text);
    if (d->view.isFiltered())
        setFiltered(true);
}

QString RecordTable::filter() const
{
    return d->view.filterText();
}

void RecordTable::setFiltered(bool on)
{
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    auto filterOff = [&] {
        const bool was = d->view.isFiltered();
        d->view.setFilter(false, nullptr);
        if (was && d->s) {
            d->view.rebuildNow(std::nullopt);
            d->finish(before, true);
        }
    };
    if (!on) {
        filterOff();
        return;
    }
    std::unique_ptr<FilterExpr> parsed;
    try {
        parsed = d->view.parseFilter();
    } catch (...) {
        filterOff();
        throw;
    }
    d->view.setFilter(true, std::move(parsed));
    if (d->s) {
        d->view.rebuildNow(std::nullopt);
        d->finish(before, true);
    }
}

bool RecordTable::isFiltered() const
{
    return d->view.isFiltered();
}

// --- ordering --------------------------------------------------------------------------

void RecordTable::addIndexDef(const QString &name, const QString &fieldName, bool descending, bool caseInsensitive)
{
    d->view.order().checkNewName(name);
    if (d->s)
        d->fieldByName(fieldName);
    d->view.order().addDef({name, fieldName, descending, caseInsensitive});
}

void RecordTable::clearIndexDefs()
{
    ViewOrder &order = d->view.order();
    order.clearDefs();
    if (!order.indexName().isEmpty()) {
        d->checkBrowse();
        const RecordTablePrivate::Snapshot before = d->snapshot();
        order.clearIndexName();
        if (d->s) {
            d->view.rebuildNow(d->view.logicalCurrent());
            d->finish(before, true);
        }
    }
}

QStringList RecordTable::indexNames() const
{
    return d->view.order().names();
}

void RecordTable::setIndexName(const QString &name)
{
    QString canonical;
    if (!name.isEmpty()) {
        const ViewOrder::IndexDef *found = d->view.order().findDef(name);
        if (!found)
            throw OrdixError(QStringLiteral("Index '%1' not found").arg(name));
        if (d->s)
            d->fieldByName(found->fieldName);
        canonical = found->name;
    }
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->view.order().chooseIndex(canonical);
    d->applyOrder(before);
}

QString RecordTable::indexName() const
{
    return d->view.order().indexName();
}

void RecordTable::setIndexFields(const QString &fieldName)
{
    if (!fieldName.isEmpty() && d->s)
        d->fieldByName(fieldName);
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->view.order().chooseFields(fieldName);
    d->applyOrder(before);
}

QString RecordTable::indexFields() const
{
    return d->view.order().indexFields();
}

void RecordTable::sortOnField(const QString &fieldName, bool descending)
{
    d->requireActive();
    const int f = d->fieldByName(fieldName);
    d->checkBrowse();
    d->view.ensure();
    const uint32_t n = d->s->rowCount();
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    RecordTableStorage &s = *d->s;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int cmp = s.compareKeys(f, false, a, b);
        return descending ? cmp > 0 : cmp < 0;
    });
    const RecordTablePrivate::Snapshot before = d->snapshot();
    s.reorder(order);
    d->view.ensure();
    d->markDetailsStale();
    d->finish(before, true);
}

bool RecordTable::isGroupFirst() const
{
    d->view.ensure();
    return d->view.isGroupFirst();
}

// --- linking and clones ---------------------------------------------------------------------

void RecordTable::linkToMaster(RecordTable *master, const QString &detailField, const QString &masterField)
{
    d->requireActive();
    if (!master || master == this)
        throw OrdixError(QStringLiteral("Table %1 cannot be linked to itself or to nothing").arg(d->name));
    for (RecordTablePrivate *m = master->d.get(); m; m = m->link.master())
        if (m == d.get())
            throw OrdixError(QStringLiteral("Linking table %1 would make a circle").arg(d->name));
    master->d->requireActive();
    const int df = d->fieldByName(detailField);
    const int mf = master->d->fieldByName(masterField);
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    d->link.detach(d.get());
    d->link.attach(d.get(), master->d.get(), df, mf);
    d->link.setStale(true);
    d->view.ensure();
    d->finish(before, true);
}

void RecordTable::unlink()
{
    if (!d->link.master())
        return;
    d->checkBrowse();
    const RecordTablePrivate::Snapshot before = d->snapshot();
    const auto keep = d->view.logicalCurrent();
    d->link.detach(d.get());
    if (d->s) {
        d->view.rebuildNow(keep);
        d->finish(before, true);
    }
}

bool RecordTable::isLinked() const
{
    return d->link.master() != nullptr;
}

std::unique_ptr<RecordTable> RecordTable::clone() const
{
    auto copy = std::make_unique<RecordTable>(d->name);
    if (d->s) {
        copy->d->s = d->s;
        d->s->addObserver(copy->d.get());
        copy->d->view.setDirty();
        for (const ViewOrder::IndexDef &def : d->view.order().defs())
            copy->d->view.order().addDef(def);
    }
    return copy;
}

// --- views and notifications --------------------------------------------------------------

void RecordTable::suspendViews()
{
    d->listeners.suspend();
}

void RecordTable::resumeViews()
{
    if (d->listeners.resume()) {
        d->view.ensure();
        d->tellViewChanged();
    }
}

ViewChange RecordTable::lastViewChange() const
{
    return d->toldChange.kind == ViewChange::None ? ViewChange{ViewChange::Rebuilt, -1} : d->toldChange;
}

bool RecordTable::viewsSuspended() const
{
    return d->listeners.isSuspended();
}

int RecordTable::onViewChanged(Callback cb)
{
    return d->listeners.addViewListener(std::move(cb));
}

int RecordTable::onRowChanged(std::function<void(int viewRow)> cb)
{
    return d->listeners.addRowListener(std::move(cb));
}

void RecordTable::removeListener(int id)
{
    d->listeners.remove(id);
}

void RecordTable::setAfterScroll(Callback cb)
{
    d->listeners.setAfterScroll(std::move(cb));
}

RecordTable::Callback RecordTable::afterScroll() const
{
    return d->listeners.afterScroll();
}

void RecordTable::setAfterPost(Callback cb)
{
    d->listeners.setAfterPost(std::move(cb));
}

qint64 RecordTable::memoryBytes() const
{
    qint64 total = d->view.memoryBytes();
    if (d->s)
        total += d->s->memoryBytes();
    return total;
}
