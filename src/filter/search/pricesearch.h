#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "partsearch.h"

class Workspace;

// The part search at work on the workspace's price list: keeps the index of
// the loaded list (built once per load), shows a query's hits as the price
// table's view on top of the active filters, ranked, and brings the
// previous view and current row back when the search is cleared. Its status
// line ("Поиск: «…» — найдено N") tells the words searched and the hits the
// filters hide; the filter status line stays the filters' own. Lives as a
// child of the workspace; only the window installs it.
class PriceSearch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PriceSearch)

public:
    static PriceSearch *install(Workspace &workspace);
    static PriceSearch *of(const Workspace &workspace);

    // A price list was loaded: the index is built for it, any search ends.
    void priceLoaded();
    // The price list was closed: the index goes, any search ends.
    void priceClosed();

    // Shows the hits of the text; an empty text clears the search.
    void search(const QString &text);
    // Shows every hit of the search, the filters set aside until it ends
    // (they stay set, and hold again once the search ends or a filter is
    // applied).
    void searchWholeList();
    // Ends the search: the view of the filters comes back with the row that
    // was current before the search, or, when a filter applied meanwhile
    // hides that row, with the row current now.
    void clear();

    bool isActive() const { return m_active; }
    bool isWholeList() const { return m_active && m_wholeList; }
    QString text() const { return m_text; }
    int foundCount() const;  // rows of the view while a search shows
    int hiddenCount() const; // hits the filters keep out of the view
    // "Поиск: «масло» (другая раскладка) — найдено 160"; empty when no
    // search shows. hiddenText() is its tail for the hidden hits ("ещё 3
    // скрыто фильтром", empty when none), which statusText() includes.
    QString statusText() const;
    QString hiddenText() const;
    // How the row at this view position was found: found() for the grid's
    // column ("аналог 103"), hint() for its tool tip ("Найдено: аналог
    // 103"); empty when no search shows.
    QString found(int viewRow) const;
    QString hint(int viewRow) const;

    const PartSearch &index() const { return m_index; }

signals:
    // The search began, changed or ended, or a filter changed its hits.
    void changed();
    // The search was ended from outside (a new or closed list).
    void reset();

private:
    explicit PriceSearch(Workspace &workspace);
    void end(bool restoreRow);
    const PartSearch::Hit *hitAt(int viewRow) const;

    Workspace &m_workspace;
    PartSearch m_index;
    PartSearch::Result m_result;
    mutable std::vector<uint64_t> m_hitOfRow; // (row << 32) | hit, sorted, made for the first hint
    bool m_active = false;
    bool m_wholeList = false; // the filters set aside while the search shows
    QString m_text;
    std::optional<qint64> m_codeBefore; // current part before the search
};
