#include "listrep.h"

#include <QClipboard>
#include <QDate>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QSaveFile>
#include <QWidget>

#include "gridposition.h"
#include "ordixerror.h"
#include "orderreport.h"
#include "outputfilename.h"
#include "reportpainter.h"
#include "textexport.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // A PDF file written whole into a temporary file beside the target and
    // put in its place only then.
    bool renderPdfFile(const OrderReport &report, const QPrinter &printer)
    {
        const QString path = printer.outputFileName();
        checkOutputFileName(path);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw OrdixError(QStringLiteral("Не удалось создать файл ") + path + QStringLiteral(": ")
                             + file.errorString());
        bool drawn = false;
        {
            QPdfWriter writer(&file);
            writer.setResolution(printer.resolution());
            writer.setPageLayout(printer.pageLayout());
            writer.setTitle(printer.docName());
            writer.setCreator(QStringLiteral("Ordix"));
            drawn = ReportPainter::render(report, &writer);
        }
        if (!drawn) {
            file.cancelWriting();
            return false;
        }
        if (!file.commit())
            throw OrdixError(QStringLiteral("Не удалось записать файл ") + path + QStringLiteral(": ")
                             + file.errorString());
        return true;
    }
}

TListForm::TListForm(QWidget *owner)
    : QObject(owner)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("ListForm"));
}

TListForm::~TListForm() = default;

void TListForm::installActions(Workspace &workspace)
{
    m_workspace = &workspace;
    ActionList &actions = workspace.actions();
    actions.setHandler(QStringLiteral("PrinterPreviewOrder"), [this] { PrinterPreviewOrderExecute(); });
    actions.setHandler(QStringLiteral("PrinterPrintOrder"), [this] { PrinterPrintOrderExecute(); });
    actions.setHandler(QStringLiteral("ExportClipboard"), [this] { ExportClipboardExecute(); });
}

Workspace &TListForm::workspace() const
{
    if (!m_workspace)
        throw OrdixError(QStringLiteral("The report window has no workspace"));
    return *m_workspace;
}

QString TListForm::jobTitle()
{
    return QStringLiteral("Заказ на ") + TextFile::shortDate(QDate::currentDate());
}

bool TListForm::printTo(QPrinter *printer)
{
    Workspace &ws = workspace();
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    const OrderReport report = OrderReport::prepare(ws, QDate::currentDate(), ReportPainter::measure(printer));
    if (report.isEmpty())
        return false;
    printer->setDocName(report.jobTitle);
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty())
        return renderPdfFile(report, *printer);
    return ReportPainter::render(report, printer);
}

void TListForm::PrinterPreviewOrderExecute()
{
    Workspace &ws = workspace();
    if (!ws.orderNotEmpty())
        return;
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    QPrinter printer(QPrinter::HighResolution);
    ReportPainter::setUpPage(&printer);
    printer.setDocName(jobTitle());
    QPrintPreviewDialog dialog(&printer, m_owner);
    dialog.setWindowTitle(QStringLiteral("Просмотр заказа"));
    QString failure;
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [this, &failure](QPrinter *target) {
        try {
            printTo(target);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
    });
    dialog.exec();
    if (!failure.isEmpty())
        throw OrdixError(failure);
}

void TListForm::PrinterPrintOrderExecute()
{
    Workspace &ws = workspace();
    if (!ws.orderNotEmpty())
        return;
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    QPrinter printer(QPrinter::HighResolution);
    ReportPainter::setUpPage(&printer);
    printer.setDocName(jobTitle());
    QPrintDialog dialog(&printer, m_owner);
    dialog.setWindowTitle(QStringLiteral("Печать заказа"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    printTo(&printer);
}

void TListForm::ExportClipboardExecute()
{
    const QString text = TextExport::clipboardText(workspace());
    if (text.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(text);
}
