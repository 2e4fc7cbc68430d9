#pragma once

#include <QByteArrayView>
#include <QString>

// The code a part gets when its supplier's list has no whole-number codes:
// made from its part number and maker, so that the same part has the same
// code in the supplier's next list and an order re-prices line for line.
// Such a code is the program's own: it never reaches a file as if the
// supplier had given it (an order file keeps the part number and the maker,
// and the code field empty).
namespace PartKey
{
    // Made-up codes are never below it.
    constexpr qint64 LowestMadeUp = 1000000000;
    // Codes that collide within one list take the next salt.
    constexpr int Salts = 8;

    // Blanks, "-", "." and "/" do not count, nor letter case; 0 when the
    // part number is empty.
    qint32 code(QByteArrayView partNumber, QByteArrayView maker, int salt = 0);
    qint32 code(const QString &partNumber, const QString &maker, int salt = 0);
    // The code is one the program made for this part number and maker.
    bool isMadeUp(qint64 code, const QString &partNumber, const QString &maker);
}
