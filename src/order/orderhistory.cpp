#include "orderhistory.h"

#include "actionlist.h"
#include "gridposition.h"
#include "inordermark.h"
#include "missinglines.h"
#include "ordertable.h"
#include "pricecodes.h"
#include "unfilteredprice.h"
#include "workspace.h"

namespace
{
    const QString UndoAction = QStringLiteral("OrderUndo");
    const QString RedoAction = QStringLiteral("OrderRedo");

    QVariant cell(const RecordTable &table, int row, int field)
    {
        if (table.isNullAt(row, field))
            return QVariant();
        switch (table.field(field).type) {
        case FieldType::I2:
        case FieldType::I4:
            return table.integerAt(row, field);
        case FieldType::R8:
            return table.floatAt(row, field);
        case FieldType::String:
            return table.stringAt(row, field);
        }
        return QVariant();
    }

    // Sets or takes away the in-order mark of the price row with the code.
    void setMark(RecordTable &price, int flagField, qint64 code, bool marked)
    {
        if (price.locate(QStringLiteral("Code"), code))
            Availability::setInOrder(price, flagField, marked);
    }

    QSet<qint64> codesOf(const OrderHistory::Snapshot &snapshot)
    {
        QSet<qint64> codes;
        for (const QVariantList &row : snapshot.rows) {
            const QVariant &code = row.at(OrderTable::Code);
            if (!code.isNull())
                codes.insert(code.toLongLong());
        }
        return codes;
    }
}

bool OrderHistory::Snapshot::sameOrder(const Snapshot &other) const
{
    return open == other.open && rows == other.rows && total == other.total && changed == other.changed
        && missing == other.missing;
}

OrderHistory::OrderHistory(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(QStringLiteral("OrderHistory"));
}

OrderHistory &OrderHistory::of(Workspace &workspace)
{
    auto *history = workspace.findChild<OrderHistory *>(QString(), Qt::FindDirectChildrenOnly);
    if (!history)
        history = new OrderHistory(workspace);
    return *history;
}

OrderHistory::Snapshot OrderHistory::take() const
{
    Snapshot snapshot;
    Workspace &ws = m_workspace;
    const RecordTable &order = ws.order();
    snapshot.open = order.isActive();
    snapshot.total = ws.document().total();
    snapshot.changed = ws.document().isModified();
    if (const MissingLines *missing = MissingLines::find(ws))
        snapshot.missing = missing->codes();
    if (!snapshot.open)
        return snapshot;
    snapshot.rowNumber = order.rowNumber();
    snapshot.rows.reserve(order.rowCount());
    for (int r = 0; r < order.rowCount(); ++r) {
        QVariantList row;
        row.reserve(order.fieldCount());
        for (int f = 0; f < order.fieldCount(); ++f)
            row.append(cell(order, r, f));
        snapshot.rows.append(row);
    }

    RecordTable &price = ws.price();
    const int flagField = price.isActive() ? price.findField(QStringLiteral("AvailabilityFlag")) : -1;
    if (flagField >= 0 && !snapshot.rows.isEmpty()) {
        const GridFreeze freeze(ws, Workspace::Grid::Price);
        const UnfilteredPrice unfiltered(price);
        PriceCodes codes(price);
        // A code on two lines is looked up twice rather than gathered first.
        for (const QVariantList &row : std::as_const(snapshot.rows)) {
            const QVariant &value = row.at(OrderTable::Code);
            if (value.isNull())
                continue;
            const qint64 code = value.toLongLong();
            const qint64 found = codes.find(code);
            if (found >= 0 && Availability::isInOrder(price.storedInteger(uint32_t(found), flagField)))
                snapshot.marked.insert(code);
        }
    }
    return snapshot;
}

void OrderHistory::record(const QString &caption, const std::function<void()> &step)
{
    record([caption](const Snapshot &, const Snapshot &) { return caption; }, step);
}

void OrderHistory::recordWhole(const QString &caption, const std::function<void()> &step)
{
    m_whole = !m_recording && !m_restoring;
    try {
        record(caption, step);
    } catch (...) {
        m_whole = false;
        throw;
    }
    m_whole = false;
}

void OrderHistory::record(const Caption &caption, const std::function<void()> &step)
{
    if (m_recording || m_restoring) {
        step();
        return;
    }
    m_recording = true;
    Snapshot before;
    try {
        before = take();
        // The order as the previous step left it shares that step's copy.
        if (m_done > 0) {
            const Snapshot &last = m_steps.at(m_done - 1).after;
            if (last.sameOrder(before) && last.marked == before.marked) {
                const int row = before.rowNumber;
                before = last;
                before.rowNumber = row;
            }
        }
        step();
    } catch (...) {
        m_recording = false;
        if (m_whole) {
            restore(before);
            throw;
        }
        // Whatever the failed step changed is kept as a step of its own, so
        // that it can be undone as well.
        Snapshot after = take();
        if (!after.sameOrder(before)) {
            m_steps.resize(m_done);
            m_steps.append({caption(before, after), before, after});
            m_done = m_steps.size();
            updateCaptions();
        }
        throw;
    }
    m_recording = false;
    Snapshot after = take();
    if (after.sameOrder(before))
        return;
    m_steps.resize(m_done);
    m_steps.append({caption(before, after), std::move(before), std::move(after)});
    while (m_steps.size() > Limit)
        m_steps.removeFirst();
    m_done = m_steps.size();
    updateCaptions();
}

QString OrderHistory::undoCaption() const
{
    return canUndo() ? m_steps.at(m_done - 1).caption : QString();
}

QString OrderHistory::redoCaption() const
{
    return canRedo() ? m_steps.at(m_done).caption : QString();
}

void OrderHistory::undo()
{
    if (!canUndo())
        return;
    --m_done;
    restore(m_steps.at(m_done).before);
    updateCaptions();
}

void OrderHistory::redo()
{
    if (!canRedo())
        return;
    restore(m_steps.at(m_done).after);
    ++m_done;
    updateCaptions();
}

void OrderHistory::clear()
{
    if (m_restoring)
        return;
    // A step that starts a new order keeps the history it makes itself.
    m_steps.clear();
    m_done = 0;
    updateCaptions();
}

void OrderHistory::restore(const Snapshot &snapshot)
{
    Workspace &ws = m_workspace;
    RecordTable &order = ws.order();
    m_restoring = true;
    try {
        const QSet<qint64> touched = codesOf(take()) + codesOf(snapshot);
        if (!order.isActive())
            OrderTable::startNew(ws);
        {
            const GridFreeze freeze(ws, Workspace::Grid::Order);
            order.empty();
            for (const QVariantList &row : snapshot.rows)
                order.appendRow(row);
        }
        for (int r = 0; r < order.rowCount(); ++r)
            OrderTable::notePosted(ws, r);
        if (order.rowCount() > 0)
            order.setRowNumber(qBound(1, snapshot.rowNumber, order.rowCount()));

        RecordTable &price = ws.price();
        const int flagField = price.isActive() ? price.findField(QStringLiteral("AvailabilityFlag")) : -1;
        if (flagField >= 0) {
            const GridFreeze freeze(ws, Workspace::Grid::Price);
            const UnfilteredPrice unfiltered(price);
            for (const qint64 code : touched)
                setMark(price, flagField, code, snapshot.marked.contains(code));
        }

        ws.document().setTotal(snapshot.total);
        ws.document().setModified(snapshot.changed);
        MissingLines::of(ws).setCodes(snapshot.missing);
        OrderTable::showOrderSum(ws);
    } catch (...) {
        m_restoring = false;
        throw;
    }
    m_restoring = false;
    emit ws.repaintGrids();
}

void OrderHistory::updateCaptions()
{
    ActionList &actions = m_workspace.actions();
    if (actions.find(UndoAction)) {
        actions.setCaption(UndoAction, canUndo() ? QStringLiteral("Отменить: ") + undoCaption()
                                                 : QStringLiteral("Отменить"));
    }
    if (actions.find(RedoAction)) {
        actions.setCaption(RedoAction, canRedo() ? QStringLiteral("Повторить: ") + redoCaption()
                                                 : QStringLiteral("Повторить"));
    }
    emit changed();
}
