#pragma once

#include <functional>
#include <map>
#include <utility>

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// One worksheet held in memory the way the spreadsheet application holds it:
// cells with values and complete cell formats, merged areas, column widths in
// characters and row heights in points. The export builds it with the same
// range operations, in the same order, that it would send to the application;
// XlsxFile writes it out.
//
// Rows and columns count from 1 (A is 1). Colours are indexes into the
// spreadsheet's default 56-colour palette.

enum class XlAlign
{
    General,
    Left,
    Center,
    Right
};

enum class XlLine
{
    None,
    Continuous,
    Dotted
};

struct XlBorder
{
    XlLine line = XlLine::None;
    int colorIndex = -4105; // automatic

    bool operator==(const XlBorder &) const = default;
};

struct XlFont
{
    QString name = QStringLiteral("Calibri");
    double size = 11;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    bool superscript = false;
    bool subscript = false;
    bool outline = false;
    bool shadow = false;
    int colorIndex = -4105; // automatic

    bool operator==(const XlFont &) const = default;
};

struct XlStyle
{
    XlFont font;
    int interiorColorIndex = 0; // 0: no fill
    QString numberFormat = QStringLiteral("General");
    XlAlign align = XlAlign::General;
    XlBorder left;
    XlBorder top;
    XlBorder right;
    XlBorder bottom;

    bool operator==(const XlStyle &) const = default;
};

struct XlRange
{
    int top = 1;
    int left = 1;
    int bottom = 1;
    int right = 1;

    static XlRange cell(int row, int column) { return {row, column, row, column}; }
    static XlRange span(int top, int left, int bottom, int right) { return {top, left, bottom, right}; }
    // "B2:G2" or "F24"; throws OrdixError on anything else.
    static XlRange address(const QString &text);

    bool contains(int row, int column) const
    {
        return row >= top && row <= bottom && column >= left && column <= right;
    }
    int rowCount() const { return bottom - top + 1; }
    int columnCount() const { return right - left + 1; }
};

struct XlCell
{
    QVariant value; // QString or double; null: blank
    XlStyle style;
};

// How the sheet goes to paper. Zeros and an empty area leave the
// spreadsheet program's defaults.
struct XlPageSetup
{
    int paperSize = 0;       // 9: A4
    int fitPagesWide = 0;    // fitted to this many pages across; 0: no fitting
    int repeatRowsFirst = 0; // rows printed at the top of every page
    int repeatRowsLast = 0;
    XlRange printArea{0, 0, 0, 0}; // top 0: the whole sheet

    bool hasPrintArea() const { return printArea.top > 0; }
};

enum class XlBorderIndex
{
    EdgeBottom,
    InsideVertical,
    InsideHorizontal
};

class XlSheet final
{
public:
    static constexpr int ColorAutomatic = -4105;
    // Width of a column that was never set, in characters.
    static constexpr double StandardWidth = 8.43;
    // Height of a row in the whole-sheet font that nothing changed, in points.
    static double autoRowHeight(double pointSize);

    explicit XlSheet(const QString &name = QStringLiteral("Sheet1"));

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    // The format of every cell of the sheet (Cells.…): empty cells show it,
    // and a cell takes it as its start when a range operation first touches it.
    const XlStyle &sheetStyle() const { return m_sheetStyle; }
    void formatSheet(const std::function<void(XlStyle &)> &change);

    // Changes the format of every cell of the range.
    void format(const XlRange &range, const std::function<void(XlStyle &)> &change);
    void borderAround(const XlRange &range, XlLine line, int colorIndex);
    void setBorders(const XlRange &range, XlBorderIndex which, XlLine line, int colorIndex);
    // Merges the range into one cell; the top left cell keeps the value.
    void merge(const XlRange &range);

    // A value: QString or double; a null variant blanks the cell.
    void setValue(int row, int column, const QVariant &value);
    // Assigns a block of texts to the range from its top left cell.
    void setValues(const XlRange &range, const QList<QStringList> &rows);

    void setRowHeight(int row, double points);
    void setColumnWidth(int column, double characters);
    double columnWidth(int column) const;
    // Fits every column that holds a value outside merged areas to its widest
    // text in the cells' fonts; other columns keep their width.
    void autoFitColumns();

    // --- reading --------------------------------------------------------
    const std::map<std::pair<int, int>, XlCell> &cells() const { return m_cells; }
    const XlCell *cellAt(int row, int column) const;
    QVariant value(int row, int column) const;
    // The cell's format, the sheet's format for a cell never touched.
    XlStyle styleAt(int row, int column) const;
    const QList<XlRange> &merges() const { return m_merges; }
    // The merged area holding the cell, or null.
    const XlRange *mergeAt(int row, int column) const;
    // Explicit widths; columns not listed have the standard width.
    const std::map<int, double> &columnWidths() const { return m_columnWidths; }
    // The row's height: the one set, otherwise the height that fits the
    // largest font in the row.
    double rowHeight(int row) const;
    bool hasRowHeight(int row) const { return m_rowHeights.count(row) > 0; }
    int lastRow() const;
    int lastColumn() const;

    const XlPageSetup &pageSetup() const { return m_pageSetup; }
    void setPageSetup(const XlPageSetup &setup) { m_pageSetup = setup; }

private:
    XlCell &touch(int row, int column);

    QString m_name;
    XlStyle m_sheetStyle;
    std::map<std::pair<int, int>, XlCell> m_cells;
    QList<XlRange> m_merges;
    std::map<int, double> m_columnWidths;
    std::map<int, double> m_rowHeights;
    XlPageSetup m_pageSetup;
};

// The spreadsheet's default 56-colour palette.
namespace XlPalette
{
    // 0xRRGGBB of a colour index 1 to 56; black for automatic or any other.
    unsigned rgb(int colorIndex);
}
