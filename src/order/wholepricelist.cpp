#include "wholepricelist.h"

#include "inordermark.h"
#include "pricefields.h"
#include "recordtable.h"

WholePriceList::WholePriceList(const RecordTable &price)
    : m_rows(price.clone())
{
    if (price.isActive())
        m_flagField = PriceFields::of(price, PriceFields::AvailabilityFlag);
}

WholePriceList::~WholePriceList() = default;

bool WholePriceList::find(const QVariant &code)
{
    if (m_flagField < 0 || code.isNull())
        return false;
    return m_rows->locate(PriceFields::name(PriceFields::Code), code);
}

void WholePriceList::mark()
{
    Availability::setInOrder(*m_rows, m_flagField, true);
}

void WholePriceList::unmark()
{
    Availability::setInOrder(*m_rows, m_flagField, false);
}
