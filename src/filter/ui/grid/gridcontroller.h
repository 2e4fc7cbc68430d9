#pragma once

#include <QList>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QScrollBar>
#include <QTableView>

#include "workspace.h"

class FixedColumnsView;
class RecordTableModel;

// Binds one grid (price or order) to its record table: the model, one
// delegate per kind of cell, the column layout, the current row kept in step
// with the table's cursor both ways, sorting by a double-click on a title,
// fitting a column by a double-click on its border, the old-price hint, and
// for the price grid the side scroll bar with 18 units a row.
class GridController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(GridController)

public:
    static constexpr int ScrollUnitsPerRow = 18;

    // `icons`: the eight availability pictures. `sideBar`: the price grid's
    // companion scroll bar (null for the order grid).
    GridController(Workspace &workspace, Workspace::Grid grid, QTableView *view, const QList<QPixmap> &icons,
                   QScrollBar *sideBar = nullptr, QObject *parent = nullptr);
    ~GridController() override;

    QTableView *view() const { return m_view; }
    // The view of the fixed leading columns laid over the grid.
    FixedColumnsView *fixedColumns() const { return m_fixed; }
    RecordTableModel *model() const { return m_model; }

    // Display text of the selected cell (empty when none).
    QString selectedCellText() const;
    // Field name of the selected column ("NPP" for the row number).
    QString selectedFieldName() const;
    int selectedColumn() const;
    void setSelectedColumn(int column);

    // A title click and a double-click, as the user makes them.
    void titleClicked(int column);
    void titleDoubleClicked(int column);
    // A double-click on the border right of `column`: fit it to its content.
    void fitColumn(int column);

    // The hint of the selected cell: how a search found its row, its old
    // price ("Старая цена: …"), or empty. The tool tip shows the hint of the
    // cell under the pointer.
    QString currentHint() const { return m_hint; }
    QString hintOf(const QModelIndex &cell) const;

    // Lays out the side scroll bar (position, range) and hides what must hide.
    void layoutSideBar();
    int sideBarRange() const;

    // Shows the table's current row as the grid's current row.
    void followTableCursor();

    // Widens the money columns (Price, SUM) that are narrower than their
    // PreferredWidth, the widest money text seen in them.
    void growMoneyColumns();

signals:
    // Enter or a double-click on a data cell: add (price) or edit (order).
    void activated();
    // A printable character typed in the grid (the incremental search).
    void characterTyped(const QString &text);
    // A key for the order grid's removal (Backspace or Delete).
    void removeRequested();
    // Text for the status line.
    void statusText(const QString &text);
    // Columns were widened to show their content.
    void columnsGrown();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void rebuildColumns();
    void applySortIndicator();
    void onCurrentChanged();
    void updateHint();
    void onSideBarMoved(int value);
    void wheelRows(int angle);

    Workspace &m_workspace;
    Workspace::Grid m_grid;
    // A plain pointer, cleared when the view is destroyed: a guarded pointer
    // would cast an object that is half destroyed while its children go.
    QTableView *m_view = nullptr;
    QObject *m_viewObject = nullptr;
    QObject *m_viewportObject = nullptr;
    RecordTableModel *m_model = nullptr;
    QList<QPixmap> m_icons;
    QPointer<QScrollBar> m_sideBar;
    QString m_hint;
    bool m_syncing = false;
    int m_afterScrollListener = -1;
    FixedColumnsView *m_fixed = nullptr;
    QObject *m_fixedViewport = nullptr;
    int m_lastColumn = -1;
    int m_wheelAngle = 0;
};
