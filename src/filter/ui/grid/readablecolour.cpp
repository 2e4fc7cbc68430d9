#include "readablecolour.h"

#include <algorithm>
#include <cmath>

double ReadableColour::luminance(const QColor &colour)
{
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * channel(rgb.redF()) + 0.7152 * channel(rgb.greenF()) + 0.0722 * channel(rgb.blueF());
}

double ReadableColour::contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

QColor ReadableColour::on(const QColor &wanted, const QColor &background, double minimum)
{
    if (contrast(wanted, background) >= minimum)
        return wanted;
    // Black reaches 4.5 on every background at least as light as this, white
    // on every darker one.
    const QColor target = luminance(background) >= 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    const QColor from = wanted.toRgb();
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
