#pragma once

#include <QString>

class Workspace;

// The order handed on as tab-separated text: the export file written by the
// order writer in its export form, and the clipboard text made of the order
// grid's cells as their field formats show them.
namespace TextExport
{
    // ExportText: asks for a file name and writes the export form there,
    // replacing the file atomically. The order's file name, saved state and
    // title stay as they are.
    void ExportTextExecute(Workspace &workspace);

    // The clipboard text: per order line the display texts of the grid's
    // columns from the third on, TAB between them, LF between lines and none
    // after the last. Walks the table and leaves its current line on the
    // last line.
    QString clipboardText(Workspace &workspace);
}
