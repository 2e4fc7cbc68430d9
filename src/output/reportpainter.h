#pragma once

#include <QFont>

#include "orderreport.h"

class QPagedPaintDevice;
class QPaintDevice;

// Draws a prepared order report on a paged device: a printer, the print
// preview's printer or a PDF writer. Needs a QGuiApplication, no window, so
// a program without windows renders the same report to PDF.
namespace ReportPainter
{
    // A4 portrait with 10 mm margins on every side.
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
}
