#pragma once

#include <array>

#include <QByteArrayView>
#include <QChar>
#include <QStringView>

// What the import reads from a text cell given in Windows-1251, with the
// same answers ImportCells gives for the same text in Unicode: the common
// forms ("248851", "43586,02") straight from the bytes, the rest through
// ImportCells on the decoded text.
namespace Cp1251Cells
{
    // Whether each byte's character is a blank, as ImportCells::isSpace().
    extern const std::array<bool, 256> spaceTable;
    inline bool isSpace(unsigned char byte)
    {
        return spaceTable[byte];
    }
    inline QByteArrayView trimmed(QByteArrayView text)
    {
        const auto *begin = reinterpret_cast<const unsigned char *>(text.data());
        const auto *end = begin + text.size();
        while (begin != end && spaceTable[*begin])
            ++begin;
        while (end != begin && spaceTable[end[-1]])
            --end;
        return QByteArrayView(reinterpret_cast<const char *>(begin), end - begin);
    }
    // Any character but a blank.
    inline bool isFilled(QByteArrayView text)
    {
        for (const char c : text) {
            if (!spaceTable[static_cast<unsigned char>(c)])
                return true;
        }
        return false;
    }

    // As ImportCells::parseNumber().
    bool number(QByteArrayView text, QChar decimalMark, double *value);
    // As ImportCells::wholeNumber() of a text cell.
    bool wholeNumber(QByteArrayView text, qint32 *value);
    // As ImportCells::isDamagedCode() of a text cell.
    bool isDamagedCode(QByteArrayView text);

    // Whether two texts are the same but for letter case, as QString's
    // case-insensitive comparison says.
    bool equalFolded(QByteArrayView a, QByteArrayView b);
    // Whether `text` begins with `word`, letter case aside, as
    // QStringView::startsWith(word, Qt::CaseInsensitive) says.
    bool startsWithFolded(QByteArrayView text, QStringView word);
}
