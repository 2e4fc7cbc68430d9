#pragma once

#include <functional>

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class Workspace;

// The printed order report as data: texts, the column layout taken from the
// order grid, the summary rows and the division into pages. The window's
// painter (ReportPainter) only draws what this holds, so the preview, the
// printer and a PDF file show the same report.
//
// Horizontal measures are in the report's layout units, 575 across the
// printable width of 190 mm; vertical ones in millimetres from the top of
// the printable area. The page is A4 portrait with 10 mm margins.
class OrderReport final
{
public:
    enum class Font
    {
        Title,       // Arial 18, bold, italic, underlined
        Caption,     // Arial 11, bold, italic, underlined: customer and summary captions
        Value,       // Arial 10, bold: customer and summary values
        Terms,       // Arial 11, bold: delivery, packing, payment
        ColumnTitle, // Arial 8, bold
        Detail,      // Arial 8
        Footer       // Arial 8
    };

    struct FontSpec
    {
        double pointSize = 8;
        bool bold = false;
        bool italic = false;
        bool underline = false;
    };

    // Width of a text in layout units when set in one of the report's fonts.
    using Measure = std::function<double(const QString &text, Font font)>;

    struct Column
    {
        QString title;
        double left = 0;  // layout units from the band's left edge
        double width = 0; // layout units
        bool rightAligned = false;
    };

    struct Row
    {
        QString caption;
        QString value;
    };

    struct Page
    {
        int number = 1;
        bool hasTitle = false; // the title band opens the page
        int firstLine = 0;     // 0-based index into lines
        int lineCount = 0;
        bool hasSummary = false; // the summary band follows the page's lines
    };

    // --- page geometry ------------------------------------------------------
    static constexpr double BandWidth = 575;
    static constexpr double PrintableWidthMm = 190;
    static constexpr double PrintableHeightMm = 277;
    static constexpr double PageWidthMm = 210;
    static constexpr double PageHeightMm = 297;
    static constexpr double MarginMm = 10;
    static constexpr double UnitsPerMm = BandWidth / PrintableWidthMm;
    static constexpr double ColumnGap = 4;
    // The table's first column starts this far into the band, and its last
    // one ends as far before the band's right edge.
    static constexpr double TableInset = 1;
    static constexpr double NameColumnMinimum = 40;

    // Band heights in millimetres.
    static constexpr double TitleBandMm = 83;
    static constexpr double ColumnHeaderBandMm = 6;
    static constexpr double DetailBandMm = 5.3;
    static constexpr double SummaryRowMm = 6;
    static constexpr double SummaryBandMm = 3 * SummaryRowMm + 2;
    static constexpr double FooterBandMm = 6;

    // The title band's parts, in millimetres from the band's top left.
    static constexpr double FrameLeftMm = 13;
    static constexpr double FrameTopMm = 11;
    static constexpr double FrameWidthMm = 164;
    static constexpr double FrameHeightMm = 53;
    static constexpr double CustomerTopMm = 13;
    static constexpr double CustomerRowMm = 5.5;
    static constexpr double CustomerValueLeftMm = 62;
    static constexpr double CustomerValueWidthMm = 114;
    static constexpr double TermsTopMm = 67;
    static constexpr double PaymentTopMm = 74;

    static FontSpec fontSpec(Font font);
    // The size of a font in layout units.
    static double fontUnits(double pointSize);
    // Widths by Arial's own metrics.
    static Measure arialMeasure();

    // Prepares the report of the current order as printed on `date`. Reads
    // the order table in its current order without moving its cursor.
    static OrderReport prepare(Workspace &workspace, const QDate &date, const Measure &measure = arialMeasure());

    // The column layout from the order grid's columns 2 to 8: each column
    // as wide as its title or its widest printed text, whichever is wider;
    // the name column taking what the others and the gaps leave of the band.
    struct GridColumnInput
    {
        QString title;
        double contentWidth = 0; // the widest printed text, layout units
    };
    static QList<Column> layColumns(const QList<GridColumnInput> &gridColumns, int nameColumn, const Measure &measure);

    // Pages for a number of lines: the first with the title band, every one
    // with the column header and the footer, the summary after the last line
    // (on a page of its own when it does not fit). No page for no lines.
    static QList<Page> paginate(int lineCount);

    QString title;       // "Заказ на 08.12.2026"
    QString jobTitle;    // the print job's name
    QString printedText; // "Printed 08.12.2026"
    QList<Row> customer; // nine rows
    QString deliveryText;
    QString packingText;
    QString paymentCaption = QStringLiteral("Способ оплаты:");
    QString paymentText;
    QList<Column> columns;
    QList<QStringList> lines; // display texts, one entry per column
    QList<Row> summary;       // "К оплате:" first
    double summaryValueLeft = 0;
    QList<Page> pages;

    static QString pageText(int number) { return QStringLiteral("Page ") + QString::number(number); }
    bool isEmpty() const { return lines.isEmpty(); }
};
