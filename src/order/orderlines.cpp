#include "orderlines.h"

#include <cmath>

#include <QVariantList>

#include "gridposition.h"
#include "inordermark.h"
#include "ordixerror.h"
#include "ordertable.h"
#include "pricefields.h"
#include "pricelinefields.h"
#include "textfile.h"
#include "userprompts.h"
#include "wholepricelist.h"
#include "workspace.h"

namespace
{
    double displayRate(const Workspace &workspace)
    {
        const double rate = workspace.settings().currentCurrency.rate;
        return rate > 0 ? rate : 1.0;
    }

    // The pack field's number when it is a whole number above 1, else 0.
    int packSize(const QString &pack)
    {
        bool whole = false;
        const int size = pack.trimmed().toInt(&whole);
        return whole && size > 1 ? size : 0;
    }

    int packOf(const RecordTable &price)
    {
        const int field = PriceFields::find(price, PriceFields::Pack);
        return field >= 0 ? packSize(price.asString(field)) : 0;
    }

    // Asks for a quantity; false when the user cancelled (or nothing usable
    // came back). The dialog shows `price`; its line will carry `linePrice`.
    bool askQuantity(Workspace &workspace, const QString &name, double price, double linePrice, int initial,
                     int *quantity, int pack = 0)
    {
        UserPrompts::QuantityRequest request;
        request.partName = name;
        request.packSize = pack;
        request.price = price / displayRate(workspace);
        request.currencySymbol = workspace.settings().currentCurrency.symbol;
        request.quantity = initial;
        request.lineCost = [&workspace, linePrice](int count) {
            return OrderLines::lineCostText(workspace, linePrice, count);
        };
        int entered = initial;
        if (!workspace.prompts().askQuantity(request, &entered) || entered < 1)
            return false;
        *quantity = entered;
        return true;
    }

    // Sets the current order line's quantity and amount.
    void setLineCount(Workspace &workspace, int quantity)
    {
        RecordTable &order = workspace.order();
        order.edit();
        try {
            order.setInteger(OrderTable::Count, quantity);
            order.setFloat(OrderTable::SUM, OrderTable::lineAmount(order.asFloat(OrderTable::Price), quantity));
            order.post();
        } catch (...) {
            order.cancel();
            throw;
        }
        OrderTable::notePosted(workspace);
        workspace.document().countLine(order.asInteger(OrderTable::Code));
    }

    void changed(Workspace &workspace)
    {
        workspace.document().recount();
        OrderTable::showOrderSum(workspace);
        workspace.document().setModified(true);
    }
}

void OrderLines::addToOrder(Workspace &workspace)
{
    RecordTable &price = workspace.price();
    if (!price.isActive() || price.rowCount() == 0)
        return;
    addFrom(workspace, price);
}

bool OrderLines::addByCode(Workspace &workspace, qint32 code)
{
    RecordTable &price = workspace.price();
    if (!price.isActive())
        return false;
    if (price.locate(PriceFields::name(PriceFields::Code), code)) {
        addFrom(workspace, price);
        return true;
    }
    // Hidden by the grid's filter: the part is added from the whole list.
    const GridFreeze freeze(workspace, Workspace::Grid::Price);
    WholePriceList whole(price);
    if (!whole.find(code))
        return false;
    addFrom(workspace, whole.rows());
    return true;
}

void OrderLines::addFrom(Workspace &workspace, RecordTable &price)
{
    RecordTable &order = workspace.order();

    const QVariant code = price.value(PriceFields::of(price, PriceFields::Code));
    const QString name = price.asString(PriceFields::of(price, PriceFields::Name));
    const double unitPrice = price.asFloat(PriceFields::of(price, PriceFields::Price));

    const QString orderCode = OrderTable::fields().at(OrderTable::Code).name;
    const bool inOrder = workspace.orderOpen() && !code.isNull() && order.locate(orderCode, code);
    // A new line starts at one pack; a line in the order keeps its quantity
    // and its own price.
    const int pack = packOf(price);
    const int initial = inOrder ? int(order.asInteger(OrderTable::Count)) : qMax(1, pack);
    const double linePrice = inOrder ? order.asFloat(OrderTable::Price) : unitPrice;

    int quantity = 0;
    if (!askQuantity(workspace, name, unitPrice, linePrice, initial, &quantity, pack))
        return;
    addPartFrom(workspace, price, quantity);
}

void OrderLines::addPart(Workspace &workspace, int quantity)
{
    addPartFrom(workspace, workspace.price(), quantity);
}

void OrderLines::addPartFrom(Workspace &workspace, RecordTable &price, int quantity)
{
    RecordTable &order = workspace.order();
    if (!price.isActive() || price.rowCount() == 0 || quantity < 1)
        return;

    const PriceLineFields priceFields(price);

    const QVariant code = price.value(priceFields.code);
    const QString name = price.asString(priceFields.name);
    const double unitPrice = price.asFloat(priceFields.price);

    if (!workspace.orderOpen() || code.isNull() || !order.locate(OrderTable::fields().at(OrderTable::Code).name, code))
        OrderTable::lineAmount(unitPrice, quantity); // refused before any order is started

    if (!workspace.orderOpen())
        OrderTable::startNew(workspace);
    // The dialog was modal, but look the line up again rather than trust
    // that the order's cursor stayed on it.
    const QString orderCode = OrderTable::fields().at(OrderTable::Code).name;
    const bool inOrder = !code.isNull() && order.locate(orderCode, code);

    if (inOrder) {
        setLineCount(workspace, quantity);
    } else {
        const qint64 flag = Availability::withoutInOrder(price.asInteger(priceFields.flag));
        const double sum = OrderTable::lineAmount(unitPrice, quantity);
        order.appendRow(QVariantList{int(flag), code, name, price.asString(priceFields.catalog),
                                     price.asString(priceFields.producer), quantity, unitPrice, sum});
        OrderTable::notePosted(workspace, order.rowCount() - 1);
        Availability::setInOrder(price, priceFields.flag, true);
    }
    changed(workspace);
}

void OrderLines::editOrderRecord(Workspace &workspace)
{
    RecordTable &order = workspace.order();
    if (!workspace.orderNotEmpty() || order.rowNumber() == 0)
        return;
    int pack = 0;
    if (workspace.price().isActive()) {
        WholePriceList whole(workspace.price());
        if (whole.find(order.value(OrderTable::Code)))
            pack = packOf(whole.rows());
    }
    int quantity = 0;
    const double linePrice = order.asFloat(OrderTable::Price);
    if (!askQuantity(workspace, order.asString(OrderTable::Name), linePrice, linePrice,
                     int(order.asInteger(OrderTable::Count)), &quantity, pack))
        return;
    setLineCount(workspace, quantity);
    changed(workspace);
}

QString OrderLines::lineCostText(const Workspace &workspace, double price, qint64 count)
{
    const double d = workspace.settings().discount;
    if (d == 0 || d >= 100)
        return QString();
    double amount = 0;
    try {
        amount = OrderTable::lineAmount(price, count);
    } catch (const OrdixError &) {
        return QString(); // no line is made of it
    }
    QString percent = Decimal::format(std::fabs(d), 2);
    while (percent.endsWith(QLatin1Char('0')))
        percent.chop(1);
    if (percent.endsWith(Decimal::separator()))
        percent.chop(1);
    return (d > 0 ? QStringLiteral("С учётом скидки ") : QStringLiteral("С учётом наценки ")) + percent
        + QStringLiteral("%: ") + workspace.formatMoney(workspace.applyDiscount(amount));
}

void OrderLines::removeFromOrder(Workspace &workspace)
{
    RecordTable &order = workspace.order();
    if (!workspace.orderNotEmpty() || order.rowNumber() == 0)
        return;

    RecordTable &price = workspace.price();
    if (price.isActive() && !order.isNull(OrderTable::Code)) {
        const GridFreeze freeze(workspace, Workspace::Grid::Price);
        // The part's row may be hidden by the grid's filter: it loses its
        // mark all the same.
        WholePriceList whole(price);
        if (whole.find(order.value(OrderTable::Code)))
            whole.unmark();
    }

    const qint64 code = order.asInteger(OrderTable::Code);
    order.deleteRow();
    workspace.document().countLine(code);
    changed(workspace);
}
