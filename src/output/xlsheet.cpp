#include "xlsheet.h"

#include <QRegularExpression>

#include <cmath>

#include "arialmetrics.h"
#include "ordixerror.h"

namespace
{
    // Pixels of a digit in the workbook's standard font: column widths count
    // in these.
    constexpr double DigitPixels = 7.0;
    // Room that the fit leaves beside the widest text, in pixels.
    constexpr double FitMarginPixels = 3.0;

    int columnNumber(const QString &letters)
    {
        int number = 0;
        for (const QChar ch : letters)
            number = number * 26 + (ch.toUpper().unicode() - 'A' + 1);
        return number;
    }
}

XlRange XlRange::address(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([A-Za-z]{1,3})(\\d{1,7})(?::([A-Za-z]{1,3})(\\d{1,7}))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        throw OrdixError(QStringLiteral("Неверный адрес ячейки: ") + text);
    XlRange range;
    range.left = columnNumber(match.captured(1));
    range.top = match.captured(2).toInt();
    range.right = match.captured(3).isEmpty() ? range.left : columnNumber(match.captured(3));
    range.bottom = match.captured(4).isEmpty() ? range.top : match.captured(4).toInt();
    if (range.top < 1 || range.bottom < range.top || range.right < range.left)
        throw OrdixError(QStringLiteral("Неверный адрес ячейки: ") + text);
    return range;
}

double XlSheet::autoRowHeight(double pointSize)
{
    // The heights the spreadsheet gives a row for its largest font.
    if (pointSize <= 8)
        return 11.25;
    if (pointSize <= 9)
        return 12.0;
    if (pointSize <= 10)
        return 12.75;
    if (pointSize <= 11)
        return 15.0;
    if (pointSize <= 12)
        return 15.75;
    if (pointSize <= 14)
        return 18.0;
    if (pointSize <= 16)
        return 20.25;
    // About 1.27 × the size, on the 0.75-point grid of whole pixels.
    return std::ceil(pointSize * 1.27 / 0.75) * 0.75;
}

XlSheet::XlSheet(const QString &name)
    : m_name(name)
{ }

void XlSheet::formatSheet(const std::function<void(XlStyle &)> &change)
{
    change(m_sheetStyle);
    for (auto &entry : m_cells)
        change(entry.second.style);
}

XlCell &XlSheet::touch(int row, int column)
{
    const auto key = std::make_pair(row, column);
    auto found = m_cells.find(key);
    if (found == m_cells.end()) {
        XlCell cell;
        cell.style = m_sheetStyle;
        found = m_cells.emplace(key, cell).first;
    }
    return found->second;
}

void XlSheet::format(const XlRange &range, const std::function<void(XlStyle &)> &change)
{
    for (int row = range.top; row <= range.bottom; ++row) {
        for (int column = range.left; column <= range.right; ++column)
            change(touch(row, column).style);
    }
}

void XlSheet::borderAround(const XlRange &range, XlLine line, int colorIndex)
{
    const XlBorder border{line, colorIndex};
    format(XlRange::span(range.top, range.left, range.top, range.right), [&](XlStyle &s) { s.top = border; });
    format(XlRange::span(range.bottom, range.left, range.bottom, range.right), [&](XlStyle &s) { s.bottom = border; });
    format(XlRange::span(range.top, range.left, range.bottom, range.left), [&](XlStyle &s) { s.left = border; });
    format(XlRange::span(range.top, range.right, range.bottom, range.right), [&](XlStyle &s) { s.right = border; });
}

void XlSheet::setBorders(const XlRange &range, XlBorderIndex which, XlLine line, int colorIndex)
{
    const XlBorder border{line, colorIndex};
    switch (which) {
    case XlBorderIndex::EdgeBottom:
        format(XlRange::span(range.bottom, range.left, range.bottom, range.right),
               [&](XlStyle &s) { s.bottom = border; });
        break;
    case XlBorderIndex::InsideVertical:
        if (range.columnCount() < 2)
            throw OrdixError(QStringLiteral("Диапазон из одного столбца не имеет внутренних вертикальных линий"));
        for (int row = range.top; row <= range.bottom; ++row) {
            for (int column = range.left; column <= range.right; ++column) {
                XlStyle &s = touch(row, column).style;
                if (column > range.left)
                    s.left = border;
                if (column < range.right)
                    s.right = border;
            }
        }
        break;
    case XlBorderIndex::InsideHorizontal:
        if (range.rowCount() < 2)
            throw OrdixError(QStringLiteral("Диапазон из одной строки не имеет внутренних горизонтальных линий"));
        for (int row = range.top; row <= range.bottom; ++row) {
            for (int column = range.left; column <= range.right; ++column) {
                XlStyle &s = touch(row, column).style;
                if (row > range.top)
                    s.top = border;
                if (row < range.bottom)
                    s.bottom = border;
            }
        }
        break;
    }
}

void XlSheet::merge(const XlRange &range)
{
    for (const XlRange &other : std::as_const(m_merges)) {
        const bool apart = other.bottom < range.top || other.top > range.bottom || other.right < range.left
            || other.left > range.right;
        if (!apart)
            throw OrdixError(QStringLiteral("Объединяемые области ячеек перекрываются"));
    }
    // The area keeps the top left value only.
    for (int row = range.top; row <= range.bottom; ++row) {
        for (int column = range.left; column <= range.right; ++column) {
            XlCell &cell = touch(row, column);
            if (row != range.top || column != range.left)
                cell.value = QVariant();
        }
    }
    if (range.rowCount() > 1 || range.columnCount() > 1)
        m_merges.append(range);
}

void XlSheet::setValue(int row, int column, const QVariant &value)
{
    if (const XlRange *area = mergeAt(row, column)) {
        // A value given to a merged area lands in its top left cell.
        row = area->top;
        column = area->left;
    }
    touch(row, column).value = value;
}

void XlSheet::setValues(const XlRange &range, const QList<QStringList> &rows)
{
    for (int r = 0; r < range.rowCount(); ++r) {
        const QStringList &values = r < rows.size() ? rows.at(r) : QStringList();
        for (int c = 0; c < range.columnCount(); ++c)
            touch(range.top + r, range.left + c).value = c < values.size() ? QVariant(values.at(c)) : QVariant();
    }
}

void XlSheet::setRowHeight(int row, double points)
{
    m_rowHeights[row] = points;
}

void XlSheet::setColumnWidth(int column, double characters)
{
    m_columnWidths[column] = characters;
}

double XlSheet::columnWidth(int column) const
{
    const auto found = m_columnWidths.find(column);
    return found == m_columnWidths.end() ? StandardWidth : found->second;
}

void XlSheet::autoFitColumns()
{
    std::map<int, double> widest; // pixels
    for (const auto &[key, cell] : m_cells) {
        if (cell.value.isNull())
            continue;
        if (const XlRange *area = mergeAt(key.first, key.second); area && area->columnCount() > 1)
            continue;
        const QString text =
            cell.value.typeId() == QMetaType::Double ? QString::number(cell.value.toDouble()) : cell.value.toString();
        if (text.isEmpty())
            continue;
        const double pixels = ArialMetrics::pixelWidth(text, cell.style.font.size, cell.style.font.bold);
        double &best = widest[key.second];
        best = std::max(best, pixels);
    }
    for (const auto &[column, pixels] : widest) {
        // Whole pixels, as the application keeps them.
        const double wholePixels = std::ceil(pixels + FitMarginPixels);
        m_columnWidths[column] = wholePixels / DigitPixels;
    }
}

const XlCell *XlSheet::cellAt(int row, int column) const
{
    const auto found = m_cells.find(std::make_pair(row, column));
    return found == m_cells.end() ? nullptr : &found->second;
}

QVariant XlSheet::value(int row, int column) const
{
    const XlCell *cell = cellAt(row, column);
    return cell ? cell->value : QVariant();
}

XlStyle XlSheet::styleAt(int row, int column) const
{
    const XlCell *cell = cellAt(row, column);
    return cell ? cell->style : m_sheetStyle;
}

const XlRange *XlSheet::mergeAt(int row, int column) const
{
    for (const XlRange &area : m_merges) {
        if (area.contains(row, column))
            return &area;
    }
    return nullptr;
}

double XlSheet::rowHeight(int row) const
{
    const auto found = m_rowHeights.find(row);
    if (found != m_rowHeights.end())
        return found->second;
    double size = m_sheetStyle.font.size;
    for (auto it = m_cells.lower_bound(std::make_pair(row, 0)); it != m_cells.end() && it->first.first == row; ++it)
        size = std::max(size, it->second.style.font.size);
    return autoRowHeight(size);
}

int XlSheet::lastRow() const
{
    int last = m_cells.empty() ? 0 : m_cells.rbegin()->first.first;
    if (!m_rowHeights.empty())
        last = std::max(last, m_rowHeights.rbegin()->first);
    return last;
}

int XlSheet::lastColumn() const
{
    int last = 0;
    for (const auto &entry : m_cells)
        last = std::max(last, entry.first.second);
    if (!m_columnWidths.empty())
        last = std::max(last, m_columnWidths.rbegin()->first);
    return last;
}

unsigned XlPalette::rgb(int colorIndex)
{
    static constexpr unsigned Palette[56] = {
        0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
        0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
        0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
        0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
        0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
        0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};
    if (colorIndex < 1 || colorIndex > 56)
        return 0x000000;
    return Palette[colorIndex - 1];
}
