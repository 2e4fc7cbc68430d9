#pragma once

#include <QByteArrayView>

// A part's analogue list: the codes of interchangeable parts, separated by
// commas (Windows-1251 bytes as the list file gives them).
class AnalogueList final
{
public:
    // The longest start of the list that fits `width` bytes and holds whole
    // codes only: a code the width would cut is left out with everything
    // after it, and so are the separators before it. `lost` (when given) is
    // set when a code was left out.
    static QByteArrayView fitted(QByteArrayView list, qsizetype width, bool *lost = nullptr);
};
