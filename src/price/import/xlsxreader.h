#pragma once

#include <vector>

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

private:
    struct Sheet
    {
        SheetInfo info;
        QString part; // the member's path in the archive
    };

    void readWorkbook();

    QString m_path;
    ZipStream::Limits m_limits;
    QList<Sheet> m_sheets;
    // The shared strings one after another in one buffer, each ending
    // where m_sharedEnds says: a million of them cost their characters and
    // an offset each, not a string object each.
    QString m_sharedText;
    std::vector<quint32> m_sharedEnds;
    QList<QString> m_styleFormats; // the number format code of each cell style
    bool m_1904 = false;
    QList<int> m_hiddenColumns;
    QStringList m_notes;
};
