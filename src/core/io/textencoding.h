#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

class QIODevice;

// Which code page a text file that the program reads is in. The program's
// own files are Windows-1251; a price list, order file or car-model file
// saved as UTF-8 by a newer tool (with or without a byte-order mark) is
// recognised over the whole file: it is UTF-8 when its non-ASCII text is
// UTF-8 but for a few broken sequences (at least eight valid sequences for
// every broken one; a byte-order mark alone decides). A file with a UTF-16
// byte-order mark (little or big endian) is UTF-16. Everything else is
// Windows-1251, as always. What the program writes stays Windows-1251.
namespace TextEncoding
{
    enum class Kind
    {
        Cp1251,
        Utf8,
        Utf16LE,
        Utf16BE,
    };

    // The encoding of a whole file's bytes, by the rule above.
    Kind detect(QByteArrayView bytes);
    // The same over an open file from its start, read in blocks; the file is
    // put back at its start. Cp1251 with the file's error set when reading
    // failed.
    Kind detect(QIODevice &file);
    // detect() says UTF-8.
    bool isUtf8(QByteArrayView bytes);

    // For a reader that goes through an open file in blocks: when the file
    // is UTF-8 or UTF-16, reads it whole into `bytes` as Windows-1251 (see
    // toCp1251) and returns true; otherwise returns false and leaves the file
    // at its start to be read as it lies. False with the file's error set
    // when reading failed. `undecoded` (optional) receives the number of
    // lines left out because they did not decode.
    bool readWholeIfUtf8(QIODevice &file, QByteArray *bytes, int *undecoded = nullptr);
    // The file's bytes as Windows-1251: UTF-8 or UTF-16 text converted
    // (characters the code page lacks become '?', the byte-order mark goes),
    // anything else unchanged. A UTF-8 line with a broken sequence is left
    // out whole, its line end kept, and counted in `undecoded`. The price
    // list's byte parser reads the result.
    QByteArray toCp1251(const QByteArray &bytes, int *undecoded = nullptr);
    // The file's lines decoded by the encoding found above (a broken UTF-8
    // sequence becomes U+FFFD).
    QStringList decodeLines(const QByteArray &bytes);
}
