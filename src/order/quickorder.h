#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Workspace;

// The quick order from the clipboard ("Вставить заказ из буфера"): lines of
// "code quantity" as copied from a spreadsheet or a mail (code and quantity
// separated by a TAB, ";" or blanks; a code alone means 1) go into the order
// through the same path as "Добавить в заказ", without the quantity dialog;
// a part already in the order takes the new quantity. The whole paste is one
// step of the undo history.
class QuickOrder final
{
public:
    struct Line
    {
        QString codeText; // as written, for the report
        qint32 code = 0;
        int quantity = 1;
    };

    struct Parsed
    {
        QList<Line> lines;
        int skipped = 0; // non-empty lines that are not "code [quantity]"
    };

    struct Result
    {
        int added = 0;
        QStringList notFound; // codes as written
        int skipped = 0;
    };

    static Parsed parse(const QString &text);
    // Adds the parsed lines to the order (starting one when none is open) as
    // one undoable step. The price grid's current row stays.
    static Result apply(Workspace &workspace, const Parsed &parsed);
    // "Добавлено: N; не найдено в прайс-листе: M (коды …)".
    static QString report(const Result &result);

    // The command: reads the clipboard through the prompts, adds and reports.
    static void pasteFromClipboard(Workspace &workspace);
};
