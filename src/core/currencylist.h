#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "settings.h"

// The currencies the settings dialog offers and the one selected among them.
// It starts with the rouble alone; the price loader rebuilds it from the
// price list's currency-rate line and every showing of the dialog rebuilds it
// again from the line kept in the settings.
class CurrencyList final
{
public:
    CurrencyList();

    // The rouble first, then one entry per complete triple of a line that
    // starts with "курс". The selection goes back to the first entry.
    void rebuild(const QString &rateLine, QChar separator, QChar decimalSeparator);
    // Selects the entry whose sign equals `symbol` (the last one when several
    // do); the first entry when none does.
    void selectSymbol(const QString &symbol);
    // The selected entry; the first when none is selected.
    RCurrency selected() const;
    int selectedIndex() const { return m_selected; }
    // Out-of-range values select nothing.
    void setSelectedIndex(int index);

    const QList<RCurrency> &entries() const { return m_entries; }
    int count() const { return int(m_entries.size()); }
    // The texts of the currency box: "Рубль (р.)", "Доллар ($) - 28.50".
    QStringList displayTexts(QChar decimalSeparator) const;

private:
    QList<RCurrency> m_entries;
    int m_selected = 0;
};
