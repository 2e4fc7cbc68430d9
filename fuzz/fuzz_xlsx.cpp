// Reads arbitrary bytes as an xlsx workbook and as an ods table, each sheet
// to its end: every reported row holds data, is no wider than a sheet and
// comes once; the rows of an ods table come in order; a second reading
// stopped after the first row stops there. A workbook's sheet read on its
// bytes gives the same rows, notes and error as read as XML. Input that
// begins with "<" is the XML of a sheet (and, after a NUL, of the shared
// strings), packed here into a workbook, so that it is the XML that varies.
#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstring>

#include <type_traits>

#include "fuzzsupport.h"
#include "odsreader.h"
#include "ordixerror.h"
#include "xlsxreader.h"

namespace
{
    constexpr qsizetype MaxColumns = 16384;

    bool sameRow(const SheetRow &a, const SheetRow &b)
    {
        if (a.index != b.index || a.hidden != b.hidden || a.cells.size() != b.cells.size())
            return false;
        for (qsizetype c = 0; c < a.cells.size(); ++c) {
            const SheetCell &x = a.cells[c];
            const SheetCell &y = b.cells[c];
            if (x.kind != y.kind || std::memcmp(&x.number, &y.number, sizeof x.number) != 0 || x.text != y.text
                || x.numberFormat != y.numberFormat)
                return false;
        }
        return true;
    }

    // The rows of a sheet both ways, to its end; the error, if any.
    void compareBytes(const QString &path, int sheet)
    {
        QList<SheetRow> rows, bytes;
        QString error, bytesError;
        QStringList notes, bytesNotes;
        try {
            XlsxReader reader(path);
            reader.readSheet(sheet, [&](const SheetRow &row) {
                rows.append(row);
                return true;
            });
            notes = reader.notes();
        } catch (const OrdixError &e) {
            error = e.message();
        }
        try {
            XlsxReader reader(path);
            reader.readSheetBytes(sheet, [&](XlsxReader::ByteRows &batch) {
                for (const XlsxReader::ByteRows::Row &r : batch.rows) {
                    SheetRow row = r.slow >= 0 ? batch.slowRows[size_t(r.slow)] : SheetRow{r.index, r.hidden, {}};
                    for (quint32 c = 0; r.slow < 0 && c < r.count; ++c)
                        row.cells.append(reader.cellOf(batch.cells[r.first + c]));
                    bytes.append(row);
                }
                return true;
            });
            bytesNotes = reader.notes();
        } catch (const OrdixError &e) {
            bytesError = e.message();
        }
        if (error != bytesError)
            Fuzz::fail("fuzz_xlsx", "the bytes give another error");
        if (!error.isEmpty())
            return;
        if (notes != bytesNotes || rows.size() != bytes.size())
            Fuzz::fail("fuzz_xlsx", "the bytes give another number of rows or notes");
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (!sameRow(rows[r], bytes[r]))
                Fuzz::fail("fuzz_xlsx", "the bytes give another row");
        }
    }

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
                if constexpr (std::is_same_v<Reader, XlsxReader>)
                    compareBytes(path, s);
            }
        } catch (const OrdixError &) {
        }
    }

    // A workbook of one sheet with this XML, and these shared strings.
    void writeBook(const QString &path, const QByteArray &sheet, const QByteArray &strings)
    {
        const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
        const QList<std::pair<const char *, QByteArray>> members = {
            {"_rels/.rels",
             "<Relationships><Relationship Id=\"r\" Type=\"" + rel
                 + "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
            {"xl/workbook.xml", "<workbook><sheets><sheet name=\"S\" r:id=\"r1\"/></sheets></workbook>"},
            {"xl/_rels/workbook.xml.rels",
             "<Relationships><Relationship Id=\"r1\" Type=\"" + rel
                 + "worksheet\" Target=\"sheet1.xml\"/><Relationship Id=\"r2\" Type=\"" + rel
                 + "styles\" Target=\"styles.xml\"/></Relationships>"},
            {"xl/styles.xml",
             "<styleSheet><numFmts><numFmt numFmtId=\"164\" formatCode=\"000000\"/></numFmts>"
             "<cellXfs><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"14\"/>"
             "</cellXfs></styleSheet>"},
            {"xl/sharedStrings.xml", strings},
            {"xl/sheet1.xml", sheet}};
        archive *zip = archive_write_new();
        archive_write_set_format_zip(zip);
        archive_write_open_filename(zip, QFile::encodeName(path).constData());
        for (const auto &[name, bytes] : members) {
            archive_entry *entry = archive_entry_new();
            archive_entry_set_pathname(entry, name);
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, bytes.size());
            archive_write_header(zip, entry);
            archive_write_data(zip, bytes.constData(), size_t(bytes.size()));
            archive_entry_free(entry);
        }
        archive_write_close(zip);
        archive_write_free(zip);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = Fuzz::bytes(data, size);
    const QString path = Fuzz::path(QStringLiteral("book.bin"));
    if (input.startsWith('<')) {
        const qsizetype nul = input.indexOf('\0');
        writeBook(path, nul < 0 ? input : input.left(nul), nul < 0 ? QByteArray() : input.mid(nul + 1));
        readAll<XlsxReader>(path, false);
        return 0;
    }
    Fuzz::writeFile(QStringLiteral("book.bin"), input);
    readAll<XlsxReader>(path, false);
    readAll<OdsReader>(path, true);
    return 0;
}
