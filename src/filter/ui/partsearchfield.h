#pragma once

#include <QWidget>

class GridController;
class PriceSearch;
class QLabel;
class QLineEdit;
class Workspace;

// The search field "Поиск" by the price grid: what is typed shows at once
// as the price grid's ranked hits on top of the active filters, with a
// column "Найдено" telling how each row was found. Enter or Down moves to
// the first hit in the grid (where Enter adds the part as always); Esc, in
// the field, on its link or in the grid while a search shows, clears the
// search and brings the previous rows and current row back; Shift+Tab in
// the grid comes back to the field. Beside the field the search's status
// line; when the filters hide hits, its "ещё N скрыто фильтром" is a link
// (a click, or Enter once Tab reached it) that searches the whole list.
class PartSearchField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PartSearchField)

public:
    PartSearchField(Workspace &workspace, GridController *priceGrid, QWidget *lookupBox, QWidget *parent = nullptr);
    ~PartSearchField() override;

    QLineEdit *edit() const { return m_edit; }
    QLabel *status() const { return m_status; }
    // The last of the field's widgets in the Tab order.
    QWidget *lastFocusable() const;
    // Puts the keyboard into the field with its text selected (Ctrl+K).
    void focusField();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void toFirstHit();
    void clearSearch();
    void searchWholeList();
    void showStatus();

    Workspace &m_workspace;
    PriceSearch *m_search = nullptr;
    GridController *m_grid = nullptr;
    QWidget *m_lookupBox = nullptr;
    QLineEdit *m_edit = nullptr;
    QLabel *m_status = nullptr;
};
