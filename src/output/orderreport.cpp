#include "orderreport.h"

#include <algorithm>
#include <cmath>

#include "ordertable.h"
#include "arialmetrics.h"
#include "gridlayout.h"
#include "recordtable.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // Millimetres as whole tenths, so that the page arithmetic is exact.
    int tenths(double mm)
    {
        return int(std::lround(mm * 10));
    }

    // Grid columns 2 to 8 are the report's seven; the name is the second.
    constexpr int FirstGridColumn = 2;
    constexpr int ReportColumns = 7;
    constexpr int NameColumn = 1;
    constexpr int FirstRightAligned = 4;
}

OrderReport::FontSpec OrderReport::fontSpec(Font font)
{
    switch (font) {
    case Font::Title:
        return {18, true, true, true};
    case Font::Caption:
        return {11, true, true, true};
    case Font::Value:
        return {10, true, false, false};
    case Font::Terms:
        return {11, true, false, false};
    case Font::ColumnTitle:
        return {8, true, false, false};
    case Font::Detail:
    case Font::Footer:
        break;
    }
    return {8, false, false, false};
}

double OrderReport::fontUnits(double pointSize)
{
    return pointSize * 25.4 / 72.0 * UnitsPerMm;
}

OrderReport::Measure OrderReport::arialMeasure()
{
    return [](const QString &text, Font font) {
        const FontSpec fontStyle = fontSpec(font);
        return ArialMetrics::emWidth(text, fontStyle.bold) / 1000.0 * fontUnits(fontStyle.pointSize);
    };
}

QList<OrderReport::Column> OrderReport::layColumns(const QList<GridColumnInput> &gridColumns, int nameColumn,
                                                   const Measure &measure)
{
    QList<Column> columns;
    double total = 0;
    for (int i = 0; i < gridColumns.size(); ++i) {
        const GridColumnInput &input = gridColumns.at(i);
        Column column;
        column.title = input.title;
        // Widths round up: the title is printed whole, and so is the widest
        // text of the column while the band has room for it.
        column.width = std::max(std::ceil(measure(input.title, Font::ColumnTitle)), std::ceil(input.contentWidth));
        column.rightAligned = i >= FirstRightAligned;
        total += column.width;
        columns << column;
    }

    if (nameColumn >= 0 && nameColumn < columns.size()) {
        // The name column takes what the others and the gaps between the
        // columns leave of the band, so that the table ends inside it.
        const double tableWidth = BandWidth - 2 * TableInset - ColumnGap * double(columns.size() - 1);
        double &name = columns[nameColumn].width;
        const double others = total - name;
        name = tableWidth + name - total;
        if (name < NameColumnMinimum) {
            // Columns too wide for the page: narrow the others in proportion
            // so that the name keeps a readable width.
            const double room = tableWidth - NameColumnMinimum;
            double used = 0;
            for (int i = 0; i < columns.size(); ++i) {
                if (i == nameColumn)
                    continue;
                columns[i].width = std::floor(columns[i].width * room / others);
                used += columns[i].width;
            }
            name = tableWidth - used;
        }
    }

    double left = TableInset;
    for (Column &column : columns) {
        column.left = left;
        left += column.width + ColumnGap;
    }
    return columns;
}

QList<OrderReport::Page> OrderReport::paginate(int lineCount)
{
    QList<Page> pages;
    if (lineCount <= 0)
        return pages;
    const int usable = tenths(PrintableHeightMm) - tenths(FooterBandMm);
    const int detail = tenths(DetailBandMm);
    int line = 0;
    for (int number = 1;; ++number) {
        Page page;
        page.number = number;
        page.hasTitle = number == 1;
        page.firstLine = line;
        int y = (page.hasTitle ? tenths(TitleBandMm) : 0) + tenths(ColumnHeaderBandMm);
        page.lineCount = std::min((usable - y) / detail, lineCount - line);
        line += page.lineCount;
        y += page.lineCount * detail;
        page.hasSummary = line == lineCount && y + tenths(SummaryBandMm) <= usable;
        pages << page;
        if (page.hasSummary)
            break;
    }
    return pages;
}

OrderReport OrderReport::prepare(Workspace &workspace, const QDate &date, const Measure &measure)
{
    OrderReport report;
    const Settings &s = workspace.settings();
    const QString day = TextFile::shortDate(date);
    report.title = QStringLiteral("Заказ на ") + day;
    report.jobTitle = report.title;
    report.printedText = QStringLiteral("Printed ") + day;

    report.customer = {
        {QStringLiteral("Заказчик:"), s.customer},
        {QStringLiteral("Адрес:"), s.addr},
        {QStringLiteral("Банк:"), s.bank},
        {QStringLiteral("БИК:"), s.bik},
        {QStringLiteral("Расчетный счет:"), s.settlementAccount},
        // The second word starts with a Latin "c", as the report has always printed it.
        {QStringLiteral("Кор. cчет:"), s.correspondentAccount},
        {QStringLiteral("ИНН:"), s.inn},
        {QStringLiteral("Телефон/факс:"), s.phone},
        {QStringLiteral("Контактное лицо:"), s.contact},
    };
    report.deliveryText = s.delivery == QLatin1String("yes") ? QStringLiteral("Необходима доставка товара")
                                                             : QStringLiteral("Доставка товара не нужна");
    report.packingText = s.pack == QLatin1String("yes") ? QStringLiteral("Необходима упаковка товара")
                                                        : QStringLiteral("Упаковка товара не нужна");
    report.paymentText = s.payment == QLatin1String("clearing") ? QStringLiteral("Безналичный расчет")
                                                                : QStringLiteral("Наличный расчет");

    // Columns and lines from the order grid.
    const GridLayout &grid = workspace.grid(Workspace::Grid::Order);
    QList<GridColumnInput> inputs;
    QList<int> fields;
    for (int c = FirstGridColumn; c < grid.count() && inputs.size() < ReportColumns; ++c) {
        inputs << GridColumnInput{grid.columns.at(c).title, 0};
        fields << grid.columns.at(c).fieldPosition;
    }

    const RecordTable &table = workspace.order();
    const int rows = table.isActive() ? table.rowCount() : 0;
    report.lines.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        QStringList line;
        for (int i = 0; i < fields.size(); ++i) {
            const int field = fields.at(i);
            line << (field < 0 ? QString::number(r + 1) : OrderTable::displayText(table, r, field));
            // The band is shared by what is printed, in the font it is printed in.
            inputs[i].contentWidth = std::max(inputs.at(i).contentWidth, measure(line.last(), Font::Detail));
        }
        report.lines << line;
    }
    report.columns = layColumns(inputs, NameColumn, measure);
    report.pages = paginate(rows);

    // Summary: the values in one column ending at least 4 units before the
    // band's right edge, the captions 4 units left of it.
    const double d = s.discount;
    const double w = BandWidth;
    const QString payable = workspace.document().payableText();
    double x = w - measure(payable, Font::Value) - 4;
    report.summary << Row{QStringLiteral("К оплате:"), payable};
    if (d >= 100) {
        const QString accumulative = QStringLiteral("Накопит");
        report.summary << Row{QStringLiteral("Скидка:"), accumulative};
        x = std::min(x, w - measure(accumulative, Font::Value) - 4);
    } else if (d != 0) {
        const QString undiscounted = workspace.document().undiscountedText();
        const QString percent = Decimal::format(std::abs(d), 2) + QLatin1Char('%');
        report.summary << Row{d > 0 ? QStringLiteral("Скидка:") : QStringLiteral("Наценка:"), percent};
        report.summary << Row{d > 0 ? QStringLiteral("Сумма без учета скидки:")
                                    : QStringLiteral("Стоимость без наценки :"),
                              undiscounted};
        x = std::min({x, w - measure(undiscounted, Font::Value) - 4, w - measure(percent, Font::Value) - 4});
    }
    report.summaryValueLeft = x;
    return report;
}
