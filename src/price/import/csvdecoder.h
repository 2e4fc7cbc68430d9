#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

// Turns the bytes of a text file into text block by block. A character cut
// by the end of a block is kept back and finished by the next one, so the
// text does not depend on where the blocks end: each byte that is no
// character becomes one U+FFFD wherever it lies. The Cyrillic code pages go
// through Qt's codec where Qt has one (ICU) and through the tables below
// where it has not, so the program reads them on every system.
class CsvDecoder final
{
public:
    // `encoding`: one of CsvReader::encodings().
    explicit CsvDecoder(const QByteArray &encoding);

    // The text of the next block; valid until the next call.
    QStringView decode(QByteArrayView bytes);
    // The end of the file: a character that it cut becomes U+FFFD.
    QStringView finish();
    // Some bytes were no character of the encoding (they became U+FFFD).
    bool hasError() const;
    void clearError() { m_error = false; }

    // The characters of the 256 bytes of a single-byte Cyrillic code page
    // ("windows-1251", "IBM866", "KOI8-R"); nullptr for any other name.
    static const char16_t *singleByteTable(QByteArrayView encoding);

private:
    enum class Unicode : quint8
    {
        None,
        Utf8,
        Utf16
    };

    QChar *decodeInto(QChar *out, QByteArrayView bytes);

    // Qt's decoder sees whole characters only, each piece on its own.
    QStringDecoder m_decoder;
    const char16_t *m_table = nullptr;
    Unicode m_unicode = Unicode::None;
    bool m_error = false;
    // The start of a character that the end of the last block cut.
    QByteArray m_carry;
    QString m_buffer;
};
