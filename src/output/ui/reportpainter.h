#pragma once

#include <QDate>
#include <QFont>
#include <QPageLayout>

#include "orderreport.h"

class QPagedPaintDevice;
class QPaintDevice;
class Workspace;

// Draws a prepared order report on a paged device: a printer, the print
// preview's printer or a PDF writer. Needs a QGuiApplication, no window, so
// a program without windows renders the same report to PDF.
namespace ReportPainter
{
    // A4 portrait with 10 mm margins on every side.
    QPageLayout pageLayout();
    void setUpPage(QPagedPaintDevice *device);

    // The report's font as the device draws it.
    QFont font(OrderReport::Font which);
    // Text widths in layout units as the device draws them, for
    // OrderReport::prepare().
    OrderReport::Measure measure(QPaintDevice *device);

    // Draws every page of the report. A report without lines draws nothing
    // and returns false. Throws OrdixError when the device cannot be painted
    // on (a PDF file that cannot be created, a printer that fails).
    bool render(const OrderReport &report, QPagedPaintDevice *device);

    // Prepares the report of the workspace's order as printed on `date` and
    // writes it as a PDF file: into a temporary file beside the target, put
    // in its place only when written whole, so a failure leaves any earlier
    // file as it was. Does not move the order's cursor. An empty order writes
    // nothing and returns false. Throws OrdixError with a clear text.
    bool writePdf(Workspace &workspace, const QDate &date, const QString &path,
                  const QPageLayout &layout = pageLayout(), int resolution = 1200);
}
