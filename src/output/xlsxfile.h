#pragma once

#include <QByteArray>
#include <QString>

class XlSheet;

// Writes a one-sheet workbook in the spreadsheet's XML format (.xlsx) with
// libxlsxwriter: every cell with its value and complete format, the merged
// areas, the column widths and the row heights of the sheet; the whole-sheet
// format on every column and on every row whose height is given.
namespace XlsxFile
{
    // The workbook's bytes. Throws OrdixError when the library fails.
    QByteArray encode(const XlSheet &sheet);
    // Replaces the file atomically: a failure leaves no partial file and any
    // earlier file as it was. Throws OrdixError with a clear text.
    void write(const XlSheet &sheet, const QString &path);
}
