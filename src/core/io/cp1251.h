#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1251, the code page of every file the program reads and writes.
namespace Cp1251
{
    // Unicode code point of a byte.
    char16_t toUnicode(unsigned char byte);
    // Byte of a code point, or 0 when the code page has no such character.
    unsigned char fromUnicode(char16_t ch);

    QString decode(QByteArrayView bytes);
    // Writes the UTF-8 form of the bytes to `out`, which has room for three
    // bytes a byte; returns the number of bytes written.
    qsizetype writeUtf8(QByteArrayView bytes, char *out);
    // Characters the code page lacks become '?'.
    QByteArray encode(QStringView text);
    // As encode(), but reports whether every character could be encoded.
    QByteArray encode(QStringView text, bool *ok);

    // Case folding of Latin and Cyrillic letters on code-page bytes: every
    // upper-case letter maps to its lower-case form (Ё to ё as well), every
    // other byte to itself.
    const unsigned char *foldTable();
    inline unsigned char fold(unsigned char byte)
    {
        return foldTable()[byte];
    }
    QByteArray folded(QByteArrayView bytes);
}
