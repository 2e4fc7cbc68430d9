#pragma once

class Workspace;

// The order's outputs that need no window: the spreadsheet export and the
// text file export.
namespace OrderOutput
{
    // Sets the handlers of ExportExcel and ExportText and shows ExportExcel,
    // which the built-in workbook writer makes available everywhere, as the
    // .xlsx export it is.
    void installActions(Workspace &workspace);
}
