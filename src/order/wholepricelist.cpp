#include "wholepricelist.h"

#include "recordtable.h"
#include "workspace.h"

WholePriceList::WholePriceList(const RecordTable &price)
    : m_rows(price.clone())
{
    if (price.isActive())
        m_flagField = price.fieldByName(QStringLiteral("AvailabilityFlag"));
}

WholePriceList::~WholePriceList() = default;

bool WholePriceList::find(const QVariant &code)
{
    if (m_flagField < 0 || code.isNull())
        return false;
    return m_rows->locate(QStringLiteral("Code"), code);
}

void WholePriceList::mark()
{
    const qint64 flag = m_rows->asInteger(m_flagField);
    if (flag < Workspace::InOrderMark)
        setFlag(flag + Workspace::InOrderMark);
}

void WholePriceList::unmark()
{
    const qint64 flag = m_rows->asInteger(m_flagField);
    if (flag >= Workspace::InOrderMark)
        setFlag(flag - Workspace::InOrderMark);
}

void WholePriceList::setFlag(qint64 flag)
{
    m_rows->edit();
    try {
        m_rows->setInteger(m_flagField, flag);
        m_rows->post();
    } catch (...) {
        m_rows->cancel();
        throw;
    }
}
