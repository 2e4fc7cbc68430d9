#include "lookupgridprice.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTableView>

#include "gridcontroller.h"
#include "pricelookup.h"
#include "readablecolour.h"
#include "workspace.h"

LookupGridPrice::LookupGridPrice(Workspace &workspace, GridController *priceGrid)
    : QLineEdit(priceGrid->view())
    , m_workspace(workspace)
    , m_grid(priceGrid)
{
    setObjectName(QStringLiteral("LookupGridPrice"));
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    // The tooltip's colours, its text kept readable on its background (some
    // dark palettes give tooltips light text on a light background).
    QPalette colours = palette();
    const QColor background = colours.color(QPalette::ToolTipBase);
    colours.setColor(QPalette::Base, background);
    colours.setColor(QPalette::Text, ReadableColour::on(colours.color(QPalette::ToolTipText), background));
    setPalette(colours);
    setFocusPolicy(Qt::ClickFocus); // no tab stop
    setFrame(true);
    hide();
}

LookupGridPrice::~LookupGridPrice() = default;

void LookupGridPrice::start(const QString &typed)
{
    if (!m_grid || typed.isEmpty() || m_grid->selectedColumn() < 0)
        return;
    m_lookupField = m_grid->selectedFieldName();
    place();
    show();
    clear();
    setFocus(Qt::OtherFocusReason);
    raise();
    const QChar ch = typed.at(0);
    if (offer(ch))
        setText(QString(ch));
    place();
}

void LookupGridPrice::place()
{
    if (!m_grid)
        return;
    QTableView *view = m_grid->view();
    const int column = m_grid->selectedColumn();
    if (column < 0)
        return;
    const QRect viewport = view->viewport()->geometry();
    const int rowHeight = qMax(1, view->verticalHeader()->defaultSectionSize());
    const int firstRow = qMax(0, view->rowAt(0));
    const int rows = view->model() ? view->model()->rowCount() : 0;
    const int shownRows = qBound(0, qMin(viewport.height() / rowHeight, rows - firstRow), rows);
    const int left = viewport.left() + view->columnViewportPosition(column);
    // Under the last row shown; where the rows leave too little room above
    // the grid's foot (a horizontal scroll bar there), as low as the box
    // still shows whole.
    const int lowest = viewport.bottom() + 1 - BoxHeight;
    int top = qMax(viewport.top(), qMin(viewport.top() + shownRows * rowHeight, lowest));
    // The row found is never under the box: the grid scrolls on by rows,
    // or, at the end of the list, the box goes just above the row.
    const QModelIndex current = view->currentIndex();
    QScrollBar *bar = view->verticalScrollBar();
    while (current.isValid()) {
        const QRect row = view->visualRect(current).translated(viewport.topLeft());
        if (row.isEmpty() || row.bottom() < top || row.top() >= top + BoxHeight)
            break;
        const int scrolled = bar->value();
        if (row.top() > viewport.top() && scrolled < bar->maximum()) {
            bar->setValue(scrolled + 1);
            if (bar->value() != scrolled)
                continue;
        }
        if (row.top() - BoxHeight >= viewport.top())
            top = row.top() - BoxHeight;
        break;
    }
    setGeometry(left, top, view->columnWidth(column) + 2, BoxHeight);
}

bool LookupGridPrice::offer(QChar ch)
{
    return PriceLookup::offer(m_workspace.price(), m_lookupField, text(), ch);
}

void LookupGridPrice::returnToGrid()
{
    if (m_grid)
        m_grid->view()->setFocus(Qt::OtherFocusReason);
    hide();
}

bool LookupGridPrice::event(QEvent *event)
{
    // Tab would move the focus along the window's chain before reaching
    // keyPressEvent; here it returns to the grid like Enter.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            returnToGrid();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void LookupGridPrice::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        // Enter adds only the part the text names; a text that names no row
        // (part of a code, a letter refused) adds nothing and stays, so the
        // buyer sees what was typed.
        if (!PriceLookup::identifiesCurrent(m_workspace.price(), m_lookupField, text()))
            return;
        // Back in the grid, the same Enter adds the part found.
        returnToGrid();
        emit confirmed();
        return;
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    // The keys 37 to 46 of the keyboard: arrows, Select, Print, Execute,
    // Print Screen, Insert and Delete.
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Select:
    case Qt::Key_Print:
    case Qt::Key_Execute:
    case Qt::Key_Insert:
    case Qt::Key_Delete:
        returnToGrid();
        event->accept();
        return;
    case Qt::Key_Backspace:
        if (offer(QChar(PriceLookup::Backspace))) {
            QLineEdit::keyPressEvent(event);
            place();
        } else {
            event->accept();
        }
        return;
    default:
        break;
    }
    if (event->text().isEmpty()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (offer(event->text().at(0))) {
        QLineEdit::keyPressEvent(event);
        place();
    } else {
        event->accept();
    }
}

void LookupGridPrice::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // The window losing the keyboard (another window, a menu, a compositor
    // handing the keyboard round) ends no search: the box stays, and the
    // keys come back to it with the window.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    hide();
}

void LookupGridPrice::hideEvent(QHideEvent *event)
{
    QLineEdit::hideEvent(event);
    // The keyboard is never left on the hidden box, not even while the
    // window is inactive (its focus widget is what gets the keys when it is
    // active again): it goes back to the grid.
    if (m_grid && window()->focusWidget() == this)
        m_grid->view()->setFocus(Qt::OtherFocusReason);
}
