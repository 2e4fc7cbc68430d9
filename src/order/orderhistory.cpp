#include "orderhistory.h"

#include <algorithm>
#include <cstring>

#include "actionid.h"
#include "actionlist.h"
#include "gridposition.h"
#include "inordermark.h"
#include "missinglines.h"
#include "ordertable.h"
#include "pricecodes.h"
#include "pricefields.h"
#include "unfilteredprice.h"
#include "workspace.h"

namespace
{
    const QString UndoAction = ActionId::OrderUndo;
    const QString RedoAction = ActionId::OrderRedo;
}

bool OrderHistory::Lines::operator==(const Lines &other) const
{
    if (m_data == other.m_data)
        return true;
    if (size() != other.size())
        return false;
    return size() == 0 || m_data->fields == other.m_data->fields;
}

OrderHistory::Lines OrderHistory::Lines::of(const RecordTable &order)
{
    auto data = std::make_shared<Data>();
    const int rows = order.rowCount();
    data->rows = rows;
    data->fields.resize(size_t(order.fieldCount()));
    if (order.isEditing()) {
        // The row being edited is taken as stored.
        for (int f = 0; f < order.fieldCount(); ++f) {
            Field &field = data->fields[size_t(f)];
            field.text = order.field(f).type == FieldType::String;
            field.unset.resize(size_t(rows));
        }
        for (int r = 0; r < rows; ++r) {
            const uint32_t stored = order.storedRowAt(r);
            for (int f = 0; f < order.fieldCount(); ++f) {
                Field &field = data->fields[size_t(f)];
                field.unset[size_t(r)] = order.isNullAt(r, f);
                if (field.text) {
                    field.bytes.append(order.storedBytes(stored, f));
                    field.ends.push_back(uint32_t(field.bytes.size()));
                } else {
                    field.numbers.push_back(order.storedFloat(stored, f));
                }
            }
        }
        Lines lines;
        lines.m_data = std::move(data);
        return lines;
    }

    // Field by field through the table's bulk reads, a block of rows at a
    // time; each field's texts are measured first and copied into one buffer.
    constexpr int Block = 4096;
    std::vector<QByteArrayView> texts;
    bool unset[Block];
    for (int f = 0; f < order.fieldCount(); ++f) {
        Field &field = data->fields[size_t(f)];
        field.text = order.field(f).type == FieldType::String;
        field.unset.resize(size_t(rows));
        if (!field.text) {
            field.numbers.resize(size_t(rows));
            for (int r = 0; r < rows; r += Block) {
                const int count = std::min(Block, rows - r);
                order.numbersAt(r, count, f, field.numbers.data() + r, unset);
                for (int k = 0; k < count; ++k)
                    field.unset[size_t(r + k)] = unset[k];
            }
            continue;
        }
        texts.resize(size_t(rows));
        field.ends.resize(size_t(rows));
        uint32_t end = 0;
        for (int r = 0; r < rows; r += Block) {
            const int count = std::min(Block, rows - r);
            order.bytesAt(r, count, f, texts.data() + r);
            for (int k = r; k < r + count; ++k) {
                field.unset[size_t(k)] = order.isNullAt(k, f);
                end += uint32_t(texts[size_t(k)].size());
                field.ends[size_t(k)] = end;
            }
        }
        field.bytes.resize(end);
        char *to = field.bytes.data();
        for (const QByteArrayView text : texts) {
            if (!text.isEmpty())
                std::memcpy(to, text.data(), size_t(text.size()));
            to += text.size();
        }
    }
    Lines lines;
    lines.m_data = std::move(data);
    return lines;
}

void OrderHistory::Lines::appendTo(RecordTable &order) const
{
    if (isEmpty())
        return;
    const std::vector<Field> &fields = m_data->fields;
    std::vector<size_t> textBytes(fields.size(), 0);
    for (size_t f = 0; f < fields.size(); ++f)
        textBytes[f] = size_t(fields[f].bytes.size());
    order.reserve(qint64(order.storedRowCount()) + size(), textBytes);
    std::vector<RecordTable::StoredValue> values(fields.size());
    for (qsizetype r = 0; r < size(); ++r) {
        for (size_t f = 0; f < fields.size(); ++f) {
            const Field &field = fields[f];
            RecordTable::StoredValue &value = values[f];
            value.unset = field.unset[size_t(r)];
            if (field.text) {
                const uint32_t from = r > 0 ? field.ends[size_t(r) - 1] : 0;
                value.text = QByteArrayView(field.bytes.constData() + from, field.ends[size_t(r)] - from);
            } else {
                value.number = field.numbers[size_t(r)];
            }
        }
        order.appendRowValues(values.data(), int(values.size()));
    }
}

std::vector<qint64> OrderHistory::Lines::codes(int codeField) const
{
    std::vector<qint64> codes;
    if (isEmpty())
        return codes;
    const Field &field = m_data->fields.at(size_t(codeField));
    codes.reserve(size_t(size()));
    for (qsizetype r = 0; r < size(); ++r) {
        if (!field.unset[size_t(r)])
            codes.push_back(qint64(field.numbers[size_t(r)]));
    }
    return codes;
}

bool OrderHistory::Snapshot::sameOrder(const Snapshot &other) const
{
    return open == other.open && rows == other.rows && total == other.total && changed == other.changed
        && missing == other.missing;
}

OrderHistory::OrderHistory(Workspace &workspace)
    : QObject(nullptr)
    , m_workspace(workspace)
{
    setObjectName(QStringLiteral("OrderHistory"));
}

OrderHistory &OrderHistory::of(Workspace &workspace)
{
    return workspace.document().history();
}

OrderHistory::Snapshot OrderHistory::take(const Snapshot *marksOf) const
{
    Snapshot snapshot;
    Workspace &ws = m_workspace;
    const RecordTable &order = ws.order();
    snapshot.open = order.isActive();
    snapshot.total = ws.document().total();
    snapshot.changed = ws.document().isModified();
    snapshot.uncounted = ws.document().uncounted();
    if (const MissingLines *missing = MissingLines::find(ws))
        snapshot.missing = missing->codes();
    if (!snapshot.open)
        return snapshot;
    snapshot.rowNumber = order.rowNumber();
    snapshot.rows = Lines::of(order);

    RecordTable &price = ws.price();
    const int flagField = price.isActive() ? PriceFields::find(price, PriceFields::AvailabilityFlag) : -1;
    snapshot.marks = flagField >= 0;
    if (!snapshot.marks || snapshot.rows.isEmpty())
        return snapshot;
    if (marksOf) {
        snapshot.unmarked = marksOf->unmarked;
        return snapshot;
    }
    const GridFreeze freeze(ws, Workspace::Grid::Price);
    const UnfilteredPrice unfiltered(price);
    PriceCodes codes(price);
    const std::vector<qint64> lineCodes = snapshot.rows.codes(OrderTable::Code);
    std::vector<qint64> found;
    codes.findAll(lineCodes, found);
    for (size_t i = 0; i < lineCodes.size(); ++i) {
        if (found[i] < 0 || !Availability::isInOrder(price.storedInteger(uint32_t(found[i]), flagField)))
            snapshot.unmarked.insert(lineCodes[i]);
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
        m_nested = true;
        step();
        return;
    }
    m_recording = true;
    m_nested = false;
    m_marksNoted = false;
    Snapshot before;
    try {
        before = take();
        // The order as the previous step left it shares that step's copy.
        if (m_done > 0) {
            const Snapshot &last = m_steps.at(m_done - 1).after;
            if (last.sameOrder(before) && last.marks == before.marks && last.unmarked == before.unmarked) {
                const int row = before.rowNumber;
                before = last;
                before.rowNumber = row;
            }
        }
        step();
    } catch (...) {
        m_recording = false;
        m_marksNoted = false;
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
    // The lines before the step kept their marks.
    const bool marksKept = m_marksNoted && (!before.open || before.marks);
    m_marksNoted = false;
    Snapshot after = take(marksKept ? &before : nullptr);
    if (after.sameOrder(before))
        return;
    m_steps.resize(m_done);
    m_steps.append({caption(before, after), std::move(before), std::move(after)});
    while (m_steps.size() > Limit)
        m_steps.removeFirst();
    m_done = m_steps.size();
    updateCaptions();
}

void OrderHistory::noteOnlyAddedLinesMarked()
{
    if (m_recording && !m_nested)
        m_marksNoted = true;
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
        // The codes of the snapshot's lines, then those of the lines now.
        std::vector<qint64> kept = snapshot.rows.codes(OrderTable::Code);
        std::sort(kept.begin(), kept.end());
        kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
        std::vector<qint64> touched = kept;
        if (order.isActive()) {
            const std::vector<qint64> now = Lines::of(order).codes(OrderTable::Code);
            touched.insert(touched.end(), now.begin(), now.end());
            std::sort(touched.begin(), touched.end());
            touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        }
        if (!order.isActive())
            OrderTable::startNew(ws);
        {
            const GridFreeze freeze(ws, Workspace::Grid::Order);
            order.empty();
            order.suspendViews();
            try {
                snapshot.rows.appendTo(order);
            } catch (...) {
                order.resumeViews();
                throw;
            }
            order.resumeViews();
        }
        for (int r = 0; r < order.rowCount(); ++r)
            OrderTable::notePosted(ws, r);
        if (order.rowCount() > 0)
            order.setRowNumber(qBound(1, snapshot.rowNumber, order.rowCount()));

        RecordTable &price = ws.price();
        const int flagField = price.isActive() ? PriceFields::find(price, PriceFields::AvailabilityFlag) : -1;
        if (flagField >= 0) {
            const GridFreeze freeze(ws, Workspace::Grid::Price);
            const UnfilteredPrice unfiltered(price);
            PriceCodes codes(price);
            std::vector<qint64> found;
            codes.findAll(touched, found);
            std::vector<uint32_t> markRows;
            std::vector<RecordTable::StoredValue> marks;
            for (size_t i = 0; i < touched.size(); ++i) {
                if (found[i] < 0)
                    continue;
                const qint64 flag = price.storedInteger(uint32_t(found[i]), flagField);
                const bool marked = snapshot.marks && !snapshot.unmarked.contains(touched[i])
                    && std::binary_search(kept.begin(), kept.end(), touched[i]);
                const qint64 wanted = marked ? Availability::withInOrder(flag) : Availability::withoutInOrder(flag);
                if (wanted != flag) {
                    markRows.push_back(uint32_t(found[i]));
                    marks.push_back({{}, double(wanted)});
                }
            }
            price.setStoredValues(flagField, markRows, marks);
        }

        ws.document().setUncounted(snapshot.uncounted);
        ws.document().recount();
        ws.document().setModified(snapshot.changed);
        MissingLines::of(ws).setCodes(snapshot.missing);
        OrderTable::showOrderSum(ws);
    } catch (...) {
        m_restoring = false;
        throw;
    }
    m_restoring = false;
    ws.requestRepaint();
}

void OrderHistory::updateCaptions()
{
    ActionList &actions = m_workspace.actions();
    if (actions.find(UndoAction)) {
        actions.setCaption(UndoAction,
                           canUndo() ? QStringLiteral("Отменить: ") + undoCaption() : QStringLiteral("Отменить"));
    }
    if (actions.find(RedoAction)) {
        actions.setCaption(RedoAction,
                           canRedo() ? QStringLiteral("Повторить: ") + redoCaption() : QStringLiteral("Повторить"));
    }
    emit changed();
}
