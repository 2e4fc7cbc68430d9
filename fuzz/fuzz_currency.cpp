// Reads arbitrary bytes as the price list's currency-rate line; the first
// two bytes choose the field separator and the decimal separator.
#include <cstdint>

#include "cp1251.h"
#include "currencylist.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QChar separator(Cp1251::toUnicode(data[0]));
    const QChar decimal = data[1] & 1 ? QLatin1Char(',') : QLatin1Char('.');
    const QString line = Cp1251::decode(QByteArrayView(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2)));
    CurrencyList list;
    list.rebuild(line, separator, decimal);
    if (list.count() < 1 || list.displayTexts(decimal).size() != list.count())
        Fuzz::fail("fuzz_currency", "the currency box lost the rouble or an entry");
    for (int i = 0; i < list.count(); ++i) {
        list.setSelectedIndex(i);
        list.selectSymbol(list.selected().symbol);
        if (list.selectedIndex() < 0 || list.selectedIndex() >= list.count())
            Fuzz::fail("fuzz_currency", "the selection left the list");
    }
    return 0;
}
