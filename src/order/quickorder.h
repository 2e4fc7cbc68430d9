#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Workspace;

// The quick order from the clipboard ("Вставить заказ из буфера"): lines of
// "code quantity" as copied from a spreadsheet or a mail (code and quantity
// separated by a TAB, ";" or blanks; a code alone means 1) go into the order
// without the quantity dialog. The same code met twice (leading zeros do not
// count) adds up its quantities; a part already in the order takes the
// pasted quantity as its new one, as in the quantity dialog, and is reported
// apart. The dialog's limits hold: a quantity from 1 to 2147483647 and a
// line amount up to OrderTable::MaxAmount. The whole paste is one step of
// the undo history; a long one shows the progress window, and Escape there
// leaves the order as it was. Parsing and applying take time in proportion
// to the lines.
class QuickOrder final
{
public:
    static constexpr int ProgressLines = 2000; // from here on the progress window shows

    struct Line
    {
        qsizetype codeAt = 0; // where the code stands in the parsed text, as first written
        qsizetype codeLength = 0;
        qint32 code = 0;
        qint64 quantity = 1; // the sum over the lines of the code
    };

    struct Parsed
    {
        QString text;      // the parsed text (shared, not copied), for the codes as written
        QList<Line> lines; // one per code, in the order first met
        int skipped = 0;   // non-empty lines that are not "code [quantity]"

        // The line's code as it was written, for the report.
        QString codeText(const Line &line) const { return text.mid(line.codeAt, line.codeLength); }
    };

    struct Result
    {
        int added = 0;
        int changed = 0;      // lines already in the order that took a new quantity
        QStringList notFound; // codes as written
        QStringList tooLarge; // codes whose quantity or amount is beyond the limits
        int skipped = 0;
        bool stopped = false; // Escape: nothing was changed
    };

    static Parsed parse(const QString &text);
    // Adds the parsed lines to the order (starting one when none is open) as
    // one undoable step. The price grid's current row stays.
    static Result apply(Workspace &workspace, const Parsed &parsed);
    // "Добавлено: N; изменено: K; не найдено в прайс-листе: M (коды …)".
    static QString report(const Result &result);

    // The command: reads the clipboard through the prompts, adds and reports.
    static void pasteFromClipboard(Workspace &workspace);
};
