#pragma once

#include <QString>

// Advance widths of the Arial typeface, for the places where the logic has to
// know how wide a text will be drawn without a font engine at hand: the
// column fit of the spreadsheet export and the printed report's layout.
// Latin letters, digits and punctuation carry Arial's own widths; the
// Cyrillic letters carry widths close to Arial's; any other character is
// taken as wide as a digit.
namespace ArialMetrics
{
    // Width of the text in thousandths of the font size (em / 1000).
    int emWidth(const QString &text, bool bold);
    // Width in points of the text set in Arial of the given size.
    double pointWidth(const QString &text, double pointSize, bool bold);
    // Width in screen pixels at 96 dots per inch.
    double pixelWidth(const QString &text, double pointSize, bool bold);
}
