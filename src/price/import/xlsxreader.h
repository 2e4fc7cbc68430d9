#pragma once

#include <vector>

#include <QHash>

#include "sheetreader.h"
#include "zipstream.h"

// Reads an Excel 2007+ workbook (xlsx, xlsm). The constructor reads the
// small parts (the workbook with its sheet list, the number formats of the
// cell styles, the shared strings); readSheet() streams one sheet's part
// straight from the archive, so the first rows arrive at once and a large
// sheet never sits in memory.
class XlsxReader final : public SheetReader
{
public:
    explicit XlsxReader(const QString &path);
    XlsxReader(const QString &path, const ZipStream::Limits &limits);

    QString formatName() const override { return QStringLiteral("xlsx"); }
    QList<SheetInfo> sheets() const override;
    void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) override;
    bool uses1904Dates() const override { return m_1904; }
    QList<int> hiddenColumns() const override { return m_hiddenColumns; }
    QStringList notes() const override { return m_notes; }

    // The code of a built-in number format ("0.00" for 2); empty for an id
    // that has no code of its own.
    static QString builtInFormat(int id);

    // One cell of a row read on its bytes: its text in Windows-1251, or its
    // number with the cell's style.
    struct ByteCell
    {
        enum class Kind : quint8
        {
            Empty,
            Text,    // `text`, `size`: Windows-1251
            Number,  // `number`, `index`
            Unicode, // a shared string with a character Windows-1251 lacks: `index`
        };
        Kind kind = Kind::Empty;
        // The text lies in the batch's `text`: `text` holds its offset
        // there until the batch is handed out.
        bool own = false;
        qint32 size = 0;
        quint32 index = 0; // Number: the cell's style; Unicode: the shared string
        double number = 0;
        // Text: its bytes; Number: the fraction as written, where kept.
        const char *text = nullptr;
    };
    // Rows of a sheet read on their bytes, handed out in batches. A row the
    // byte scanner does not settle (rich text, a boolean, an odd tag) is
    // read as readSheet() reads it and kept whole in `slowRows`.
    struct ByteRows
    {
        struct Row
        {
            qint64 index = 0;
            bool hidden = false;
            qint32 slow = -1; // its place in `slowRows`; -1: its cells are `cells[first, first + count)`
            quint32 first = 0;
            quint32 count = 0; // the last cells may be empty
        };
        std::vector<Row> rows;
        std::vector<ByteCell> cells;
        std::vector<char> text;
        std::vector<SheetRow> slowRows;
        size_t slowUsed = 0;

        void clear()
        {
            rows.clear();
            cells.clear();
            text.clear();
            slowUsed = 0;
        }
    };
    // Streams the rows of sheet `sheet` as readSheet() does, a batch at a
    // time (of a few hundred rows), until the end or until `onRows` returns
    // false. `onRows` may swap the batch's memory with a spare one's.
    void readSheetBytes(int sheet, const std::function<bool(ByteRows &rows)> &onRows);
    // A cell of a byte row as readSheet() gives it.
    SheetCell cellOf(const ByteCell &cell) const;
    // The text of shared string `index` as readSheet() gives it (a copy
    // unless `borrowed`); null for an index past the strings.
    QString sharedText(qsizetype index, bool borrowed) const;
    // The number format code of each cell style.
    const QList<QString> &styleFormats() const { return m_styleFormats; }

private:
    struct Sheet
    {
        SheetInfo info;
        QString part; // the member's path in the archive
    };

    void readWorkbook();
    void readSharedStrings(ZipStream &zip, XmlScanner &scanner);

    const Sheet &sheetAt(int sheet) const;

    QString m_path;
    ZipStream::Limits m_limits;
    QList<Sheet> m_sheets;
    // The shared strings one after another in Windows-1251, the code page
    // of the price table, each ending where m_sharedEnds says: a million of
    // them cost their bytes and an offset each, not a string object each,
    // and a cell takes its text with no conversion. The few with a
    // character the code page lacks are empty there and kept whole in
    // m_sharedUnicode.
    std::vector<char> m_sharedBytes;
    std::vector<quint32> m_sharedEnds;
    QHash<qsizetype, QString> m_sharedUnicode;
    QList<QString> m_styleFormats; // the number format code of each cell style
    bool m_1904 = false;
    QList<int> m_hiddenColumns;
    QStringList m_notes;
};
