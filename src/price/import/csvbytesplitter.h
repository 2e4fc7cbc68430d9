#pragma once

#include <array>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>

// Splits whole records of a delimited text on its raw bytes, as CsvParser
// splits the decoded text, and gives each record's fields straight in
// Windows-1251, the code page the price table keeps: no Unicode text on
// the way. A record with a character that code page lacks, or with bytes
// that are no character, is said to be inexact: its fields are then not
// to be used, and the record is read as text from its raw bytes instead.
class CsvByteSplitter final
{
public:
    struct Record
    {
        qint64 index = 0;
        // Its bytes, the line end included.
        QByteArrayView raw;
        // The fields, valid during the call; only when `exact`.
        const QByteArrayView *fields = nullptr;
        qsizetype count = 0;
        bool exact = true;
    };
    using RecordHandler = std::function<void(const Record &)>;

    // Whether the bytes of the encoding can be split so: UTF-8, and the
    // single-byte code pages where the line ends, the quote and the
    // delimiter read as themselves.
    static bool handles(const QByteArray &encoding, char delimiter);
    // `encoding` and `delimiter`: what handles() accepts.
    CsvByteSplitter(const QByteArray &encoding, char delimiter);

    // Splits `block`, which holds whole records (or ends where the file
    // does), numbering them from `firstRecord`.
    void split(QByteArrayView block, qint64 firstRecord, const RecordHandler &onRecord);
    // Writes the Windows-1251 form of the UTF-8 text [from, to) at `out`
    // (no more bytes than it reads); clears `exact` at a character the code
    // page lacks, at NUL and at bytes that are no character.
    static char *utf8ToCp1251(const char *from, const char *to, char *out, bool &exact);

    // The number of the record after the last one split.
    qint64 nextRecord() const { return m_record; }
    // The record where a quoted field starts that the end of the block left
    // open; -1 when every quote is closed.
    qint64 unclosedQuoteRecord() const { return m_unclosedQuote; }

private:
    // Appends the Windows-1251 form of [from, to) at `out`; clears `exact`
    // at a character the code page lacks.
    char *convert(const char *from, const char *to, char *out, bool &exact) const;

    // For a single-byte code page: the Windows-1251 byte of each byte; 0
    // where there is none.
    std::array<unsigned char, 256> m_single{};
    bool m_utf8 = false;
    char m_delimiter;
    qint64 m_record = 0;
    qint64 m_unclosedQuote = -1;
    std::vector<char> m_text;
    std::vector<QByteArrayView> m_fields;
};
