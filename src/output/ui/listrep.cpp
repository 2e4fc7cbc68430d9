#include "listrep.h"

#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QWidget>

#include "actionid.h"
#include "gridposition.h"
#include "ordixerror.h"
#include "orderreport.h"
#include "reportpainter.h"
#include "textexport.h"
#include "textfile.h"
#include "windowretirement.h"
#include "workspace.h"

namespace
{
    // The printer the order's report goes to, previewed or printed: the
    // report's page, named as the print job.
    class ReportPrinter final : public QPrinter
    {
    public:
        explicit ReportPrinter(const QString &docName)
            : QPrinter(QPrinter::HighResolution)
        {
            ReportPainter::setUpPage(this);
            setDocName(docName);
        }
    };
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
    actions.setHandler(ActionId::PrinterPreviewOrder, [this] { PrinterPreviewOrderExecute(); });
    actions.setHandler(ActionId::PrinterPrintOrder, [this] { PrinterPrintOrderExecute(); });
    actions.setHandler(ActionId::ExportClipboard, [this] { ExportClipboardExecute(); });
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

QString TListForm::pdfFileName()
{
    // The suffix is given: the print dialog would take the year for one.
    return QDir::current().absoluteFilePath(jobTitle() + QStringLiteral(".pdf"));
}

bool TListForm::printTo(QPrinter *printer)
{
    Workspace &ws = workspace();
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    const QDate today = QDate::currentDate();
    if (printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
        printer->setDocName(jobTitle());
        return ReportPainter::writePdf(ws, today, printer->outputFileName(), printer->pageLayout(),
                                       printer->resolution());
    }
    const OrderReport report = OrderReport::prepare(ws, today, ReportPainter::measure(printer));
    if (report.isEmpty())
        return false;
    printer->setDocName(report.jobTitle);
    return ReportPainter::render(report, printer);
}

void TListForm::PrinterPreviewOrderExecute()
{
    Workspace &ws = workspace();
    if (!ws.orderNotEmpty())
        return;
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    ReportPrinter printer(jobTitle());
    const RetiringWindow<QPrintPreviewDialog> dialog(new QPrintPreviewDialog(&printer, m_owner));
    dialog->setWindowTitle(QStringLiteral("Просмотр заказа"));
    QString failure;
    connect(dialog.get(), &QPrintPreviewDialog::paintRequested, dialog.get(), [this, &failure](QPrinter *target) {
        try {
            printTo(target);
        } catch (const std::exception &error) {
            failure = QString::fromUtf8(error.what());
        }
    });
    dialog->exec();
    if (!failure.isEmpty())
        throw OrdixError(failure);
}

void TListForm::PrinterPrintOrderExecute()
{
    Workspace &ws = workspace();
    if (!ws.orderNotEmpty())
        return;
    const GridFreeze freeze(ws, Workspace::Grid::Order);
    ReportPrinter printer(jobTitle());
    const RetiringWindow<QPrintDialog> dialog(new QPrintDialog(&printer, m_owner));
    dialog->setWindowTitle(QStringLiteral("Печать заказа"));
    // Printing to a file proposes the whole title in the working folder; the
    // dialog would start in the home folder and cut the name at its last dot.
    if (auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("filename")))
        fileName->setText(QDir::toNativeSeparators(pdfFileName()));
    if (dialog->exec() != QDialog::Accepted)
        return;
    if (!printTo(&printer))
        return;
    if (printer.outputFormat() == QPrinter::PdfFormat)
        ws.setLabel(Workspace::Label::Status,
                    QStringLiteral("Заказ напечатан в PDF: ") + QDir::toNativeSeparators(printer.outputFileName()));
    else
        ws.setLabel(Workspace::Label::Status, QStringLiteral("Заказ отправлен на печать: ") + printer.printerName());
}

void TListForm::ExportClipboardExecute()
{
    const QString text = TextExport::clipboardText(workspace());
    if (text.isEmpty())
        return;
    QGuiApplication::clipboard()->setText(text);
    workspace().setLabel(Workspace::Label::Status, QStringLiteral("Заказ скопирован в буфер обмена"));
}
