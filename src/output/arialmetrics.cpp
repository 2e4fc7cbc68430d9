#include "arialmetrics.h"

namespace
{
    // Characters 32 to 126.
    constexpr short RegularAscii[95] = {
        278, 278, 355, 556, 556, 889, 667,  191, 333, 333, 389, 584, 278, 333, 278, 278, // space to /
        556, 556, 556, 556, 556, 556, 556,  556, 556, 556,                               // 0 to 9
        278, 278, 584, 584, 584, 556, 1015,                                              // : to @
        667, 667, 722, 722, 667, 611, 778,  722, 278, 500, 667, 556, 833,                // A to M
        722, 778, 667, 778, 722, 667, 611,  722, 667, 944, 667, 667, 611,                // N to Z
        278, 278, 278, 469, 556, 333,                                                    // [ to `
        556, 556, 500, 556, 556, 278, 556,  556, 222, 222, 500, 222, 833,                // a to m
        556, 556, 556, 556, 333, 500, 278,  556, 500, 722, 500, 500, 500,                // n to z
        334, 260, 334, 584                                                               // { to ~
    };
    constexpr short BoldAscii[95] = {278, 333, 474, 556, 556, 889, 722, 238, 333, 333, 389, 584, 278, 333, 278, 278,
                                     556, 556, 556, 556, 556, 556, 556, 556, 556, 556, 333, 333, 584, 584, 584, 611,
                                     975, 722, 722, 722, 722, 667, 611, 778, 722, 278, 556, 722, 611, 833, 722, 778,
                                     667, 778, 722, 667, 611, 722, 667, 944, 667, 667, 611, 333, 278, 333, 584, 556,
                                     333, 556, 611, 556, 611, 556, 333, 611, 611, 278, 278, 556, 278, 889, 611, 611,
                                     611, 611, 389, 556, 333, 611, 556, 778, 556, 556, 500, 389, 280, 389, 584};
    // U+0410 to U+044F, А to я.
    constexpr short RegularCyrillic[64] = {
        667, 656, 667, 542, 677, 667, 923, 604, 719,  719, 583, 656, 833, 722, 778, 719, 667, 722, 611, 635, 760, 667,
        740, 667, 917, 938, 792, 885, 656, 719, 1010, 722, 556, 573, 531, 365, 583, 556, 669, 458, 559, 559, 438, 583,
        688, 552, 556, 542, 556, 500, 458, 500, 823,  500, 573, 521, 802, 823, 625, 719, 521, 510, 750, 542};

    int charWidth(char16_t ch, bool bold)
    {
        if (ch >= 32 && ch <= 126)
            return bold ? BoldAscii[ch - 32] : RegularAscii[ch - 32];
        int regular = 556;
        if (ch >= 0x0410 && ch <= 0x044F)
            regular = RegularCyrillic[ch - 0x0410];
        else if (ch == 0x0401) // Ё
            regular = 667;
        else if (ch == 0x0451) // ё
            regular = 556;
        else if (ch == 0x2116) // №
            regular = 1000;
        else if (ch == 0x00A0) // no-break space, a thousands separator
            regular = 278;
        else if (ch < 32)
            regular = 0;
        return bold ? (regular * 107 + 50) / 100 : regular;
    }
}

int ArialMetrics::emWidth(const QString &text, bool bold)
{
    int width = 0;
    for (const QChar ch : text)
        width += charWidth(ch.unicode(), bold);
    return width;
}

double ArialMetrics::pointWidth(const QString &text, double pointSize, bool bold)
{
    return emWidth(text, bold) * pointSize / 1000.0;
}

double ArialMetrics::pixelWidth(const QString &text, double pointSize, bool bold)
{
    return pointWidth(text, pointSize, bold) * 96.0 / 72.0;
}
