#pragma once

#include <QColor>

class QPalette;

// Text colours that stay readable on the background they are drawn on,
// whatever palette the desktop brings (light or dark): the contrast ratio of
// two colours as the web's accessibility guidelines define it, and the
// nearest shade of a wanted text colour that reaches a minimum ratio.
class ReadableColour final
{
public:
    // The ratio asked of normal text.
    static constexpr double MinimumContrast = 4.5;

    // (lighter + 0.05) / (darker + 0.05) of the colours' relative
    // luminances: 1 for equal colours, 21 for black on white. A translucent
    // `a` counts as drawn over `b`.
    static double contrast(const QColor &a, const QColor &b);
    // `wanted` itself when it contrasts enough with `background` (a little
    // more than `minimum`); otherwise `wanted` mixed towards black (on a
    // light background) or white (on a dark one) just far enough.
    static QColor on(const QColor &wanted, const QColor &background, double minimum = MinimumContrast);
    // Gives the placeholder texts of the palette's enabled fields a colour
    // readable on the fields' background (a desktop palette may leave them
    // at a dark grey that vanishes on a dark field); false when they were
    // readable already.
    static bool makePlaceholdersReadable(QPalette *palette);

private:
    static double luminance(const QColor &colour);
    // The opaque colour that `colour` gives drawn over `background`.
    static QColor drawnOver(const QColor &colour, const QColor &background);
};
