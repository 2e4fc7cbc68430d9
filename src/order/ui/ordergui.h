#pragma once

#include <QObject>
#include <QPointer>

class GridController;
class LookupGridPrice;
class Workspace;

// The order's hold on the main window's two grids: Enter and a double-click
// in the price grid add the part to the order, in the order grid they change
// the line's quantity; Backspace and Delete in the order grid remove the
// line; a printable character in the price grid starts the incremental
// search; Tab in the price grid moves to the next column. It also widens the
// order grid's name column into the room left when the columns are built.
class OrderGui final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderGui)

public:
    // Wires both grids; the returned object lives as long as the price grid's
    // controller.
    static OrderGui *install(Workspace &workspace, GridController *priceGrid, GridController *orderGrid);

    LookupGridPrice *lookup() const { return m_lookup; }
    // Hides the search box; a new size of the price grid or a new view of
    // the price list hides it too.
    void hideLookup();

    // Tab in the price grid: the next visible column, from the last back to
    // the first after the two fixed ones; the row stays.
    void nextPriceColumn();
    // Gives the name column of the order grid the room the grid has left, or
    // gives back what grown columns need, down to its width as built.
    void widenOrderNameColumn();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    OrderGui(Workspace &workspace, GridController *priceGrid, GridController *orderGrid);

    Workspace &m_workspace;
    QPointer<GridController> m_priceGrid;
    QPointer<GridController> m_orderGrid;
    LookupGridPrice *m_lookup = nullptr;
};
