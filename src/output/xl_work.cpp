#include "xl_work.h"

#include <QDir>
#include <QScopeGuard>

#include "ordertable.h"
#include "gridlayout.h"
#include "progressreporter.h"
#include "recordtable.h"
#include "safefilename.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"
#include "xlsxfile.h"

namespace
{
    // Colour indexes of the default palette.
    constexpr int Black = 1;
    constexpr int White = 2;
    constexpr int LightGrey = 15;
    constexpr int DarkGrey = 16;
    constexpr int Navy = 25;

    // The frame is asked for with colour index 7 and the colour "Black"; the
    // colour wins.
    constexpr int FrameColor = Black;

    constexpr int TableRow = 29;
    constexpr int HeaderRow = 28;
    constexpr double MaxNameWidth = 42;
    constexpr double SpacerHeight = 4.5;

    const QString FontName = QStringLiteral("Times New Roman Cyr");

    QString cellText(const GridColumn &column, const RecordTable &table, int viewRow)
    {
        if (column.fieldPosition < 0)
            return QString::number(viewRow + 1); // the row-number column
        return OrderTable::displayText(table, viewRow, column.fieldPosition);
    }

    void frame(XlSheet &sheet, const XlRange &range)
    {
        sheet.borderAround(range, XlLine::Continuous, FrameColor);
    }

    // The inside lines of a block; a block without them is left as it is.
    void insideLines(XlSheet &sheet, const XlRange &range, XlBorderIndex which)
    {
        const bool present = which == XlBorderIndex::InsideVertical ? range.columnCount() > 1 : range.rowCount() > 1;
        if (present)
            sheet.setBorders(range, which, XlLine::Dotted, XlSheet::ColorAutomatic);
    }
}

bool XL_Work::SpreadsheetInstalled()
{
    return true;
}

void XL_Work::WriteGridToSheet(const GridLayout &grid, RecordTable &table, XlSheet &sheet, int firstRow,
                               int firstColumn)
{
    const int rows = table.isActive() ? table.rowCount() : 0;
    const int columns = grid.count() - 2;
    if (rows < 1 || columns < 1)
        return;

    QList<QStringList> block;
    block.reserve(rows);
    {
        table.suspendViews();
        const auto resume = qScopeGuard([&table] { table.resumeViews(); });
        for (int r = 0; r < rows; ++r) {
            QStringList line;
            line.reserve(columns);
            for (int c = 2; c < grid.count(); ++c)
                line << cellText(grid.columns.at(c), table, r);
            block << line;
        }
    }

    const XlRange range = XlRange::span(firstRow, firstColumn, firstRow + rows - 1, firstColumn + columns - 1);
    sheet.setValues(range, block);
    frame(sheet, range);
    insideLines(sheet, range, XlBorderIndex::InsideVertical);
    insideLines(sheet, range, XlBorderIndex::InsideHorizontal);
    if (columns >= 5) {
        sheet.format(XlRange::span(firstRow, firstColumn + 4, range.bottom, range.right),
                     [](XlStyle &s) { s.align = XlAlign::Right; });
    }
}

XlRange XL_Work::WriteLabelRange(XlSheet &sheet, const XlRange &range, const QVariant &value, XlAlign align,
                                 double fontSize, bool merge)
{
    if (merge)
        sheet.merge(range);
    sheet.format(range, [&](XlStyle &s) {
        s.font.name = FontName;
        s.font.size = fontSize;
        s.font.bold = true;
        s.font.italic = true;
        s.font.underline = true;
        s.font.colorIndex = Navy;
        s.align = align;
    });
    sheet.setValue(range.top, range.left, value);
    return range;
}

XlRange XL_Work::WriteValueRange(XlSheet &sheet, const XlRange &range, const QVariant &value, XlAlign align,
                                 double fontSize, bool merge)
{
    if (merge)
        sheet.merge(range);
    sheet.format(range, [&](XlStyle &s) {
        s.font.name = FontName;
        s.font.bold = true;
        s.font.size = fontSize;
        s.font.colorIndex = Black;
        s.align = align;
    });
    sheet.setBorders(range, XlBorderIndex::EdgeBottom, XlLine::Continuous, XlSheet::ColorAutomatic);
    sheet.setValue(range.top, range.left, value);
    return range;
}

XlSheet XL_Work::buildOrderSheet(Workspace &workspace, const QDate &date)
{
    const Settings &settings = workspace.settings();
    const GridLayout &grid = workspace.grid(Workspace::Grid::Order);
    RecordTable &table = workspace.order();
    const int lines = table.isActive() ? table.rowCount() : 0;
    const int columns = std::max(grid.count() - 2, 1);

    XlSheet sheet(QStringLiteral("Заказ"));

    // The whole sheet.
    sheet.formatSheet([](XlStyle &s) {
        s.interiorColorIndex = White;
        s.numberFormat = QStringLiteral("@");
        s.font.name = QStringLiteral("Arial Cyr");
        s.font.size = 8;
        s.font.strikethrough = false;
        s.font.superscript = false;
        s.font.subscript = false;
        s.font.outline = false;
        s.font.shadow = false;
        s.font.underline = false;
        s.font.colorIndex = Black;
    });

    // The order lines from row 29, read by row.
    WriteGridToSheet(grid, table, sheet, TableRow, 1);

    // Header row with the grid's titles.
    const XlRange header = XlRange::span(HeaderRow, 1, HeaderRow, columns);
    frame(sheet, header);
    sheet.setBorders(header, XlBorderIndex::EdgeBottom, XlLine::Continuous, XlSheet::ColorAutomatic);
    insideLines(sheet, header, XlBorderIndex::InsideVertical);
    sheet.format(header, [](XlStyle &s) {
        s.interiorColorIndex = LightGrey;
        s.font.bold = true;
        s.font.size = 10;
        s.align = XlAlign::Center;
    });
    for (int c = 2; c < grid.count(); ++c)
        sheet.setValue(HeaderRow, c - 1, grid.columns.at(c).title);

    // Widths follow the table alone: the blocks below come after the fit.
    sheet.autoFitColumns();
    if (sheet.columnWidth(2) > MaxNameWidth)
        sheet.setColumnWidth(2, MaxNameWidth);

    WriteLabelRange(sheet, XlRange::address(QStringLiteral("B2:G2")),
                    QString(QStringLiteral("Заказ на ") + TextFile::shortDate(date)), XlAlign::Center, 16, true);
    sheet.setRowHeight(3, 5);

    frame(sheet, XlRange::address(QStringLiteral("B4:G22")));

    const QList<std::pair<QString, QString>> customer = {
        {QStringLiteral("Заказчик"), settings.customer},
        {QStringLiteral("Адрес"), settings.addr},
        {QStringLiteral("Телефон/факс"), settings.phone},
        {QStringLiteral("Контактное лицо"), settings.contact},
        {QStringLiteral("Банк"), settings.bank},
        {QStringLiteral("БИК"), settings.bik},
        {QStringLiteral("Расчетный счет"), settings.settlementAccount},
        {QStringLiteral("Кор. счет"), settings.correspondentAccount},
        {QStringLiteral("ИНН"), settings.inn},
    };
    for (int k = 0; k <= 18; ++k) {
        const int row = k + 4;
        if (k % 2 == 1) {
            const auto &[label, value] = customer.at(k / 2);
            WriteLabelRange(sheet, XlRange::cell(row, 2), label, XlAlign::Right, 12, false);
            WriteValueRange(sheet, XlRange::span(row, 3, row, 6), value, XlAlign::Left, 10, true);
        } else {
            sheet.setRowHeight(row, SpacerHeight);
        }
    }

    // Terms.
    sheet.format(XlRange::address(QStringLiteral("B24:F26")), [](XlStyle &s) {
        s.font.size = 11;
        s.font.bold = true;
        s.font.colorIndex = DarkGrey;
        s.align = XlAlign::Left;
    });
    sheet.setRowHeight(23, SpacerHeight);
    sheet.setRowHeight(25, SpacerHeight);
    sheet.format(XlRange::address(QStringLiteral("F24")), [](XlStyle &s) { s.align = XlAlign::Right; });
    sheet.setValue(24, 2,
                   settings.delivery == QLatin1String("yes") ? QStringLiteral("Необходима доставка товара")
                                                             : QStringLiteral("Доставка товара не нужна"));
    sheet.setValue(24, 6,
                   settings.pack == QLatin1String("yes") ? QStringLiteral("Необходима упаковка товара")
                                                         : QStringLiteral("Упаковка товара не нужна"));
    sheet.setValue(26, 2,
                   settings.payment == QLatin1String("clearing") ? QStringLiteral("Способ оплаты: Безналичный расчет")
                                                                 : QStringLiteral("Способ оплаты: Наличный расчет"));

    // Totals, one empty row below the table.
    const int totalRow = lines + 30;
    const QString payable = workspace.document().payableText();
    WriteLabelRange(sheet, XlRange::cell(totalRow, 4), QStringLiteral("К оплате:"), XlAlign::Right, 12, false);
    WriteValueRange(sheet, XlRange::span(totalRow, 5, totalRow, 7), payable, XlAlign::Right, 12, true);

    const double discount = settings.discount;
    if (discount != 0) {
        const bool markup = discount < 0;
        WriteLabelRange(sheet, XlRange::cell(totalRow + 1, 4),
                        markup ? QStringLiteral("Наценка:") : QStringLiteral("Скидка:"), XlAlign::Right, 12, false);
        const XlRange rateRange = XlRange::span(totalRow + 1, 5, totalRow + 1, 7);
        if (discount >= 100) {
            WriteValueRange(sheet, rateRange, QStringLiteral("Накопит."), XlAlign::Right, 12, true);
        } else {
            WriteLabelRange(sheet, XlRange::cell(totalRow + 2, 4),
                            markup ? QStringLiteral("Стоимость без наценки :")
                                   : QStringLiteral("Сумма без учета скидки:"),
                            XlAlign::Right, 12, false);
            const QString undiscounted = workspace.document().undiscountedText();
            WriteValueRange(sheet, XlRange::span(totalRow + 2, 5, totalRow + 2, 7), undiscounted, XlAlign::Right, 12,
                            true);
            WriteValueRange(sheet, rateRange, std::abs(discount) / 100.0, XlAlign::Right, 12, true);
            sheet.format(rateRange, [](XlStyle &s) { s.numberFormat = QStringLiteral("0.00%"); });
        }
    }

    // On paper: A4, one page across, the table's titles on every page, and
    // nothing but the title, the customer block, the table and the totals.
    XlPageSetup page;
    page.paperSize = 9;
    page.fitPagesWide = 1;
    page.repeatRowsFirst = HeaderRow;
    page.repeatRowsLast = HeaderRow;
    page.printArea = XlRange::span(1, 1, sheet.lastRow(), std::max(columns, 7));
    sheet.setPageSetup(page);
    return sheet;
}

void XL_Work::ExportExcelExecute(Workspace &workspace)
{
    UserPrompts &prompts = workspace.prompts();
    if (!SpreadsheetInstalled()) {
        prompts.message(QStringLiteral("На вашем компьютере не установлен MS Excel"), UserPrompts::Icon::Error);
        return;
    }

    const QDate today = QDate::currentDate();
    UserPrompts::FileDialog dialog;
    dialog.title = QStringLiteral("Экспорт заказа в формате MS Excel");
    dialog.defaultExtension = QStringLiteral("xlsx");
    dialog.filter = QStringLiteral("Файл MS Excel (*.xlsx)|*.xlsx");
    dialog.fileName = MakeSafeFileName(QStringLiteral("order ") + workspace.settings().customer + QLatin1Char(' ')
                                       + TextFile::shortDate(today) + QStringLiteral(".xlsx"));
    dialog.overwritePrompt = true;
    const QString path = prompts.saveFile(dialog);
    if (path.isEmpty())
        return;

    ProgressReporter &progress = workspace.progress();
    progress.startProgress(QStringLiteral("Экспорт в формат MS Excel"), 1, 100);
    const ProgressFinish end(progress);

    const XlSheet sheet = buildOrderSheet(workspace, today);
    progress.stepProgress(90);
    XlsxFile::write(sheet, path);
    workspace.setLabel(Workspace::Label::Status,
                       QStringLiteral("Экспорт в MS Excel: ") + QDir::toNativeSeparators(path));
}
