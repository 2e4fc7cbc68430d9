#include "fixedcolumnsview.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>

FixedColumnsView::FixedColumnsView(QTableView *grid)
    : QTableView(grid)
    , m_grid(grid)
    , m_gridViewport(grid->viewport())
{
    setObjectName(grid->objectName() + QStringLiteral("Fixed"));
    // The grid's row header serves both views; it stays the grid's child and
    // goes with the grid.
    QHeaderView *rows = grid->verticalHeader();
    setVerticalHeader(rows);
    rows->setParent(grid);
    rows->hide();
    setModel(grid->model());
    setSelectionModel(grid->selectionModel());
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(grid->selectionBehavior());
    setSelectionMode(grid->selectionMode());
    setShowGrid(grid->showGrid());
    setWordWrap(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(grid->verticalScrollMode());
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    // A click selects the cell in the grid's selection; the keys go to the
    // grid.
    setFocusPolicy(Qt::NoFocus);
    setAutoScroll(false);

    connect(grid->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, grid->verticalScrollBar(), &QScrollBar::setValue);
    // After a new view the grid may scroll before these columns know the new
    // row count: their bar, still at the old range, would stop short and
    // show the old first rows. Once the range follows, so do the rows.
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value()); });
    connect(grid->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this] { verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value()); });
    connect(grid->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        if (column < m_count) {
            setColumnWidth(column, width);
            follow();
        }
    });
    connect(grid->model(), &QAbstractItemModel::modelReset, this, &FixedColumnsView::follow);
    connect(grid->model(), &QAbstractItemModel::layoutChanged, this, &FixedColumnsView::follow);
    connect(grid->model(), &QAbstractItemModel::rowsInserted, this, &FixedColumnsView::follow);
    connect(grid->model(), &QAbstractItemModel::rowsRemoved, this, &FixedColumnsView::follow);
    connect(grid->selectionModel(), &QItemSelectionModel::currentChanged, this, &FixedColumnsView::uncoverCurrent);
    grid->installEventFilter(this);
    grid->viewport()->installEventFilter(this);
    hide();
}

FixedColumnsView::~FixedColumnsView() = default;

void FixedColumnsView::setCount(int count)
{
    m_count = qMax(0, count);
    follow();
}

int FixedColumnsView::fixedWidth() const
{
    int width = 0;
    const int columns = m_grid->model() ? qMin(m_count, m_grid->model()->columnCount()) : 0;
    for (int c = 0; c < columns; ++c) {
        if (!m_grid->isColumnHidden(c))
            width += m_grid->columnWidth(c);
    }
    return width;
}

void FixedColumnsView::follow()
{
    QAbstractItemModel *source = m_grid->model();
    const int columns = source ? source->columnCount() : 0;
    for (int c = 0; c < columns; ++c) {
        const bool shown = c < m_count && !m_grid->isColumnHidden(c);
        setColumnHidden(c, !shown);
        if (shown && columnWidth(c) != m_grid->columnWidth(c))
            setColumnWidth(c, m_grid->columnWidth(c));
    }
    horizontalHeader()->setFixedHeight(m_grid->horizontalHeader()->height());
    horizontalHeader()->setVisible(m_grid->horizontalHeader()->isVisible());

    const int width = fixedWidth();
    if (width <= 0 || columns == 0) {
        hide();
        return;
    }
    const QRect area = m_grid->viewport()->geometry();
    const int top = m_grid->horizontalHeader()->isVisible() ? m_grid->horizontalHeader()->geometry().top() : area.top();
    setGeometry(area.left(), top, qMin(width, area.width()), area.bottom() - top + 1);
    verticalScrollBar()->setValue(m_grid->verticalScrollBar()->value());
    if (isHidden()) {
        show();
        raise();
    }
}

void FixedColumnsView::uncoverCurrent()
{
    const QModelIndex current = m_grid->currentIndex();
    if (!current.isValid() || current.column() < m_count || isHidden())
        return;
    const int covered = fixedWidth();
    const int left = m_grid->columnViewportPosition(current.column());
    if (left >= covered)
        return;
    QScrollBar *bar = m_grid->horizontalScrollBar();
    bar->setValue(bar->value() - (covered - left));
}

void FixedColumnsView::scrollContentsBy(int dx, int dy)
{
    // Both views scroll the one row header. The first to follow a new top
    // row moves it and shifts its cells; the second finds it moved already
    // and would shift nothing, so the view left behind paints afresh.
    const int before = verticalHeader()->offset();
    QTableView::scrollContentsBy(dx, dy);
    if (dy == 0)
        return;
    if (verticalHeader()->offset() != before)
        m_grid->viewport()->update();
    else
        viewport()->update();
}

bool FixedColumnsView::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_grid || watched == m_gridViewport)
        && (event->type() == QEvent::Resize || event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest))
        follow();
    return QTableView::eventFilter(watched, event);
}
