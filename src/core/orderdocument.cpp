#include "orderdocument.h"

#include <cmath>

OrderDocument::OrderDocument(QObject *parent)
    : QObject(parent)
{
}

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

void OrderDocument::setTotal(double total)
{
    // Compared bit for bit: a total that only looks the same still counts.
    if (m_total == total && std::signbit(m_total) == std::signbit(total))
        return;
    m_total = total;
    emit totalChanged(m_total);
}
