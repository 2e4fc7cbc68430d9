#include "analoguelist.h"

namespace
{
    // A code is a run of letters and digits (any byte above ASCII is a
    // Cyrillic letter); the rest separates codes.
    bool inCode(char ch)
    {
        const auto byte = static_cast<unsigned char>(ch);
        return byte >= 0x80 || (byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z')
            || (byte >= 'a' && byte <= 'z');
    }
}

QByteArrayView AnalogueList::fitted(QByteArrayView list, qsizetype width, bool *lost)
{
    if (lost)
        *lost = false;
    if (list.size() <= width)
        return list;
    qsizetype end = qMax<qsizetype>(width, 0);
    // A code running across the width goes whole.
    if (end > 0 && inCode(list[end - 1]) && inCode(list[end])) {
        while (end > 0 && inCode(list[end - 1]))
            --end;
    }
    // What is left out names a part only when it holds a code.
    if (lost) {
        for (qsizetype i = end; i < list.size() && !*lost; ++i)
            *lost = inCode(list[i]);
    }
    while (end > 0 && !inCode(list[end - 1]))
        --end;
    return list.first(end);
}
