// The entry of the command-line program ordix-cli: the program's logic on
// price lists and order files, for batch work and scripts, without a window.

#include <cstdio>
#include <cstdlib>

#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPrinter>

#include "clirunner.h"
#include "listrep.h"
#include "ordixerror.h"
#include "reportpainter.h"
#include "workspace.h"

namespace
{
    // The toolkit's own chatter (font look-ups, platform notes) would break
    // the promise of one line on stderr; only its real errors pass. A fatal
    // one (no platform plug-in, say) ends the run with that line and the
    // failure code: on Windows the toolkit's own abort would raise a crash
    // report that waits for a click, and a script would never see the end.
    void quietMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "ordix-cli: %s\n", message.toLocal8Bit().constData());
        if (type == QtFatalMsg) {
            std::fflush(stderr);
            std::_Exit(CliRunner::Failure);
        }
    }

    // The printed report to a PDF file, as the window prints it when the print
    // dialog names a PDF file.
    void writePdf(Workspace &workspace, const QString &path)
    {
        TListForm form;
        form.installActions(workspace);
        QPrinter printer(QPrinter::HighResolution);
        ReportPainter::setUpPage(&printer);
        printer.setDocName(TListForm::jobTitle());
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        if (!form.printTo(&printer))
            throw OrdixError(QStringLiteral("the order has no lines: %1 not written").arg(path));
    }
}

int main(int argc, char *argv[])
{
    // The arguments as given, before the toolkit takes its own out of them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (!qEnvironmentVariableIsSet("ORDIX_CLI_DEBUG"))
        qInstallMessageHandler(quietMessages);
    // The report and the text widths need fonts, not a display: the
    // offscreen platform, shipped beside the window program's own.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int toolkitArgc = 1;
    QGuiApplication app(toolkitArgc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ordix-cli"));

    QFile out;
    QFile err;
    if (!out.open(stdout, QIODevice::WriteOnly) || !err.open(stderr, QIODevice::WriteOnly))
        return CliRunner::Failure;

    CliRunner runner(out, err);
    const QFontMetrics metrics(QGuiApplication::font());
    runner.setTextWidth([metrics](const QString &text) { return metrics.horizontalAdvance(text); });
    runner.setPdfWriter(writePdf);
    const int code = runner.run(arguments);
    out.flush();
    err.flush();
    return code;
}
