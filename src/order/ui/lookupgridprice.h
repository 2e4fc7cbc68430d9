#pragma once

#include <QLineEdit>
#include <QPointer>

class GridController;
class Workspace;

// The incremental search box over the price grid: a printable character
// typed in the grid opens it at the foot of the selected column; each further
// character moves the price list to the first row whose value in that column
// begins with the box's text, or is refused when there is none. Esc, Enter,
// Tab, the arrows, Insert and Delete return to the grid (Enter, when the text
// names the current row, then goes on to the grid: it adds the part found);
// the box hides when the focus moves elsewhere in the window, and the
// keyboard is then back on the grid.
class LookupGridPrice final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LookupGridPrice)

public:
    static constexpr int BoxHeight = 19;

    LookupGridPrice(Workspace &workspace, GridController *priceGrid);
    ~LookupGridPrice() override;

    // Starts a search with the character typed in the grid.
    void start(const QString &typed);
    // `LookupField`: the field searched, set when a search starts.
    QString lookupField() const { return m_lookupField; }
    // Places the box over the grid at the foot of the selected column.
    void place();

signals:
    // Enter in the box: the focus is back in the grid, whose Enter this is.
    void confirmed();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool offer(QChar ch);
    void returnToGrid();

    Workspace &m_workspace;
    QPointer<GridController> m_grid;
    QString m_lookupField;
};
