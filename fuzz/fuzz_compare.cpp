// Reads arbitrary bytes as the older price list of the comparison and writes
// the old prices into a loaded list: every row gets a finite old price.
#include <cmath>
#include <cstdint>

#include "fuzzsupport.h"
#include "ordixerror.h"
#include "pricecompare.h"
#include "priceloader.h"
#include "recordtable.h"
#include "textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Session &s = Fuzz::session();
    static const bool loaded = [&s] {
        TextFile::writeLines(Fuzz::path(QStringLiteral("ZOLT.TXT")),
                             {QStringLiteral("Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|ЦенаОпт"),
                              QStringLiteral("42|Болт М8|B-8|Завод А|10|12.50|11.00"),
                              QStringLiteral("43|Гайка М8||Завод Б|20|3.20|2.90"), QStringLiteral("44|Шайба")});
        PriceLoader::loadFile(s.ws, Fuzz::path(QStringLiteral("ZOLT.TXT")));
        return true;
    }();
    (void)loaded;
    Fuzz::writeFile(QStringLiteral("ZOLT_OLD.TXT"), Fuzz::bytes(data, size));
    try {
        const std::vector<double> prices =
            PriceCompare::readOldPrices(s.ws, Fuzz::path(QStringLiteral("ZOLT_OLD.TXT")));
        PriceCompare::applyOldPrices(s.ws, prices);
    } catch (const OrdixError &) {
        return 0;
    }
    RecordTable &table = s.ws.price();
    const int oldPrice = table.fieldByName(QStringLiteral("OldPrice"));
    for (int r = 0; r < table.rowCount(); ++r) {
        if (!table.isNullAt(r, oldPrice) && !std::isfinite(table.floatAt(r, oldPrice)))
            Fuzz::fail("fuzz_compare", "an old price is not a finite number");
    }
    return 0;
}
