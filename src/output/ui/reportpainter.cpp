#include "reportpainter.h"
#include "atomicfile.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QBuffer>

#include "ordixerror.h"
#include "outputfilename.h"

namespace
{
    using Font = OrderReport::Font;

    // Millimetres and layout units in device pixels.
    class Scale final
    {
    public:
        explicit Scale(const QPaintDevice *device)
            : m_x(device->logicalDpiX() / 25.4)
            , m_y(device->logicalDpiY() / 25.4)
        { }

        double unitsX(double units) const { return units / OrderReport::UnitsPerMm * m_x; }
        double mmX(double mm) const { return mm * m_x; }
        double mmY(double mm) const { return mm * m_y; }
        double toUnits(double pixels) const { return pixels / m_x * OrderReport::UnitsPerMm; }

    private:
        double m_x;
        double m_y;
    };

    class PagePainter final
    {
    public:
        PagePainter(QPainter &painter, const QPaintDevice *device)
            : m_painter(painter)
            , m_scale(device)
        { }

        // A text in a box given in layout units across and millimetres down,
        // cut at the box's edges; with `elide` a text wider than its box
        // ends in "…" inside it.
        void text(double leftUnits, double widthUnits, double topMm, double heightMm, Font font, const QString &text,
                  Qt::Alignment align, bool elide = false)
        {
            if (text.isEmpty() || widthUnits <= 0)
                return;
            const QRectF box(m_scale.unitsX(leftUnits), m_scale.mmY(topMm), m_scale.unitsX(widthUnits),
                             m_scale.mmY(heightMm));
            m_painter.save();
            m_painter.setClipRect(box);
            m_painter.setFont(ReportPainter::font(font));
            QString shown = text;
            if (elide) {
                // A hair of rounding is no reason to cut a text.
                const QFontMetricsF metrics(m_painter.font(), m_painter.device());
                if (metrics.horizontalAdvance(text) > box.width() + m_scale.unitsX(0.5))
                    shown = metrics.elidedText(text, Qt::ElideRight, box.width());
            }
            m_painter.drawText(box, int(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
            m_painter.restore();
        }

        void textMm(double leftMm, double widthMm, double topMm, double heightMm, Font font, const QString &value,
                    Qt::Alignment align)
        {
            text(leftMm * OrderReport::UnitsPerMm, widthMm * OrderReport::UnitsPerMm, topMm, heightMm, font, value,
                 align);
        }

        void rectangleMm(double leftMm, double topMm, double widthMm, double heightMm)
        {
            m_painter.setPen(pen());
            m_painter.setBrush(Qt::NoBrush);
            m_painter.drawRect(
                QRectF(m_scale.mmX(leftMm), m_scale.mmY(topMm), m_scale.mmX(widthMm), m_scale.mmY(heightMm)));
        }

        void lineAcross(double topMm)
        {
            m_painter.setPen(pen());
            m_painter.drawLine(QPointF(0, m_scale.mmY(topMm)),
                               QPointF(m_scale.unitsX(OrderReport::BandWidth), m_scale.mmY(topMm)));
        }

    private:
        QPen pen() const
        {
            QPen pen(Qt::black);
            pen.setWidthF(m_scale.mmX(0.25));
            return pen;
        }

        QPainter &m_painter;
        Scale m_scale;
    };

    void drawTitleBand(PagePainter &p, const OrderReport &report)
    {
        using R = OrderReport;
        p.textMm(0, R::PrintableWidthMm, 0, 9, Font::Title, report.title, Qt::AlignHCenter);
        p.rectangleMm(R::FrameLeftMm, R::FrameTopMm, R::FrameWidthMm, R::FrameHeightMm);
        for (int i = 0; i < report.customer.size(); ++i) {
            const double top = R::CustomerTopMm + i * R::CustomerRowMm;
            const double captionLeft = R::FrameLeftMm + 1;
            p.textMm(captionLeft, R::CustomerValueLeftMm - 2 - captionLeft, top, R::CustomerRowMm, Font::Caption,
                     report.customer.at(i).caption, Qt::AlignRight);
            p.textMm(R::CustomerValueLeftMm, R::CustomerValueWidthMm, top, R::CustomerRowMm, Font::Value,
                     report.customer.at(i).value, Qt::AlignLeft);
        }
        const double halfWidth = R::FrameWidthMm / 2;
        p.textMm(R::FrameLeftMm, halfWidth, R::TermsTopMm, 6, Font::Terms, report.deliveryText, Qt::AlignLeft);
        p.textMm(R::FrameLeftMm + halfWidth, halfWidth, R::TermsTopMm, 6, Font::Terms, report.packingText,
                 Qt::AlignRight);
        p.textMm(R::FrameLeftMm, R::FrameWidthMm, R::PaymentTopMm, 6, Font::Terms,
                 report.paymentCaption + QLatin1Char(' ') + report.paymentText, Qt::AlignLeft);
    }

    void drawColumnHeader(PagePainter &p, const OrderReport &report, double top)
    {
        for (const OrderReport::Column &column : report.columns) {
            p.text(column.left, column.width, top, OrderReport::ColumnHeaderBandMm - 0.5, Font::ColumnTitle,
                   column.title, column.rightAligned ? Qt::AlignRight : Qt::AlignLeft, true);
        }
        p.lineAcross(top + OrderReport::ColumnHeaderBandMm - 0.3);
    }

    void drawLine(PagePainter &p, const OrderReport &report, const QStringList &line, double top)
    {
        for (int c = 0; c < report.columns.size() && c < line.size(); ++c) {
            const OrderReport::Column &column = report.columns.at(c);
            p.text(column.left, column.width, top, OrderReport::DetailBandMm, Font::Detail, line.at(c),
                   column.rightAligned ? Qt::AlignRight : Qt::AlignLeft, true);
        }
    }

    void drawSummary(PagePainter &p, const OrderReport &report, double top)
    {
        const double x = report.summaryValueLeft;
        for (int i = 0; i < report.summary.size(); ++i) {
            const double rowTop = top + 1 + i * OrderReport::SummaryRowMm;
            p.text(0, x - 4, rowTop, OrderReport::SummaryRowMm, Font::Caption, report.summary.at(i).caption,
                   Qt::AlignRight);
            p.text(x, OrderReport::BandWidth - x, rowTop, OrderReport::SummaryRowMm, Font::Value,
                   report.summary.at(i).value, Qt::AlignLeft);
        }
    }

    void drawFooter(PagePainter &p, const OrderReport &report, int number)
    {
        const double top = OrderReport::PrintableHeightMm - OrderReport::FooterBandMm;
        p.text(0, OrderReport::BandWidth / 2, top, OrderReport::FooterBandMm, Font::Footer, report.printedText,
               Qt::AlignLeft);
        p.text(OrderReport::BandWidth / 2, OrderReport::BandWidth / 2, top, OrderReport::FooterBandMm, Font::Footer,
               OrderReport::pageText(number), Qt::AlignRight);
    }
}

QPageLayout ReportPainter::pageLayout()
{
    const QMarginsF margins(OrderReport::MarginMm, OrderReport::MarginMm, OrderReport::MarginMm, OrderReport::MarginMm);
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, margins, QPageLayout::Millimeter);
}

void ReportPainter::setUpPage(QPagedPaintDevice *device)
{
    device->setPageLayout(pageLayout());
}

QFont ReportPainter::font(OrderReport::Font which)
{
    const OrderReport::FontSpec fontStyle = OrderReport::fontSpec(which);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(fontStyle.pointSize);
    font.setBold(fontStyle.bold);
    font.setItalic(fontStyle.italic);
    font.setUnderline(fontStyle.underline);
    return font;
}

OrderReport::Measure ReportPainter::measure(QPaintDevice *device)
{
    const Scale scale(device);
    return [device, scale](const QString &text, OrderReport::Font which) {
        return scale.toUnits(QFontMetricsF(font(which), device).horizontalAdvance(text));
    };
}

bool ReportPainter::render(const OrderReport &report, QPagedPaintDevice *device)
{
    if (report.isEmpty() || report.pages.isEmpty())
        return false;
    QPainter painter;
    if (!painter.begin(device))
        throw OrdixError(QStringLiteral("Не удалось начать печать заказа"));
    PagePainter p(painter, device);
    for (const OrderReport::Page &page : report.pages) {
        if (page.number > 1 && !device->newPage()) {
            painter.end();
            throw OrdixError(QStringLiteral("Не удалось начать новую страницу при печати заказа"));
        }
        double top = 0;
        if (page.hasTitle) {
            drawTitleBand(p, report);
            top += OrderReport::TitleBandMm;
        }
        drawColumnHeader(p, report, top);
        top += OrderReport::ColumnHeaderBandMm;
        for (int i = 0; i < page.lineCount; ++i) {
            drawLine(p, report, report.lines.at(page.firstLine + i), top);
            top += OrderReport::DetailBandMm;
        }
        if (page.hasSummary)
            drawSummary(p, report, top);
        drawFooter(p, report, page.number);
    }
    if (!painter.end())
        throw OrdixError(QStringLiteral("Ошибка печати заказа"));
    return true;
}

bool ReportPainter::writePdf(Workspace &workspace, const QDate &date, const QString &path, const QPageLayout &layout,
                             int resolution)
{
    checkOutputFileName(path);
    AtomicFile target(path);
    if (!target.open())
        throw OrdixError(QStringLiteral("Не удалось создать файл ") + path + QStringLiteral(": ")
                         + target.errorString());
    // Drawn in memory, then written as a whole.
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    bool drawn = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(resolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("Ordix"));
        const OrderReport report = OrderReport::prepare(workspace, date, measure(&writer));
        writer.setTitle(report.jobTitle);
        drawn = render(report, &writer);
    }
    if (!drawn)
        return false;
    if (!target.write(file.data()) || !target.commit())
        throw OrdixError(QStringLiteral("Не удалось записать файл ") + path + QStringLiteral(": ")
                         + target.errorString());
    return true;
}
