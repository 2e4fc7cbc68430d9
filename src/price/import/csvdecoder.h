#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

// Turns the bytes of a text file into text block by block. A character cut
// by the end of a block is finished by the next one. The Cyrillic code
// pages go through Qt's codec where Qt has one (ICU) and through the tables
// below where it has not, so the program reads them on every system.
class CsvDecoder final
{
public:
    // `encoding`: one of CsvReader::encodings().
    explicit CsvDecoder(const QByteArray &encoding);
    // Neither Qt nor the tables know the encoding.
    bool isValid() const;

    // The text of the next block; valid until the next call.
    QStringView decode(QByteArrayView bytes);
    // The end of the file: a character that it cut becomes U+FFFD.
    QStringView finish();
    // Some bytes were no character of the encoding (they became U+FFFD).
    bool hasError() const;

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

    QStringDecoder m_decoder;
    const char16_t *m_table = nullptr;
    Unicode m_unicode = Unicode::None;
    bool m_tableError = false;
    bool m_cutAtEnd = false;
    // The bytes of a multi-byte character still open at the end of the
    // last block, as far as finish() needs to know.
    qint64 m_bytes = 0;
    unsigned char m_tail[3] = {};
    int m_tailSize = 0;
    QString m_buffer;
};
