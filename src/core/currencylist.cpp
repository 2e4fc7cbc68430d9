#include "currencylist.h"

CurrencyList::CurrencyList()
    : m_entries{RCurrency::rouble()}
{ }

void CurrencyList::rebuild(const QString &rateLine, QChar separator, QChar decimalSeparator)
{
    m_entries = Currencies::fromRateLine(rateLine, separator, decimalSeparator);
    if (m_entries.isEmpty())
        m_entries.append(RCurrency::rouble());
    m_selected = 0;
}

void CurrencyList::selectSymbol(const QString &symbol)
{
    m_selected = Currencies::indexOfSymbol(m_entries, symbol);
}

RCurrency CurrencyList::selected() const
{
    if (m_selected >= 0 && m_selected < count())
        return m_entries.at(m_selected);
    return m_entries.isEmpty() ? RCurrency::rouble() : m_entries.first();
}

void CurrencyList::setSelectedIndex(int index)
{
    m_selected = (index >= 0 && index < count()) ? index : -1;
}

QStringList CurrencyList::displayTexts(QChar decimalSeparator) const
{
    QStringList texts;
    texts.reserve(m_entries.size());
    for (int i = 0; i < count(); ++i)
        texts.append(Currencies::displayText(m_entries.at(i), i == 0, decimalSeparator));
    return texts;
}
