#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

class QIODevice;

// Which code page a text file that the program reads is in. The program's
// own files are Windows-1251; a price list, order file or car-model file
// saved as UTF-8 by a newer tool (with or without a byte-order mark) is
// recognised by being valid UTF-8 and holding some non-ASCII text, and is
// read as UTF-8. Everything else is Windows-1251, as always. What the
// program writes stays Windows-1251.
namespace TextEncoding
{
    // Valid UTF-8 with at least one non-ASCII character (a byte-order mark
    // alone counts).
    bool isUtf8(QByteArrayView bytes);
    // Whether a file that begins with these bytes may be UTF-8: they are
    // valid UTF-8 up to their last ASCII byte (a character cut at the end
    // does not count against them). A reader that goes through a file in
    // blocks reads the whole file only then.
    bool mayBeUtf8(QByteArrayView start);
    // For a reader that goes through an open file in blocks: when the file
    // may be UTF-8, reads it whole into `bytes` as Windows-1251 (toCp1251)
    // and returns true; otherwise returns false and leaves the file to be
    // read as it lies. False with the file's error set when reading failed.
    bool readWholeIfUtf8(QIODevice &file, QByteArray *bytes);
    // The file's bytes as Windows-1251: UTF-8 text converted (characters the
    // code page lacks become '?', the byte-order mark goes), anything else
    // unchanged. The price list's byte parser reads the result.
    QByteArray toCp1251(const QByteArray &bytes);
    // The file's lines decoded by the encoding found above.
    QStringList decodeLines(const QByteArray &bytes);
}
