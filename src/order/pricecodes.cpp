#include "pricecodes.h"

#include <algorithm>

#include "pricefields.h"
#include "recordtable.h"

PriceCodes::PriceCodes(RecordTable &table)
    : m_table(table)
    , m_codeField(PriceFields::of(table, PriceFields::Code))
{
    m_whole = !table.isFiltered() && !table.hasRowChoice() && !table.isLinked();
    m_storedOrder = table.indexName().isEmpty() && table.indexFields().isEmpty();
}

bool PriceCodes::direct()
{
    if (m_direct < 0)
        m_direct = m_whole && (m_storedOrder || m_table.storedValuesUnique(m_codeField)) ? 1 : 0;
    return m_direct == 1;
}

qint64 PriceCodes::find(qint64 code)
{
    if (!direct()) {
        if (!m_table.locate(PriceFields::name(PriceFields::Code), code))
            return -1;
        return m_table.storedRowAt(m_table.rowNumber() - 1);
    }
    m_table.storedRowsWithValue(m_codeField, double(code), m_rows);
    if (m_rows.empty())
        return -1;
    return *std::min_element(m_rows.begin(), m_rows.end());
}

void PriceCodes::findAll(const std::vector<qint64> &codes, std::vector<qint64> &rows)
{
    if (!m_whole) {
        rows.resize(codes.size());
        for (size_t i = 0; i < codes.size(); ++i)
            rows[i] = find(codes[i]);
        return;
    }
    std::vector<double> values(codes.begin(), codes.end());
    std::vector<char> shared;
    m_table.firstStoredRows(m_codeField, values, rows, shared);
    if (m_storedOrder)
        return;
    // In a sorted view the first of several rows with a code is the one
    // the view shows first.
    for (size_t i = 0; i < codes.size(); ++i) {
        if (shared[i]) {
            if (m_table.locate(PriceFields::name(PriceFields::Code), codes[i]))
                rows[i] = m_table.storedRowAt(m_table.rowNumber() - 1);
        }
    }
}
