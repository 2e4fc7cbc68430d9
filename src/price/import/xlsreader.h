#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "sheetreader.h"

// What a file that is not an Office 97–2003 container really is, as a
// message for the buyer naming `fileName` ("Файл … — не книга Excel, а
// страница HTML: …"): HTML pages, Excel 2003 XML tables, ZIP archives
// (.xlsx, .ods), text, PDF, RTF and Excel 2.x–4.0 sheets are told apart.
// Empty when `firstBytes` (the file's first few kilobytes) begin like an
// Office 97–2003 file.
QString describeNotAWorkbook(QByteArrayView firstBytes, const QString &fileName);

// Reads an Excel 97–2003 workbook (.xls). Only worksheets are listed;
// chart sheets and macro modules are left out. Cells report their cached
// values (formulas included) and, for numbers, the format code of their
// style. Excel 5.0/95 workbooks, encrypted workbooks and files that are
// not workbooks at all are refused with an OrdixError saying so.
class XlsReader final : public SheetReader
{
public:
    explicit XlsReader(const QString &path);
    // The workbook held in `bytes`; `fileName` names it in messages.
    XlsReader(const QByteArray &bytes, const QString &fileName);

    QString formatName() const override { return QStringLiteral("xls"); }
    QList<SheetInfo> sheets() const override;
    void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) override;
    bool uses1904Dates() const override { return m_1904; }
    QList<int> hiddenColumns() const override { return m_hiddenColumns; }
    QStringList notes() const override { return m_notes; }

private:
    struct Sheet
    {
        SheetInfo info;
        quint32 offset = 0;
        // Place among all the sheets of the workbook, charts included.
        int ordinal = 0;
    };

    void open(const QByteArray &bytes);
    [[noreturn]] void damaged() const;
    void readGlobals();
    void resolveFormats(const QHash<quint16, QString> &formats, const QList<quint16> &xfFormats);
    qsizetype sheetStart(const Sheet &sheet) const;

    QString m_fileName;
    QByteArray m_stream;
    QList<Sheet> m_sheets;
    QStringList m_strings;
    // The number format code of each cell style.
    QStringList m_xfFormats;
    bool m_1904 = false;
    QList<int> m_hiddenColumns;
    QStringList m_notes;
};
