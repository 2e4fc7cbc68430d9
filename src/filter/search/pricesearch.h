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
// previous view and current row back when the search is cleared. Sets the
// filter status line to "Поиск: «…» — найдено N" while a search shows.
// Lives as a child of the workspace; only the window installs it.
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
    // Ends the search: the view of the filters and the row that was current
    // before the search came back.
    void clear();

    bool isActive() const { return m_active; }
    QString text() const { return m_text; }
    int foundCount() const; // rows of the view while a search shows
    // How the row at this view position was found ("Найдено: артикул"),
    // empty when no search shows.
    QString hint(int viewRow) const;

    const PartSearch &index() const { return m_index; }

signals:
    // The search began, changed or ended.
    void changed();
    // The search was ended from outside (a new or closed list).
    void reset();

private:
    explicit PriceSearch(Workspace &workspace);
    void showStatus();
    void end(bool restoreRow);

    Workspace &m_workspace;
    PartSearch m_index;
    PartSearch::Result m_result;
    mutable std::vector<uint64_t> m_hitOfRow; // (row << 32) | hit, sorted, made for the first hint
    bool m_active = false;
    QString m_text;
    std::optional<qint64> m_codeBefore; // current part before the search
};
