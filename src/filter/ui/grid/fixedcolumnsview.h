#pragma once

#include <QTableView>

// The leading columns of a grid that stay in place while the grid scrolls
// sideways: a second view laid over the grid's left edge, on the same model
// and the same selection, showing only the first `count` columns. It follows
// the grid's rows, column widths and size; the grid keeps the focus. The
// grid's owner gives it the same cell delegates as the grid.
//
// Its rows are the grid's rows: it uses the grid's own (hidden) row header,
// so the row count, the row height and the position of the top row are one
// and the same for both, and a list of a million rows costs no second set
// of per-row sections.
class FixedColumnsView final : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FixedColumnsView)

public:
    explicit FixedColumnsView(QTableView *grid);
    ~FixedColumnsView() override;

    int count() const { return m_count; }
    // Shows the first `count` columns of the grid (none: the view hides).
    void setCount(int count);
    // Width of the fixed columns as the grid shows them.
    int fixedWidth() const;
    // Takes the grid's column widths, hidden columns, row height and size.
    void follow();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // Scrolls the grid sideways so that its current cell is not under the
    // fixed columns.
    void uncoverCurrent();

    QTableView *m_grid;
    // Compared by address only: the grid may be half destroyed when its
    // last events arrive.
    QWidget *m_gridViewport;
    int m_count = 0;
};
