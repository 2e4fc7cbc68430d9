#pragma once

#include <QString>

class Workspace;

// The order's life: starting, opening, closing (with the question about
// unsaved changes), re-pricing against the loaded price list and wiping the
// prices when the price list goes away. It owns these sequences and uses
// the order file unit (OrderFile) for the file itself; that unit never
// calls back.
class OrderLifecycle final
{
public:
    // Sets the handlers of OrderNew, OrderClose, OrderFileOpen, OrderFileSave,
    // OrderFileSaveAs, AddToOrder, EditOrderRecord, RemoveFromOrder,
    // CoordinateOrder and DeletePricesInOrder, and shows the order's sum
    // again whenever the settings change.
    static void installActions(Workspace &workspace);

    // Runs OrderClose and answers whether no order is open any more.
    static bool closeCurrent(Workspace &workspace);

    static void orderNew(Workspace &workspace);
    static void orderClose(Workspace &workspace);
    // OrderFileOpen: closes the current order (stops when that did not
    // complete), asks for a file, and reads it into a new order with prices 0.
    static void orderFileOpen(Workspace &workspace);
    // CoordinateOrder: asks whether to coordinate now, then re-prices.
    static void coordinateOrder(Workspace &workspace);
    // The re-pricing itself, without the question: every line whose code the
    // price list has takes the list's name, availability, price, OEM number
    // and maker, its amount is computed again and counted into the total, and
    // the price row is marked as in the order. The command-line program
    // coordinates through it.
    static void coordinate(Workspace &workspace);
    static void deletePricesInOrder(Workspace &workspace);

    // The question asked when a changed order is closed.
    static QString closeQuestion(const QString &orderFileName);
};
