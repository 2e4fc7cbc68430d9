#pragma once

#include <functional>
#include <vector>

#include <QByteArray>

#include <QString>
#include <QStringList>

class CliOptions;
class CliPrompts;
class ProgressReporter;
class QIODevice;
class Workspace;

// The command-line program `ordix-cli` without its entry: reads the command
// line, sets a workspace up exactly as the main window does (the same action
// handlers, user.ini read by INILoad, the decimal separator), runs the
// program's own loader, reader, coordination and exports on it, and prints
// the result as UTF-8, TAB between fields. No dialog is ever shown: the file
// named on the command line is the file taken, and any other question of
// the logic ends the run with the question's text.
//
// Exit codes: 0 success, 1 any failure (one line on the error device),
// 2 a usage error (the problem and the usage text on the error device); find
// also ends with 1, silently, when it found nothing.
class CliRunner final
{
public:
    enum ExitCode
    {
        Success = 0,
        Failure = 1,
        UsageError = 2
    };

    // Writes the printed PDF report of the workspace's order to `path`; the
    // printed report lives with the widgets, so the entry provides it.
    using PdfWriter = std::function<void(Workspace &workspace, const QString &path)>;
    // The width of a text in the grid's font, as the window measures it.
    using TextWidth = std::function<int(const QString &text)>;

    CliRunner(QIODevice &out, QIODevice &err);

    void setPdfWriter(PdfWriter writer) { m_pdfWriter = std::move(writer); }
    void setTextWidth(TextWidth measure) { m_textWidth = std::move(measure); }

    // Runs one command; `arguments` without the program's name (read by
    // CliOptions, which also has the usage text).
    int run(const QStringList &arguments);

    // The price grid's title of the old price, printed with --compare.
    static QString oldPriceTitle() { return QStringLiteral("Старая цена"); }
    // The last column of find: how each row was found.
    static QString foundTitle() { return QStringLiteral("Найдено"); }

private:
    int execute(const CliOptions &options);
    void setUp(Workspace &workspace, CliPrompts &prompts, ProgressReporter &progress) const;
    // `found`: a last column, one UTF-8 text per view row.
    void printPrice(Workspace &workspace, bool withOldPrice, const std::vector<QByteArray> *found = nullptr);
    void printOrder(Workspace &workspace);
    void exportOrder(Workspace &workspace, CliPrompts &prompts, const CliOptions &options);
    void readOrder(Workspace &workspace, const CliOptions &options);

    void write(const QString &text);
    void writeBytes(const QByteArray &bytes);
    void fail(const QString &message);
    // A one-line note on the error device that does not fail the run.
    void note(const QString &message);

    QIODevice &m_out;
    QIODevice &m_err;
    PdfWriter m_pdfWriter;
    TextWidth m_textWidth;
};
