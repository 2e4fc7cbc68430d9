#include "gridcontroller.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolTip>

#include "availabilitydelegate.h"
#include "fixedcolumnsview.h"
#include "gridheader.h"
#include "moneydelegate.h"
#include "ordertable.h"
#include "pricefields.h"
#include "recordtablemodel.h"
#include "rownumberdelegate.h"

namespace
{
    // Price and SUM show money.
    bool isMoneyColumn(const GridColumn &column)
    {
        return PriceFields::is(column.fieldName, PriceFields::Price)
            || column.fieldName.compare(OrderTable::fields().at(OrderTable::SUM).name, Qt::CaseInsensitive) == 0;
    }
}

GridController::GridController(Workspace &workspace, Workspace::Grid grid, QTableView *view,
                               const QList<QPixmap> &icons, QScrollBar *sideBar, QObject *parent)
    : QObject(parent)
    , m_workspace(workspace)
    , m_grid(grid)
    , m_view(view)
    , m_icons(icons)
    , m_sideBar(sideBar)
{
    m_model = new RecordTableModel(workspace, grid, this);
    m_view->setHorizontalHeader(new GridHeader(m_view));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setShowGrid(true);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    m_view->verticalHeader()->setMinimumSectionSize(1);
    m_view->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_view->horizontalHeader()->setHighlightSections(false);
    m_view->horizontalHeader()->setSectionsClickable(true);
    m_view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_view->setAlternatingRowColors(false);
    // "№" and the availability picture stay while the grid scrolls sideways.
    // Made before the reactions to a model reset below: a view's own reset
    // clears the shared current cell, which they then set again.
    m_fixed = new FixedColumnsView(m_view);
    m_fixedViewport = m_fixed->viewport();
    if (m_sideBar) {
        m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_sideBar->setObjectName(QStringLiteral("zzzz"));
        m_sideBar->setSingleStep(ScrollUnitsPerRow);
        m_sideBar->setPageStep(ScrollUnitsPerRow * 10);
        connect(m_sideBar, &QScrollBar::actionTriggered, this, [this] { onSideBarMoved(m_sideBar->sliderPosition()); });
    }

    // The table view fits a column to its content on a double-click of the
    // border by measuring rows; here the preferred width is used instead.
    QHeaderView *header = m_view->horizontalHeader();
    disconnect(header, &QHeaderView::sectionHandleDoubleClicked, m_view, nullptr);
    connect(header, &QHeaderView::sectionHandleDoubleClicked, this, &GridController::fitColumn);
    connect(header, &QHeaderView::sectionPressed, this, &GridController::titleClicked);
    connect(header, &QHeaderView::sectionDoubleClicked, this, &GridController::titleDoubleClicked);
    connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int width) {
        GridLayout &layout = m_workspace.grid(m_grid);
        if (column >= 0 && column < layout.count())
            layout.columns[column].width = width;
    });

    connect(m_view, &QAbstractItemView::clicked, this, [this] { m_workspace.grid(m_grid).pendingTitleClick = 0; });
    connect(m_view, &QAbstractItemView::doubleClicked, this, [this] {
        m_workspace.grid(m_grid).pendingTitleClick = 0;
        emit activated();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        rebuildColumns();
        followTableCursor();
        layoutSideBar();
    });
    // A row come or gone keeps the columns: the cursor and the bar follow.
    for (const auto rowsChanged : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(m_model, rowsChanged, this, [this] {
            followTableCursor();
            layoutSideBar();
        });
    }
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, &GridController::onCurrentChanged);

    connect(&m_workspace, &Workspace::preferredWidthsRaised, this, [this](Workspace::Grid which) {
        if (which == m_grid)
            growMoneyColumns();
    });

    RecordTable &table = m_model->table();
    table.setAfterScroll([this] { followTableCursor(); });

    connect(m_view, &QObject::destroyed, this, [this] {
        m_view = nullptr;
        m_fixed = nullptr;
        m_viewObject = m_viewportObject = m_fixedViewport = nullptr;
    });
    m_viewObject = m_view;
    m_viewportObject = m_view->viewport();
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);

    m_fixedViewport->installEventFilter(this);
    connect(m_fixed, &QAbstractItemView::doubleClicked, this, [this] {
        m_workspace.grid(m_grid).pendingTitleClick = 0;
        emit activated();
    });
    connect(m_fixed, &QAbstractItemView::pressed, this, [this] {
        if (m_view)
            m_view->setFocus(Qt::MouseFocusReason);
    });
    connect(m_fixed->horizontalHeader(), &QHeaderView::sectionPressed, this, &GridController::titleClicked);
    connect(m_fixed->horizontalHeader(), &QHeaderView::sectionDoubleClicked, this, &GridController::titleDoubleClicked);
    rebuildColumns();
}

GridController::~GridController()
{
    if (m_model)
        m_model->table().setAfterScroll({});
}

void GridController::rebuildColumns()
{
    if (!m_view)
        return;
    const GridLayout &layout = m_workspace.grid(m_grid);
    QHeaderView *header = m_view->horizontalHeader();
    QSignalBlocker blockHeader(header);
    for (int c = 0; c < layout.count(); ++c) {
        const GridColumn &column = layout.columns.at(c);
        QAbstractItemDelegate *old = m_view->itemDelegateForColumn(c);
        QAbstractItemDelegate *delegate = nullptr;
        if (column.fieldName == QLatin1String("NPP")) {
            delegate = new RowNumberDelegate(
                [this, c](int wanted) {
                    GridLayout &l = m_workspace.grid(m_grid);
                    if (c >= l.count())
                        return;
                    l.raisePreferredWidth(c, wanted);
                    if (m_view->columnWidth(c) < wanted)
                        m_view->setColumnWidth(c, wanted);
                },
                this);
        } else if (PriceFields::is(column.fieldName, PriceFields::AvailabilityFlag)) {
            delegate = new AvailabilityDelegate(m_icons, this);
        } else if (isMoneyColumn(column)) {
            const bool arrows = m_grid == Workspace::Grid::Price && m_icons.size() >= 8;
            delegate = new MoneyDelegate(arrows ? m_icons.at(6) : QPixmap(), arrows ? m_icons.at(7) : QPixmap(), this);
        }
        m_view->setItemDelegateForColumn(c, delegate);
        if (m_fixed)
            m_fixed->setItemDelegateForColumn(c, delegate);
        delete old;
        m_view->setColumnWidth(c, column.width);
        m_view->setColumnHidden(c, !column.visible);
    }
    // The model's own last column (how a search found the row) shows right
    // after the fixed ones; the layout's columns keep their order.
    const int extra = m_model->extraColumn();
    for (int c = 0; c < layout.count(); ++c) {
        if (header->visualIndex(c) != c)
            header->moveSection(header->visualIndex(c), c);
    }
    if (extra >= 0) {
        header->moveSection(header->visualIndex(extra), qMin(layout.fixedColumns, extra));
        QAbstractItemDelegate *old = m_view->itemDelegateForColumn(extra);
        m_view->setItemDelegateForColumn(extra, nullptr);
        if (m_fixed)
            m_fixed->setItemDelegateForColumn(extra, nullptr);
        delete old;
        m_view->setColumnHidden(extra, false);
        m_view->setColumnWidth(extra, m_view->fontMetrics().horizontalAdvance(QStringLiteral("аналог 00000000")));
    }
    if (m_fixed)
        m_fixed->setCount(layout.fixedColumns);
    applySortIndicator();
    growMoneyColumns();
}

void GridController::growMoneyColumns()
{
    if (!m_view)
        return;
    GridLayout &layout = m_workspace.grid(m_grid);
    bool grown = false;
    for (int c = 0; c < layout.count() && c < m_model->columnCount(); ++c) {
        GridColumn &column = layout.columns[c];
        const bool money = isMoneyColumn(column);
        // A column's width includes its grid line.
        const int wanted = column.preferredWidth + (m_view->showGrid() ? 1 : 0);
        if (!money || wanted <= m_view->columnWidth(c))
            continue;
        column.width = wanted;
        m_view->setColumnWidth(c, wanted);
        grown = true;
    }
    if (grown)
        emit columnsGrown();
}

void GridController::applySortIndicator()
{
    if (!m_view)
        return;
    QHeaderView *header = m_view->horizontalHeader();
    const int mark = m_workspace.grid(m_grid).sortMark;
    if (mark == 0) {
        header->setSortIndicatorShown(false);
        return;
    }
    header->setSortIndicatorShown(true);
    QSignalBlocker block(header);
    header->setSortIndicator(qAbs(mark) - 1, mark > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void GridController::followTableCursor()
{
    if (!m_view)
        return;
    RecordTable &table = m_model->table();
    if (!table.isActive() || table.viewsSuspended())
        return;
    const int row = table.rowNumber() - 1;
    if (row >= 0 && row < m_model->rowCount()) {
        // A new view of the table (filter, sort, load) resets the model and
        // with it the current index: the column stays the one last shown.
        int column = m_view->currentIndex().isValid() ? m_view->currentIndex().column() : m_lastColumn;
        if (column < 0 || column >= m_model->columnCount() || m_view->isColumnHidden(column))
            column = qMin(3, m_model->columnCount() - 1);
        const QModelIndex index = m_model->index(row, column);
        if (index != m_view->currentIndex()) {
            m_syncing = true;
            m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            m_syncing = false;
        }
        // Bring the row into view without scrolling sideways.
        const int horizontal = m_view->horizontalScrollBar()->value();
        m_view->scrollTo(index);
        m_view->horizontalScrollBar()->setValue(horizontal);
    }
    if (m_sideBar && row >= 0) {
        QSignalBlocker block(m_sideBar);
        m_sideBar->setValue(row * ScrollUnitsPerRow);
    }
    updateHint();
}

void GridController::onCurrentChanged()
{
    if (m_view && m_view->currentIndex().isValid())
        m_lastColumn = m_view->currentIndex().column();
    updateHint();
    if (m_syncing || m_model->isChangingRows())
        return;
    RecordTable &table = m_model->table();
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid() || !table.isActive() || table.viewsSuspended())
        return;
    if (table.rowNumber() != current.row() + 1) {
        m_syncing = true;
        table.setRowNumber(current.row() + 1);
        m_syncing = false;
    }
    if (m_sideBar) {
        QSignalBlocker block(m_sideBar);
        m_sideBar->setValue(current.row() * ScrollUnitsPerRow);
    }
}

void GridController::updateHint()
{
    m_hint = hintOf(m_view ? m_view->currentIndex() : QModelIndex());
}

QString GridController::hintOf(const QModelIndex &cell) const
{
    if (!cell.isValid() || m_grid != Workspace::Grid::Price)
        return QString();
    // The row's own hint (how a search found it) comes first.
    QString hint = cell.data(Qt::ToolTipRole).toString();
    const QVariant oldPrice = cell.data(RecordTableModel::OldPriceRole);
    if (!oldPrice.isValid())
        return hint;
    const double o = oldPrice.toDouble();
    const double p = cell.data(RecordTableModel::RawValueRole).toDouble();
    if (o != p && o > 0) {
        if (!hint.isEmpty())
            hint += QStringLiteral("; ");
        hint += QStringLiteral("Старая цена: ") + m_workspace.formatMoney(o) + QStringLiteral("; изменение цены: ")
            + m_workspace.formatMoney(p - o);
    }
    return hint;
}

QString GridController::selectedCellText() const
{
    if (!m_view)
        return QString();
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return QString();
    return m_model->displayText(current.row(), current.column());
}

QString GridController::selectedFieldName() const
{
    const GridColumn *column = m_model->column(selectedColumn());
    return column ? column->fieldName : QString();
}

int GridController::selectedColumn() const
{
    if (!m_view)
        return -1;
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? current.column() : -1;
}

void GridController::setSelectedColumn(int column)
{
    if (!m_view)
        return;
    const QModelIndex current = m_view->currentIndex();
    const int row = current.isValid() ? current.row() : qMax(0, m_model->table().rowNumber() - 1);
    if (row < m_model->rowCount() && column >= 0 && column < m_model->columnCount())
        m_view->selectionModel()->setCurrentIndex(m_model->index(row, column), QItemSelectionModel::ClearAndSelect);
}

void GridController::titleClicked(int column)
{
    m_workspace.grid(m_grid).pendingTitleClick = column + 1;
}

void GridController::titleDoubleClicked(int column)
{
    GridLayout &layout = m_workspace.grid(m_grid);
    const int g = layout.pendingTitleClick;
    if (g == 0 || g != column + 1)
        return;
    const GridColumn *c = m_model->column(column);
    RecordTable &table = m_model->table();
    if (!c || !table.isActive()) {
        layout.pendingTitleClick = 0;
        return;
    }
    if (m_grid == Workspace::Grid::Price) {
        if (g <= 1 || c->fieldPosition < 0) {
            layout.pendingTitleClick = 0;
            return;
        }
        const QString field = table.field(c->fieldPosition).name;
        const bool reverse = layout.sortMark == g;
        table.setIndexName((reverse ? QStringLiteral("Rev") : QStringLiteral("Pre")) + field);
        layout.sortMark = reverse ? -g : g;
        layout.pendingTitleClick = 0;
        if (const auto afterScroll = table.afterScroll())
            afterScroll();
    } else {
        if (g < 2 || c->fieldPosition < 0) {
            layout.pendingTitleClick = 0;
            return;
        }
        const bool reverse = layout.sortMark == g;
        table.sortOnField(table.field(c->fieldPosition).name, reverse);
        layout.sortMark = reverse ? -g : g;
        layout.pendingTitleClick = 0;
    }
    applySortIndicator();
}

void GridController::fitColumn(int column)
{
    if (!m_view)
        return;
    const GridLayout &layout = m_workspace.grid(m_grid);
    if (column < 0 || column >= layout.count())
        return;
    m_view->setColumnWidth(column, layout.columns.at(column).preferredWidth);
}

int GridController::sideBarRange() const
{
    if (!m_sideBar)
        return 0;
    return m_sideBar->maximum();
}

void GridController::layoutSideBar()
{
    if (!m_sideBar || !m_view)
        return;
    RecordTable &table = m_model->table();
    if (!table.isActive()) {
        QSignalBlocker block(m_sideBar);
        m_sideBar->setRange(0, 0);
        m_sideBar->setValue(0);
        m_sideBar->hide();
        m_view->setContentsMargins(0, 0, 0, 0);
        return;
    }
    const int width = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    // The bar lies over the grid's right edge; the cells end where it begins.
    if (m_view->contentsMargins().right() != width)
        m_view->setContentsMargins(0, 0, width, 0);
    const QRect geometry = m_view->geometry();
    m_sideBar->setGeometry(geometry.right() - width + 1, geometry.top(), width, geometry.height());
    m_sideBar->show();
    m_sideBar->raise();
    QSignalBlocker block(m_sideBar);
    m_sideBar->setRange(0, table.rowCount() * ScrollUnitsPerRow + m_sideBar->height() - 1);
    m_sideBar->setValue(qMax(0, table.rowNumber() - 1) * ScrollUnitsPerRow);
}

void GridController::wheelRows(int angle)
{
    // Each notch of the wheel (120 units; a smooth wheel sends parts) moves
    // the current row by one, down for a turn towards the user.
    m_wheelAngle += angle;
    const int notches = m_wheelAngle / 120;
    if (notches == 0)
        return;
    m_wheelAngle -= notches * 120;
    RecordTable &table = m_model->table();
    if (!table.isActive() || table.viewsSuspended() || table.rowCount() == 0)
        return;
    const int row = qBound(1, table.rowNumber() - notches, table.rowCount());
    if (row != table.rowNumber())
        table.setRowNumber(row);
}

void GridController::onSideBarMoved(int value)
{
    RecordTable &table = m_model->table();
    if (!table.isActive() || table.rowNumber() == 0)
        return;
    const int row = value / ScrollUnitsPerRow + 1;
    table.setRowNumber(qMin(row, table.rowCount()));
    emit statusText(QStringLiteral(" Row: %1").arg(row));
}

bool GridController::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as plain objects: events also arrive while the view is being
    // destroyed, when it is no longer a table view.
    if (watched == m_viewObject && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            emit activated();
            return true;
        }
        if (m_grid == Workspace::Grid::Order && (key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Delete)) {
            emit removeRequested();
            return true;
        }
        if (m_grid == Workspace::Grid::Price && !key->text().isEmpty()) {
            const QChar ch = key->text().at(0);
            const bool printable = ch == QLatin1Char(' ') || (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))
                || (ch.toLatin1() != 0 && ch.isLetter()) || (ch.unicode() >= 0x0410 && ch.unicode() <= 0x044F);
            if (printable) {
                emit characterTyped(QString(ch));
                return true;
            }
        }
    }
    if (watched == m_viewportObject && event->type() == QEvent::ToolTip) {
        // The hint of the cell under the pointer.
        const auto *help = static_cast<QHelpEvent *>(event);
        const QString hint = m_view ? hintOf(m_view->indexAt(help->pos())) : QString();
        if (!hint.isEmpty())
            QToolTip::showText(help->globalPos(), hint, m_view);
        else
            QToolTip::hideText();
        return true;
    }
    if ((watched == m_viewportObject || watched == m_fixedViewport) && event->type() == QEvent::Wheel) {
        // The wheel moves the current row; the grid follows it (and the
        // side bar with it) instead of scrolling on its own.
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier))
            return false;
        wheelRows(wheel->angleDelta().y());
        wheel->accept();
        return true;
    }
    if (watched == m_viewObject && event->type() == QEvent::Resize) {
        layoutSideBar();
        // A new size (a smaller window, a window manager's tiling) keeps the
        // current row in sight when it was, once the grid has laid out its
        // viewport for the size.
        const QModelIndex current = m_view ? m_view->currentIndex() : QModelIndex();
        if (current.isValid() && m_view->viewport()->rect().intersects(m_view->visualRect(current))) {
            QTimer::singleShot(0, this, [this, row = QPersistentModelIndex(current)] {
                if (m_view && row.isValid() && row == m_view->currentIndex()
                    && !m_view->viewport()->rect().contains(m_view->visualRect(row)))
                    followTableCursor();
            });
        }
    }
    return false;
}
