#include "orderlifecycle.h"

#include "actionid.h"
#include "partkey.h"

#include <cmath>
#include <optional>
#include <vector>

#include <QFileInfo>

#include "actionlist.h"
#include "gridposition.h"
#include "inordermark.h"
#include "missinglines.h"
#include "orderfile.h"
#include "orderhistory.h"
#include "orderlines.h"
#include "ordixerror.h"
#include "pricecodes.h"
#include "orderfileguard.h"
#include "orderrecovery.h"
#include "ordertable.h"
#include "pricefields.h"
#include "progressreporter.h"
#include "quickorder.h"
#include "userprompts.h"
#include "wholepricelist.h"
#include "workspace.h"

namespace
{
    const QString CloseAction = ActionId::OrderClose;
    const QString SaveAction = ActionId::OrderFileSave;

    QString currentLineName(Workspace &workspace)
    {
        const RecordTable &order = workspace.order();
        return workspace.orderNotEmpty() && order.rowNumber() > 0 ? order.asString(OrderTable::Name) : QString();
    }
}

void OrderLifecycle::installActions(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    Workspace *ws = &workspace;
    actions.setHandler(ActionId::OrderNew, [ws] { orderNew(*ws); });
    actions.setHandler(CloseAction, [ws] { orderClose(*ws); });
    actions.setHandler(ActionId::OrderFileOpen, [ws] { orderFileOpen(*ws); });
    actions.setHandler(SaveAction, [ws] { OrderFile::save(*ws); });
    actions.setHandler(ActionId::OrderFileSaveAs, [ws] { OrderFile::saveAs(*ws); });
    // Every edit of the order's lines is one step of the undo history.
    actions.setHandler(ActionId::AddToOrder, [ws] {
        const QString name =
            ws->priceNotEmpty() ? ws->price().asString(PriceFields::of(ws->price(), PriceFields::Name)) : QString();
        OrderHistory::of(*ws).record(
            [name](const OrderHistory::Snapshot &before, const OrderHistory::Snapshot &after) {
                return (after.rows.size() > before.rows.size() ? QStringLiteral("добавление «%1»")
                                                               : QStringLiteral("изменение количества «%1»"))
                    .arg(name);
            },
            [ws] { OrderLines::addToOrder(*ws); });
    });
    actions.setHandler(ActionId::EditOrderRecord, [ws] {
        const QString caption = QStringLiteral("изменение количества «%1»").arg(currentLineName(*ws));
        OrderHistory::of(*ws).record(caption, [ws] { OrderLines::editOrderRecord(*ws); });
    });
    actions.setHandler(ActionId::RemoveFromOrder, [ws] {
        const QString caption = QStringLiteral("удаление «%1»").arg(currentLineName(*ws));
        OrderHistory::of(*ws).record(caption, [ws] { OrderLines::removeFromOrder(*ws); });
    });
    actions.setHandler(ActionId::OrderPasteClipboard, [ws] { QuickOrder::pasteFromClipboard(*ws); });
    actions.setHandler(ActionId::OrderUndo, [ws] { OrderHistory::of(*ws).undo(); });
    actions.setHandler(ActionId::OrderRedo, [ws] { OrderHistory::of(*ws).redo(); });
    actions.setRule(ActionId::OrderUndo, [ws] { return ws->orderOpen() && OrderHistory::of(*ws).canUndo(); });
    actions.setRule(ActionId::OrderRedo, [ws] { return ws->orderOpen() && OrderHistory::of(*ws).canRedo(); });
    actions.setHandler(ActionId::CoordinateOrder, [ws] { coordinateOrder(*ws); });
    actions.setHandler(ActionId::DeletePricesInOrder, [ws] { deletePricesInOrder(*ws); });
    // A changed discount or currency shows in the sum at once.
    QObject::connect(&workspace, &Workspace::settingsChanged, &workspace, [ws] {
        if (!ws->orderOpen())
            return;
        OrderTable::showOrderSum(*ws);
        // The money cells may have grown with a markup or another currency.
        for (int row = 0; row < ws->order().rowCount(); ++row)
            OrderTable::notePosted(*ws, row);
    });
}

bool OrderLifecycle::closeCurrent(Workspace &workspace)
{
    workspace.execute(CloseAction);
    return !workspace.orderOpen();
}

QString OrderLifecycle::closeQuestion(const QString &orderFileName)
{
    if (!orderFileName.isEmpty()) {
        return QStringLiteral("Изменения в файле заказа \"") + QFileInfo(orderFileName).fileName()
            + QStringLiteral("\" не были сохранены.\nВы хотите сохранить заказ сейчас?");
    }
    return QStringLiteral("Заказ не был сохранен.\nВы хотите сохранить заказ сейчас?");
}

void OrderLifecycle::orderNew(Workspace &workspace)
{
    if (!closeCurrent(workspace))
        return;
    OrderTable::startNew(workspace);
}

void OrderLifecycle::orderClose(Workspace &workspace)
{
    ActionList &actions = workspace.actions();
    actions.setTag(CloseAction, 0);
    RecordTable &order = workspace.order();
    if (!order.isActive()) {
        actions.setTag(CloseAction, ActionList::ActionDone);
        return;
    }

    UserPrompts::Answer answer = UserPrompts::Answer::No;
    if (workspace.document().isModified() && order.rowCount() > 0) {
        answer = workspace.prompts().askYesNoCancel(closeQuestion(workspace.document().fileName()));
        if (answer != UserPrompts::Answer::Yes && answer != UserPrompts::Answer::No)
            return; // Cancel: the order stays as it is
    }
    if (answer == UserPrompts::Answer::Yes) {
        // A failed write throws from here and leaves the order open.
        actions.setTag(SaveAction, 0);
        workspace.execute(SaveAction);
        if (!actions.isDone(SaveAction))
            return;
    }

    workspace.setPanelVisible(Workspace::Panel::Order, false);
    workspace.execute(ActionId::PanelOrderPosition);
    order.empty();
    order.close();
    workspace.document().setFileName(QString());
    OrderFileGuard::of(workspace).release();
    workspace.document().setModified(false);
    OrderHistory::of(workspace).clear();
    MissingLines::of(workspace).clear();
    if (OrderRecovery *recovery = OrderRecovery::find(workspace))
        recovery->discard();
    actions.setTag(CloseAction, ActionList::ActionDone);
    workspace.execute(ActionId::RestorePriceData);
}

void OrderLifecycle::orderFileOpen(Workspace &workspace)
{
    if (!closeCurrent(workspace))
        return;
    const QString path = OrderFile::askFileToOpen(workspace);
    if (path.isEmpty())
        return;
    bool readOnly = false;
    if (OrderFileGuard::heldElsewhere(path)) {
        const UserPrompts::Answer answer = workspace.prompts().askYesNoCancel(OrderFile::openElsewhereQuestion(path));
        if (answer != UserPrompts::Answer::Yes && answer != UserPrompts::Answer::No)
            return;
        readOnly = answer == UserPrompts::Answer::Yes;
    }
    OrderFile::read(workspace, path);
    if (readOnly) {
        OrderFileGuard::of(workspace).take(path, true);
        workspace.setLabel(Workspace::Label::OrderTitle,
                           OrderTable::titleFor(path) + QStringLiteral(" (только для чтения)"));
    }
}

void OrderLifecycle::coordinateOrder(Workspace &workspace)
{
    if (workspace.prompts().askYesNo(QStringLiteral("Вы хотите согласовать заказ сейчас?")) != UserPrompts::Answer::Yes)
        return;
    OrderHistory::of(workspace).record(QStringLiteral("согласование с прайсом"),
                                       [&workspace] { coordinate(workspace); });
    const QString missing = MissingLines::of(workspace).messageText();
    if (!missing.isEmpty())
        workspace.prompts().message(missing, UserPrompts::Icon::Warning);
}

namespace
{
    // The price row of an order line whose code was made from its part
    // number and maker: the made-up code, checked against the row (two parts
    // whose made-up codes collide take the next one); -1 when the list has
    // none. `code` becomes the code the row carries.
    qint64 findMadeUp(PriceCodes &codes, const RecordTable &whole, int partField, int makerField, const QString &part,
                      const QString &maker, qint64 *code)
    {
        const qint32 wanted = PartKey::code(part, maker);
        for (int salt = 0; salt < PartKey::Salts; ++salt) {
            const qint32 candidate = PartKey::code(part, maker, salt);
            const qint64 p = codes.find(candidate);
            if (p >= 0
                && PartKey::code(whole.storedBytes(uint32_t(p), partField), whole.storedBytes(uint32_t(p), makerField))
                    == wanted) {
                *code = candidate;
                return p;
            }
        }
        return -1;
    }
}

void OrderLifecycle::coordinate(Workspace &workspace)
{
    RecordTable &order = workspace.order();
    RecordTable &price = workspace.price();
    const int flagField = PriceFields::of(price, PriceFields::AvailabilityFlag);
    const int nameField = PriceFields::of(price, PriceFields::Name);
    const int catalogField = PriceFields::of(price, PriceFields::CatalogID);
    const int producerField = PriceFields::of(price, PriceFields::ProductionOf);
    const int priceField = PriceFields::of(price, PriceFields::Price);

    ProgressReporter &progress = workspace.progress();
    std::optional<ProgressFinish> end;
    int refused = 0;
    // The lines whose code the price list lacks are flagged in memory only.
    QSet<qint64> missingCodes;
    QStringList missingLines;
    int foundLines = 0;
    {
        // Every part is looked up in the whole list, not in what the grid's
        // filter leaves visible. The lines are read and written by their
        // rows: neither grid's current line moves.
        WholePriceList whole(price);
        RecordTable &row = whole.rows();
        const int partField = PriceFields::of(row, PriceFields::CatalogID);
        const int makerField = PriceFields::of(row, PriceFields::ProductionOf);

        OrderTable::hideOrderSum(workspace, QString());
        // The lines not re-priced keep their amounts, out of the total.
        QSet<qint64> uncounted;
        progress.startProgress(QStringLiteral("Согласование.цен.."), 0, 100);
        end.emplace(progress);

        const int lines = order.rowCount();
        int done = 0;
        int shown = 0;
        const auto step = [&] {
            ++done;
            const int now = int(qint64(done) * 100 / lines);
            if (now != shown && now < 100) {
                shown = now;
                progress.stepProgress(now);
            }
        };
        // One pass over the lines the order shows: the parts looked up by
        // the code look-up table, the fields of the found lines and the
        // marks of their price rows written at the end, field by field, and
        // only the longest texts measured for the grid. A filter or an
        // order on a written field puts the order's view together again.
        PriceCodes codes(row);
        std::vector<uint32_t> lineRows;
        std::vector<RecordTable::StoredValue> fieldValues[OrderTable::FieldCount];
        // The lines of parts without codes whose made-up code changed.
        std::vector<uint32_t> codeRows;
        std::vector<RecordTable::StoredValue> codeValues;
        std::vector<uint32_t> markRows;
        std::vector<RecordTable::StoredValue> marks;
        OrderTable::LongestLines longest;
        // Every line's code looked up at once (an empty one as 0).
        std::vector<qint64> lineCodes(size_t(lines), 0);
        for (int r = 0; r < lines; ++r) {
            if (!order.isNullAt(r, OrderTable::Code))
                lineCodes[size_t(r)] = order.integerAt(r, OrderTable::Code);
        }
        std::vector<qint64> foundRows;
        codes.findAll(lineCodes, foundRows);
        for (int r = 0; r < lines; ++r) {
            if (order.isNullAt(r, OrderTable::Code)) {
                step();
                continue;
            }
            const qint64 code = order.integerAt(r, OrderTable::Code);
            qint64 lineCode = code;
            qint64 found = foundRows[size_t(r)];
            if (code >= PartKey::LowestMadeUp) {
                const QString part = order.stringAt(r, OrderTable::CatalogID);
                const QString maker = order.stringAt(r, OrderTable::Producer);
                if (PartKey::isMadeUp(code, part, maker))
                    found = findMadeUp(codes, row, partField, makerField, part, maker, &lineCode);
            }
            if (found < 0) {
                missingCodes.insert(code);
                uncounted.insert(code);
                missingLines.append(order.displayTextAt(r, OrderTable::Code) + QLatin1Char(' ')
                                    + order.stringAt(r, OrderTable::Name));
                step();
                continue;
            }
            ++foundLines;
            const uint32_t p = uint32_t(found);
            const qint64 flag = row.storedInteger(p, flagField);
            const double unitPrice = row.storedFloat(p, priceField);
            const qint64 count = order.integerAt(r, OrderTable::Count);
            const double amount = unitPrice * double(count);
            if (!(std::fabs(amount) <= OrderTable::MaxAmount)) {
                ++refused; // the line keeps its fields and stays out of the total
                uncounted.insert(code);
                step();
                continue;
            }
            const RecordTable::StoredValue values[OrderTable::FieldCount]{
                {{}, double(Availability::withoutInOrder(flag))},
                {{}, double(lineCode)},
                {row.storedBytes(p, nameField)},
                {row.storedBytes(p, catalogField)},
                {row.storedBytes(p, producerField)},
                {{}, double(count)},
                {{}, unitPrice},
                {{}, amount}};
            const uint32_t stored = order.storedRowAt(r);
            lineRows.push_back(stored);
            for (int f = 0; f < OrderTable::FieldCount; ++f) {
                if (f != OrderTable::Code && f != OrderTable::Count)
                    fieldValues[f].push_back(values[f]);
            }
            if (lineCode != code) {
                codeRows.push_back(stored);
                codeValues.push_back(values[OrderTable::Code]);
            }
            longest.note(r, values);
            if (!Availability::isInOrder(flag)) {
                markRows.push_back(p);
                marks.push_back({{}, double(Availability::withInOrder(flag))});
            }
            step();
        }
        order.setStoredValues(OrderTable::Code, codeRows, codeValues);
        for (int f = 0; f < OrderTable::FieldCount; ++f) {
            if (f != OrderTable::Code && f != OrderTable::Count)
                order.setStoredValues(f, lineRows, fieldValues[f]);
        }
        row.setStoredValues(flagField, markRows, marks);
        // An order shown filtered or in another order may have put its
        // lines together again: each one it shows is measured for the grid.
        const bool asStored = !order.isFiltered() && !order.hasRowChoice() && !order.isLinked()
            && order.indexName().isEmpty() && order.indexFields().isEmpty();
        if (asStored) {
            longest.notePosted(workspace);
        } else {
            for (int r = 0; r < order.rowCount(); ++r)
                OrderTable::notePosted(workspace, r);
        }
        workspace.document().setUncounted(uncounted);
        workspace.document().recount();
    }
    OrderTable::showOrderSum(workspace);
    end.reset(); // StepProgress(101)
    workspace.document().setModified(true);
    MissingLines &missing = MissingLines::of(workspace);
    missing.setResult(missingCodes, missingLines, foundLines);
    workspace.setLabel(Workspace::Label::Status, missing.statusText());
    if (refused > 0) {
        workspace.prompts().message(
            QStringLiteral("Строк заказа, не согласованных из-за слишком большой суммы: %1").arg(refused),
            UserPrompts::Icon::Warning);
    }
}

void OrderLifecycle::deletePricesInOrder(Workspace &workspace)
{
    RecordTable &order = workspace.order();
    {
        const GridFreeze freeze(workspace, Workspace::Grid::Order);
        order.first();
        OrderTable::hideOrderSum(workspace, QString());
        // A line that cannot be wiped keeps its amount, out of the total.
        QSet<qint64> uncounted;
        while (!order.atEnd()) {
            try {
                order.edit();
                order.setInteger(OrderTable::AvailabilityFlag, 0);
                order.setFloat(OrderTable::Price, 0);
                order.setFloat(OrderTable::SUM, 0);
                // The maker of a part keyed by part number and maker is the
                // line's own: without it the line finds no part in the next
                // list, and its code would be written as the supplier's.
                if (!PartKey::isMadeUp(order.asInteger(OrderTable::Code), order.asString(OrderTable::CatalogID),
                                       order.asString(OrderTable::Producer)))
                    order.setString(OrderTable::Producer, QString());
                order.post();
                OrderTable::notePosted(workspace);
            } catch (...) {
                try {
                    if (order.isEditing())
                        order.cancel();
                    if (!order.isNull(OrderTable::Code))
                        uncounted.insert(order.asInteger(OrderTable::Code));
                } catch (...) {
                }
            }
            order.next();
        }
        workspace.document().setUncounted(uncounted);
        workspace.document().recount();
    }
    order.first();
    OrderTable::showOrderSum(workspace);
    // The prices the steps remember belong to the price list that went away.
    OrderHistory::of(workspace).clear();
}
