#include "readablecolour.h"

#include <algorithm>
#include <cmath>

#include <QPalette>

double ReadableColour::luminance(const QColor &colour)
{
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

QColor ReadableColour::drawnOver(const QColor &colour, const QColor &background)
{
    const QColor top = colour.toRgb();
    if (top.alpha() == 255)
        return top;
    const QColor under = background.toRgb();
    const float a = top.alphaF();
    return QColor::fromRgbF(top.redF() * a + under.redF() * (1 - a), top.greenF() * a + under.greenF() * (1 - a),
                            top.blueF() * a + under.blueF() * (1 - a));
}

double ReadableColour::contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(drawnOver(a, b));
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor ReadableColour::on(const QColor &wanted, const QColor &background, double minimum)
{
    // A little above the minimum: the drawn text's pixels are rounded to the
    // shades the screen has, and the edges of its strokes blend.
    minimum *= 1.03;
    if (contrast(wanted, background) >= minimum)
        return wanted;
    const QColor from = drawnOver(wanted, background);
    // Black reaches 4.5 on every background at least as light as this, white
    // on every darker one.
    const QColor target = luminance(background) >= 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    for (int step = 1; step <= 20; ++step) {
        const double t = step / 20.0;
        const QColor mixed = QColor::fromRgbF(float(from.redF() + (target.redF() - from.redF()) * t),
                                              float(from.greenF() + (target.greenF() - from.greenF()) * t),
                                              float(from.blueF() + (target.blueF() - from.blueF()) * t));
        if (contrast(mixed, background) >= minimum)
            return mixed;
    }
    return target;
}

bool ReadableColour::makePlaceholdersReadable(QPalette *palette)
{
    bool changed = false;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor placeholder = palette->color(group, QPalette::PlaceholderText);
        const QColor base = palette->color(group, QPalette::Base);
        if (contrast(placeholder, base) >= MinimumContrast)
            continue;
        palette->setColor(group, QPalette::PlaceholderText, on(placeholder, base));
        changed = true;
    }
    return changed;
}
