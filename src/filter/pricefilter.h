#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "filterbuilder.h"

class Workspace;

// The price list's filter state at work: combines the price-list condition
// with the car-model condition into the one filter of the price table, keeps
// the current part in view, and runs the three filter commands (FilterCreate,
// FilterQ, FilterPrice). Owns the filter builder and with it the filter
// dialog's state. Lives as a child of the workspace for the whole run.
class PriceFilter final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PriceFilter)

public:
    // Creates the workspace's price filter (once) and sets the handlers of
    // FilterCreate, FilterQ and FilterPrice.
    static PriceFilter *install(Workspace &workspace);
    // The installed price filter, or null.
    static PriceFilter *of(const Workspace &workspace);

    FilterBuilder &builder() { return m_builder; }
    const FilterBuilder &builder() const { return m_builder; }

    // RunFilterDialog: shows the dialog (which writes its state into the
    // builder) and answers false only for "Очистить". Without a runner the
    // dialog counts as closed with "Применить" and unchanged.
    using DialogRunner = std::function<bool()>;
    void setDialogRunner(DialogRunner runner) { m_dialogRunner = std::move(runner); }
    // The field name of the price grid's selected column ("NPP" for the row
    // number, empty when none), read by FilterQ.
    void setSelectedField(std::function<QString()> selectedField) { m_selectedField = std::move(selectedField); }
    // Lays out the price grid's side scroll bar.
    void setSideBarRefresh(std::function<void()> refresh) { m_sideBarRefresh = std::move(refresh); }

    // ApplyPriceFilter: recomputes the price table's filter from the filter
    // state. A refused expression leaves the list unfiltered and both
    // conditions inactive, without a message.
    void applyPriceFilter();
    // Fills FilterStatusLabel's text and hint from the filter state.
    void refreshStatusLabel();
    // After a price list was loaded: applies the kept conditions to its rows
    // (when nothing filtered them yet), so the label, FilterPrice's caption
    // and the rows agree.
    void applyToNewList();

    void filterCreate();
    void filterQ();
    void filterPrice();

    // The part's own code joined with its analogue list, for FilterQ.
    static QString analogueList(const QString &code, const QString &analogue);

signals:
    // The filter state was applied (the active flags may have changed).
    void applied();

private:
    explicit PriceFilter(Workspace &workspace);
    void showFilterPriceCaption();

    Workspace &m_workspace;
    FilterBuilder m_builder;
    DialogRunner m_dialogRunner;
    std::function<QString()> m_selectedField;
    std::function<void()> m_sideBarRefresh;
};
