#pragma once

#include <cstdint>
#include <vector>

#include <QtGlobal>

class RecordTable;

// Finds price rows by their codes, many codes one after another: through
// the list's code look-up table, without moving the cursor, whenever that
// gives the row a look-up in the view would give (the view is every stored
// row, and a code is on one row or the view keeps the stored order);
// otherwise through the view, as the cursor finds it. Rows are stored rows.
class PriceCodes final
{
public:
    // `table`: the active price table or a cursor over its rows.
    explicit PriceCodes(RecordTable &table);

    // The stored row of the first row with the code; -1 when none has it.
    qint64 find(qint64 code);
    // The same for many codes at once (rows[i] for codes[i]): one pass over
    // the list's codes unless their look-up table is already built, so that
    // a batch costs no table of every code.
    void findAll(const std::vector<qint64> &codes, std::vector<qint64> &rows);
    bool direct();

private:
    RecordTable &m_table;
    int m_codeField = -1;
    bool m_whole = false;       // the view is every stored row
    bool m_storedOrder = false; // ... in stored order
    int m_direct = -1;          // not yet known
    std::vector<uint32_t> m_rows;
};
