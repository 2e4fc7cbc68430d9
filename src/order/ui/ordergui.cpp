#include "ordergui.h"

#include <QKeyEvent>
#include <QResizeEvent>
#include <QTableView>
#include <QTimer>

#include "actionid.h"
#include "gridcontroller.h"
#include "lookupgridprice.h"
#include "workspace.h"

namespace
{
    constexpr int NameColumn = 3;
    // The name column's width as the order grid is built; it gives room to
    // grown money columns down to this.
    constexpr int NameColumnWidth = 200;
    constexpr int FirstFreeColumn = 2;
}

OrderGui::OrderGui(Workspace &workspace, GridController *priceGrid, GridController *orderGrid)
    : QObject(priceGrid)
    , m_workspace(workspace)
    , m_priceGrid(priceGrid)
    , m_orderGrid(orderGrid)
{
    setObjectName(QStringLiteral("OrderGui"));
}

OrderGui *OrderGui::install(Workspace &workspace, GridController *priceGrid, GridController *orderGrid)
{
    auto *gui = new OrderGui(workspace, priceGrid, orderGrid);
    Workspace *ws = &workspace;
    gui->m_lookup = new LookupGridPrice(workspace, priceGrid);

    connect(priceGrid, &GridController::activated, gui, [ws] { ws->actions().run(ActionId::AddToOrder); });
    connect(priceGrid, &GridController::characterTyped, gui->m_lookup, &LookupGridPrice::start);
    connect(gui->m_lookup, &LookupGridPrice::confirmed, gui, [ws] { ws->actions().run(ActionId::AddToOrder); });
    priceGrid->view()->installEventFilter(gui);
    // A new view of the price list (filter, sort, load) takes the search box
    // away; a new size of the grid moves it to the grid's new foot.
    connect(priceGrid->view()->model(), &QAbstractItemModel::modelReset, gui, &OrderGui::hideLookup);
    connect(priceGrid->view()->model(), &QAbstractItemModel::rowsInserted, gui, &OrderGui::hideLookup);
    connect(priceGrid->view()->model(), &QAbstractItemModel::rowsRemoved, gui, &OrderGui::hideLookup);

    connect(orderGrid, &GridController::activated, gui, [ws] { ws->actions().run(ActionId::EditOrderRecord); });
    connect(orderGrid, &GridController::removeRequested, gui, [ws] { ws->actions().run(ActionId::RemoveFromOrder); });

    connect(&workspace, &Workspace::gridColumnsChanged, gui, [gui](Workspace::Grid which) {
        if (which == Workspace::Grid::Order)
            QTimer::singleShot(0, gui, &OrderGui::widenOrderNameColumn);
    });
    // Money columns grown for longer amounts take their room from the name,
    // and a new width of the grid (the window resized or maximized) gives
    // its room to the name.
    connect(orderGrid, &GridController::columnsGrown, gui, &OrderGui::widenOrderNameColumn);
    orderGrid->view()->installEventFilter(gui);
    return gui;
}

void OrderGui::hideLookup()
{
    if (!m_lookup || m_lookup->isHidden())
        return;
    // Hiding the focused box would pass the focus on along the window's
    // chain; it goes back to the grid instead.
    if (m_lookup->hasFocus() && m_priceGrid)
        m_priceGrid->view()->setFocus(Qt::OtherFocusReason);
    m_lookup->hide();
}

void OrderGui::nextPriceColumn()
{
    if (!m_priceGrid)
        return;
    QTableView *view = m_priceGrid->view();
    const int count = view->model() ? view->model()->columnCount() : 0;
    if (count <= FirstFreeColumn)
        return;
    int column = m_priceGrid->selectedColumn();
    for (int tries = 0; tries < count; ++tries) {
        column = column + 1 >= count || column < FirstFreeColumn ? FirstFreeColumn : column + 1;
        if (!view->isColumnHidden(column))
            break;
    }
    m_priceGrid->setSelectedColumn(column);
}

void OrderGui::widenOrderNameColumn()
{
    if (!m_orderGrid)
        return;
    GridLayout &layout = m_workspace.grid(Workspace::Grid::Order);
    if (layout.count() <= NameColumn)
        return;
    // The widths as the grid shows them (the header keeps a minimum); a
    // column's width includes its grid line.
    QTableView *view = m_orderGrid->view();
    int used = 0;
    for (int c = 0; c < layout.count(); ++c) {
        if (!view->isColumnHidden(c))
            used += view->columnWidth(c);
    }
    const int room = view->viewport()->width() - used;
    const int width = qMax(view->columnWidth(NameColumn) + room, qMin(NameColumnWidth, view->columnWidth(NameColumn)));
    if (room == 0 || width == view->columnWidth(NameColumn))
        return;
    layout.columns[NameColumn].width = width;
    view->setColumnWidth(NameColumn, width);
}

bool OrderGui::eventFilter(QObject *watched, QEvent *event)
{
    // A window manager may give the window its size while the user types
    // (a tiling one does a moment after the window appears): the search goes
    // on, the row found kept in sight and the box at the foot of the grid's
    // new size, once the grid has laid out its viewport and columns for it.
    if (m_priceGrid && watched == m_priceGrid->view() && event->type() == QEvent::Resize && m_lookup
        && m_lookup->isVisible()) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size() != resize->oldSize())
            QTimer::singleShot(0, m_lookup, [box = m_lookup, grid = m_priceGrid] {
                if (!box->isVisible() || !grid)
                    return;
                grid->followTableCursor();
                box->place();
            });
    }
    if (m_orderGrid && watched == m_orderGrid->view() && event->type() == QEvent::Resize) {
        const auto *resize = static_cast<QResizeEvent *>(event);
        if (resize->size().width() != resize->oldSize().width())
            QTimer::singleShot(0, this, &OrderGui::widenOrderNameColumn);
    }
    if (m_priceGrid && watched == m_priceGrid->view() && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab
            && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier))) {
            nextPriceColumn();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
