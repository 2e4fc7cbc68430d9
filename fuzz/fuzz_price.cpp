// Loads arbitrary bytes as a price list (header detection, column mapping,
// conversion of every field) and then walks the table under every sort
// order: each order shows every loaded row once.
#include <cstdint>

#include "fuzzsupport.h"
#include "ordixerror.h"
#include "priceloader.h"
#include "recordtable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Session &s = Fuzz::session();
    Fuzz::writeFile(QStringLiteral("ZOLT.TXT"), Fuzz::bytes(data, size));
    try {
        PriceLoader::loadFile(s.ws, Fuzz::path(QStringLiteral("ZOLT.TXT")));
    } catch (const OrdixError &) {
        return 0;
    }
    RecordTable &table = s.ws.price();
    if (!table.isActive())
        return 0;
    const int rows = table.rowCount();
    for (const QString &index : table.indexNames()) {
        table.setIndexName(index);
        if (table.rowCount() != rows)
            Fuzz::fail("fuzz_price", "a sort order changed the number of rows");
        for (int r = 0; r < rows; ++r) {
            for (int f = 0; f < table.fieldCount(); ++f)
                (void)table.displayTextAt(r, f);
        }
    }
    return 0;
}
