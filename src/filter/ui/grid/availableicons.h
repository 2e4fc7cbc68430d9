#pragma once

#include <QList>
#include <QPixmap>

// The eight 18 × 18 pictures of the price grid and the legend, by position:
// 0 not in stock (red sheet), 1 in stock (white sheet), 2 new and in stock
// (blue exclamation mark on a white sheet), 3 expected (yellow sheet), 4 new
// and expected (exclamation mark on a yellow sheet), 5 in the order (green
// tick, drawn over a sheet), 6 price went down (green arrow down), 7 price
// went up (red arrow up). Drawn once, on first use.
class AvailableIcons final
{
public:
    enum Index
    {
        NotInStock = 0,
        InStock = 1,
        NewInStock = 2,
        Expected = 3,
        NewExpected = 4,
        InOrder = 5,
        PriceDown = 6,
        PriceUp = 7
    };

    static constexpr int Count = 8;
    static constexpr int Size = 18;

    // Index outside 0..7: a null pixmap.
    static QPixmap pixmap(int index);
    static const QList<QPixmap> &all();
};
