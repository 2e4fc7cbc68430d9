#pragma once

#include <QString>
#include <QtGlobal>

class RecordTable;
class Workspace;

// Adding the price grid's current part to the order, changing a line's
// quantity and removing a line, with the in-order mark on the price rows and
// the running total kept step by step.
class OrderLines final
{
public:
    // AddToOrder: asks for the quantity (the line's own when the part is in
    // the order already); on OK starts an order if none is open, sets the
    // existing line's quantity (it keeps its own price) or appends a line and
    // marks the price row.
    static void addToOrder(Workspace &workspace);
    // As AddToOrder for the part with this code, looked up in the whole
    // price list (a part the grid's filter hides included); false when the
    // list has no such part.
    static bool addByCode(Workspace &workspace, qint32 code);
    // The same without the dialog: puts the price grid's current part into
    // the order with the quantity (an existing line takes it as its new
    // quantity).
    static void addPart(Workspace &workspace, int quantity);
    // EditOrderRecord: asks for the current line's new quantity.
    static void editOrderRecord(Workspace &workspace);
    // What a line of `count` at `price` (price-list money) comes to with the
    // customer's discount or markup, as the order grid shows its amount:
    // "С учётом скидки 5%: 2 958.41 р." or "С учётом наценки 5%: …"; empty
    // with neither (or an accumulative discount) and for an amount no line
    // may carry.
    static QString lineCostText(const Workspace &workspace, double price, qint64 count);
    // RemoveFromOrder: deletes the current line without a question and takes
    // the mark off its price row.
    static void removeFromOrder(Workspace &workspace);

private:
    // AddToOrder with `price` on the part's row (the price table or a
    // cursor over the whole list).
    static void addFrom(Workspace &workspace, RecordTable &price);
    // addPart() with the part on `price`'s current row.
    static void addPartFrom(Workspace &workspace, RecordTable &price, int quantity);
};
