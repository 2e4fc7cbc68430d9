#include "orderdocument.h"

#include <cmath>

#include "orderhistory.h"
#include "ordertable.h"

OrderDocument::OrderDocument(Workspace &workspace, QObject *parent)
    : QObject(parent)
    , m_table(QStringLiteral("OrderDataSet"))
    , m_history(std::make_unique<OrderHistory>(workspace))
{ }

OrderDocument::~OrderDocument() = default;

void OrderDocument::setFileName(const QString &fileName)
{
    if (m_fileName == fileName)
        return;
    m_fileName = fileName;
    emit fileNameChanged(m_fileName);
}

void OrderDocument::setModified(bool modified)
{
    if (m_modified == modified)
        return;
    m_modified = modified;
    emit modifiedChanged(m_modified);
}

void OrderDocument::recount()
{
    double total = 0;
    if (m_table.isActive()) {
        const uint32_t rows = m_table.storedRowCount();
        for (uint32_t r = 0; r < rows; ++r) {
            if (m_uncounted.isEmpty() || !m_uncounted.contains(m_table.storedInteger(r, OrderTable::Code)))
                total += m_table.storedFloat(r, OrderTable::SUM);
        }
    }
    // Compared bit for bit: a total that only looks the same still counts.
    if (m_total == total && std::signbit(m_total) == std::signbit(total))
        return;
    m_total = total;
    emit totalChanged(m_total);
}

void OrderDocument::setSumTexts(const QString &payable, const QString &undiscounted)
{
    m_payable = payable;
    m_undiscounted = undiscounted;
}
