// Reads arbitrary bytes as a delimited text list: the encoding and the
// separator are found, every row is read, and the same text fed to the
// decoder and the parser in pieces of a few bytes gives the same rows as
// the reader's blocks, and so does the split on the bytes. Every encoding
// the buyer can choose reads too.
#include <algorithm>
#include <cstdint>

#include "cp1251.h"
#include "cp1251cells.h"
#include "csvbytesplitter.h"
#include "csvdecoder.h"
#include "csvdetection.h"
#include "csvparser.h"
#include "csvreader.h"
#include "fuzzsupport.h"
#include "ordixerror.h"

namespace
{
    bool sameRow(const SheetRow &a, const SheetRow &b)
    {
        if (a.index != b.index || a.cells.size() != b.cells.size())
            return false;
        for (qsizetype c = 0; c < a.cells.size(); ++c) {
            if (a.cells[c].kind != b.cells[c].kind || a.cells[c].text != b.cells[c].text)
                return false;
        }
        return true;
    }

    QList<SheetRow> readAll(CsvReader &reader)
    {
        QList<SheetRow> rows;
        reader.readSheet(0, [&rows](const SheetRow &row) {
            if (!rows.isEmpty() && row.index <= rows.constLast().index)
                Fuzz::fail("fuzz_csv", "rows out of order");
            bool visible = false;
            for (const SheetCell &cell : row.cells) {
                if (cell.kind != SheetCell::Kind::Text)
                    Fuzz::fail("fuzz_csv", "a cell that is not text");
                visible = visible || !cell.text.trimmed().isEmpty();
            }
            if (!visible)
                Fuzz::fail("fuzz_csv", "a row without anything visible");
            rows << row;
            return true;
        });
        return rows;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::bytes(data, size);
    const QString path = Fuzz::path(QStringLiteral("list.csv"));
    Fuzz::writeFile(QStringLiteral("list.csv"), bytes);
    try {
        CsvReader reader(path);
        const QList<SheetRow> rows = readAll(reader);

        // The same in pieces of one to seven bytes.
        const CsvOptions used = reader.options();
        CsvDecoder decoder(used.encoding);
        QList<SheetRow> pieces;
        CsvParser pieceParser(char16_t(static_cast<unsigned char>(used.delimiter)), [&pieces](const SheetRow &row) {
            pieces << row;
            return true;
        });
        qsizetype at = CsvDetection::bomSize(bytes, used.encoding);
        for (qsizetype step = 1; at < bytes.size(); step = step % 7 + 1) {
            const qsizetype n = qMin(step, bytes.size() - at);
            pieceParser.feed(decoder.decode(QByteArrayView(bytes).sliced(at, n)));
            at += n;
        }
        pieceParser.feed(decoder.finish());
        pieceParser.finish();
        if (pieces.size() != rows.size())
            Fuzz::fail("fuzz_csv", "pieces give another number of rows");
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (!sameRow(rows[r], pieces[r]))
                Fuzz::fail("fuzz_csv", "pieces give another row");
        }

        // Split on the bytes: the records they settle as Windows-1251
        // fields, the others as text from their own bytes, the rows are
        // the same.
        if (CsvByteSplitter::handles(used.encoding, used.delimiter)) {
            CsvByteSplitter splitter(used.encoding, used.delimiter);
            CsvDecoder recordDecoder(used.encoding);
            QList<SheetRow> split;
            const auto keep = [&split](const SheetRow &row) {
                split << row;
                return true;
            };
            const QByteArrayView all = QByteArrayView(bytes).sliced(CsvDetection::bomSize(bytes, used.encoding));
            splitter.split(all, 0, [&](const CsvByteSplitter::Record &record) {
                if (record.raw.isEmpty())
                    Fuzz::fail("fuzz_csv", "an empty record");
                if (record.exact && std::any_of(record.fields, record.fields + record.count, Cp1251Cells::isFilled)) {
                    SheetRow &row = split.emplaceBack();
                    row.index = record.index;
                    for (qsizetype f = 0; f < record.count; ++f)
                        row.cells.append({SheetCell::Kind::Text, 0, Cp1251::decode(record.fields[f]), {}});
                    return;
                }
                CsvParser parser(char16_t(static_cast<unsigned char>(used.delimiter)), keep, record.index);
                parser.feed(recordDecoder.decode(record.raw));
                parser.feed(recordDecoder.finish());
                parser.finish();
                if (parser.nextRecord() != record.index + 1)
                    Fuzz::fail("fuzz_csv", "a record of the bytes is not one of the text");
            });
            if (split.size() != rows.size() || pieceParser.nextRecord() != splitter.nextRecord()
                || pieceParser.unclosedQuoteRecord() != splitter.unclosedQuoteRecord())
                Fuzz::fail("fuzz_csv", "the bytes give another number of rows");
            for (qsizetype r = 0; r < rows.size(); ++r) {
                if (!sameRow(rows[r], split[r]))
                    Fuzz::fail("fuzz_csv", "the bytes give another row");
            }
        }

        // Whatever the buyer chooses reads.
        const QList<QByteArray> encodings = CsvReader::encodings();
        CsvReader forced(path, {encodings[qsizetype(size % size_t(encodings.size()))], ','});
        readAll(forced);
    } catch (const OrdixError &) {
        return 0;
    }
    return 0;
}
