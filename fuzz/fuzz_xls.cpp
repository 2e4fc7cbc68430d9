// Reads arbitrary bytes as an Excel 97–2003 workbook and every sheet in
// it: rows come in rising order inside a sheet's bounds, each holding
// something, and a second read of a sheet gives the same rows.
#include <algorithm>
#include <cstdint>

#include "fuzzsupport.h"
#include "ordixerror.h"
#include "xlsreader.h"

namespace
{
    QList<qint64> readIndexes(XlsReader &reader, int sheet)
    {
        QList<qint64> indexes;
        reader.readSheet(sheet, [&](const SheetRow &row) {
            if (row.index < 0 || row.index > 65535 || row.cells.size() > 256)
                Fuzz::fail("fuzz_xls", "a row outside the sheet's bounds");
            if (!indexes.isEmpty() && row.index <= indexes.last())
                Fuzz::fail("fuzz_xls", "rows out of order");
            if (std::all_of(row.cells.begin(), row.cells.end(), [](const SheetCell &cell) { return cell.isEmpty(); }))
                Fuzz::fail("fuzz_xls", "a row without anything in it");
            indexes.append(row.index);
            return true;
        });
        return indexes;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::bytes(data, size);
    (void)describeNotAWorkbook(bytes, QStringLiteral("fuzz.xls"));
    try {
        XlsReader reader(bytes, QStringLiteral("fuzz.xls"));
        for (int sheet = 0; sheet < reader.sheets().size(); ++sheet) {
            const QList<qint64> first = readIndexes(reader, sheet);
            if (readIndexes(reader, sheet) != first)
                Fuzz::fail("fuzz_xls", "a second read of a sheet differs");
        }
    } catch (const OrdixError &) {
        return 0;
    }
    return 0;
}
