// Reads arbitrary bytes as an xlsx workbook and as an ods table, each sheet
// to its end: every reported row holds data, is no wider than a sheet and
// comes once; the rows of an ods table come in order; a second reading
// stopped after the first row stops there.
#include <cstdint>

#include "fuzzsupport.h"
#include "odsreader.h"
#include "ordixerror.h"
#include "xlsxreader.h"

namespace
{
    constexpr qsizetype MaxColumns = 16384;

    template<typename Reader>
    void readAll(const QString &path, bool ordered)
    {
        try {
            Reader reader(path);
            const int sheets = int(reader.sheets().size());
            for (int s = 0; s < sheets; ++s) {
                qint64 rows = 0;
                qint64 previous = -1;
                reader.readSheet(s, [&](const SheetRow &row) {
                    if (row.cells.size() > MaxColumns)
                        Fuzz::fail("fuzz_xlsx", "a row wider than a sheet");
                    bool data = false;
                    for (const SheetCell &cell : row.cells)
                        data = data || !cell.isEmpty();
                    if (!data)
                        Fuzz::fail("fuzz_xlsx", "a row without data was reported");
                    if (row.index < 0 || (ordered && row.index <= previous))
                        Fuzz::fail("fuzz_xlsx", "an ods row out of order");
                    previous = row.index;
                    return ++rows < 100000;
                });
                for (int c : reader.hiddenColumns()) {
                    if (c < 0 || c >= MaxColumns)
                        Fuzz::fail("fuzz_xlsx", "a hidden column outside the sheet");
                }
                (void)reader.notes();
                qint64 again = 0;
                reader.readSheet(s, [&](const SheetRow &) { return ++again < 1; });
                if (again != qMin<qint64>(rows, 1))
                    Fuzz::fail("fuzz_xlsx", "a reading stopped after the first row did not stop");
            }
        } catch (const OrdixError &) {
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::writeFile(QStringLiteral("book.bin"), Fuzz::bytes(data, size));
    const QString path = Fuzz::path(QStringLiteral("book.bin"));
    readAll<XlsxReader>(path, false);
    readAll<OdsReader>(path, true);
    return 0;
}
