#pragma once

#include <QDate>
#include <QString>

#include "xlsheet.h"

class GridLayout;
class RecordTable;
class Workspace;

// The spreadsheet export: the order, the customer's details, the terms and the
// totals as a one-sheet workbook "Заказ". The sheet is built in memory by the
// same steps the spreadsheet application would be driven through and written
// as an .xlsx file by the built-in writer, so no spreadsheet application is
// needed.
namespace XL_Work
{
    // The spreadsheet writer is part of the program: always true.
    bool SpreadsheetInstalled();

    // Writes the grid's rows (its columns from the third on, as display
    // texts) into the sheet from (firstRow, firstColumn) in one block, with a
    // thin frame, dotted inside lines and the columns from the fifth on
    // right-aligned. Nothing is written for a table without rows.
    void WriteGridToSheet(const GridLayout &grid, RecordTable &table, XlSheet &sheet, int firstRow, int firstColumn);

    // A label: Times New Roman Cyr, bold, italic, underlined, navy.
    XlRange WriteLabelRange(XlSheet &sheet, const XlRange &range, const QVariant &value, XlAlign align, double fontSize,
                            bool merge);
    // A value: Times New Roman Cyr, bold, black, with a thin line under it.
    XlRange WriteValueRange(XlSheet &sheet, const XlRange &range, const QVariant &value, XlAlign align, double fontSize,
                            bool merge);

    // The whole order sheet as of the given day.
    XlSheet buildOrderSheet(Workspace &workspace, const QDate &date);

    // ExportExcel: asks for the file name and writes the workbook, replacing
    // the file atomically.
    void ExportExcelExecute(Workspace &workspace);
}
