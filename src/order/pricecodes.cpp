#include "pricecodes.h"

#include <algorithm>

#include "recordtable.h"

PriceCodes::PriceCodes(RecordTable &table)
    : m_table(table)
    , m_codeField(table.fieldByName(QStringLiteral("Code")))
{
    const bool whole = !table.isFiltered() && !table.hasRowChoice() && !table.isLinked();
    const bool storedOrder = table.indexName().isEmpty() && table.indexFields().isEmpty();
    m_direct = whole && (storedOrder || table.storedValuesUnique(m_codeField));
}

qint64 PriceCodes::find(qint64 code)
{
    if (!m_direct) {
        if (!m_table.locate(QStringLiteral("Code"), code))
            return -1;
        return m_table.storedRowAt(m_table.rowNumber() - 1);
    }
    m_table.storedRowsWithValue(m_codeField, double(code), m_rows);
    if (m_rows.empty())
        return -1;
    return *std::min_element(m_rows.begin(), m_rows.end());
}
