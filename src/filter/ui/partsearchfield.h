#pragma once

#include <QWidget>

class GridController;
class PriceSearch;
class QLineEdit;
class Workspace;

// The search field "Поиск" by the price grid: what is typed shows at once
// as the price grid's ranked hits on top of the active filters. Enter or
// Down moves to the first hit in the grid (where Enter adds the part as
// always); Esc, in the field or in the grid while a search shows, clears
// the search and brings the previous rows and current row back. The grid's
// hint of a row says how it was found.
class PartSearchField final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PartSearchField)

public:
    PartSearchField(Workspace &workspace, GridController *priceGrid, QWidget *lookupBox, QWidget *parent = nullptr);
    ~PartSearchField() override;

    QLineEdit *edit() const { return m_edit; }
    // Puts the keyboard into the field with its text selected (Ctrl+K).
    void focusField();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void toFirstHit();
    void clearSearch();

    Workspace &m_workspace;
    PriceSearch *m_search = nullptr;
    GridController *m_grid = nullptr;
    QWidget *m_lookupBox = nullptr;
    QLineEdit *m_edit = nullptr;
};
