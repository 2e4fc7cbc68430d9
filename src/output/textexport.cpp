#include "textexport.h"

#include <QDir>
#include <QStringList>

#include "ordertable.h"
#include "gridlayout.h"
#include "orderwriter.h"
#include "outputfilename.h"
#include "recordtable.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

void TextExport::ExportTextExecute(Workspace &workspace)
{
    UserPrompts::FileDialog dialog;
    dialog.title = QStringLiteral("Экспорт заказа в виде текстового файла");
    dialog.defaultExtension = QStringLiteral("txt");
    dialog.filter = QStringLiteral("Текстовый файл (*.txt)|*.txt");
    dialog.overwritePrompt = true;
    const QString path = workspace.prompts().saveFile(dialog);
    if (path.isEmpty())
        return;
    checkOutputFileName(path);

    QStringList lines;
    OrderWriter::write(workspace, lines, OrderWriter::Form::Export);
    TextFile::writeLines(path, lines);
    workspace.setLabel(Workspace::Label::Status,
                       QStringLiteral("Экспорт в текстовый файл: ") + QDir::toNativeSeparators(path));
}

QString TextExport::clipboardText(Workspace &workspace)
{
    RecordTable &table = workspace.order();
    if (!table.isActive())
        return QString();
    const GridLayout &grid = workspace.grid(Workspace::Grid::Order);

    // Read by row; the order's current line is then left on the last line,
    // as after a walk over the lines.
    QString text;
    const int rows = table.rowCount();
    for (int viewRow = 0; viewRow < rows; ++viewRow) {
        for (int c = 2; c < grid.count(); ++c) {
            const GridColumn &column = grid.columns.at(c);
            text += column.fieldPosition < 0 ? QString::number(viewRow + 1)
                                             : OrderTable::displayText(table, viewRow, column.fieldPosition);
            if (c + 1 < grid.count())
                text += QLatin1Char('\t');
        }
        if (viewRow + 1 < rows)
            text += QLatin1Char('\n');
    }
    if (rows > 0)
        table.setRowNumber(rows);
    return text;
}
