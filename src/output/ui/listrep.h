#pragma once

#include <QObject>
#include <QPointer>

class QPrinter;
class QWidget;
class Workspace;

// The printed order report: previews it in the toolkit's print preview,
// sends it to a printer chosen in the print dialog (which also offers a PDF
// file), and copies the order to the clipboard. The report itself is
// prepared by OrderReport and drawn by ReportPainter.
class TListForm final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListForm)

public:
    // `owner` parents the dialogs.
    explicit TListForm(QWidget *owner = nullptr);
    ~TListForm() override;

    // Sets the handlers of PrinterPreviewOrder, PrinterPrintOrder and
    // ExportClipboard for the workspace.
    void installActions(Workspace &workspace);

    // PrinterPreviewOrder: the print preview of the report.
    void PrinterPreviewOrderExecute();
    // PrinterPrintOrder: the print dialog, then the report on the chosen
    // printer or PDF file.
    void PrinterPrintOrderExecute();
    // ExportClipboard: the order grid's cells as tab-separated text on the
    // clipboard; an empty text leaves the clipboard as it was.
    void ExportClipboardExecute();

    // Prepares the report and prints it on the printer, the one path of the
    // preview, the printer and a PDF file. A PDF file replaces an earlier one
    // only when it was written whole. Returns false for an empty order.
    bool printTo(QPrinter *printer);

    // The print job's title: "Заказ на " and today's short date.
    static QString jobTitle();
    // The PDF file the print dialog proposes: the job's title with ".pdf" in
    // the working folder.
    static QString pdfFileName();

private:
    Workspace &workspace() const;

    QPointer<QWidget> m_owner;
    Workspace *m_workspace = nullptr;
};
