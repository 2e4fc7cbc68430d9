#pragma once

#include <memory>

#include <QVariant>

class RecordTable;

// A cursor over every row of the price list, whatever filter, model
// condition or order its grid shows: coordination and the in-order mark
// find a part by its code here, so a part hidden by the grid's filter is
// priced and marked like a visible one. Rows changed through it are the
// price table's own rows; the table's view is rebuilt from them on its next
// use (filter and order applied again). It must not outlive the price table.
class WholePriceList final
{
public:
    explicit WholePriceList(const RecordTable &price);
    ~WholePriceList();

    WholePriceList(const WholePriceList &) = delete;
    WholePriceList &operator=(const WholePriceList &) = delete;

    // Makes the row whose Code equals `code` current; false when no row has
    // it (an empty code finds nothing).
    bool find(const QVariant &code);
    // The cursor, on the row the last successful find() made current.
    RecordTable &rows() { return *m_rows; }

    // Adds the in-order mark to the current row when it does not carry it.
    void mark();
    // Takes the in-order mark off the current row when it carries it.
    void unmark();

private:
    std::unique_ptr<RecordTable> m_rows;
    int m_flagField = -1;
};
