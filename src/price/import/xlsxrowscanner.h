#pragma once

#include <string>
#include <vector>

#include <QByteArrayView>
#include <QHash>
#include <QString>

#include "xlsxreader.h"

// Reads one row of a sheet's XML straight from its bytes, in the forms
// spreadsheets write: <row r= hidden=> with cells <c r= t= s=> holding a
// <v> value, a formula <f> (skipped) or an inline string <is><t>. Texts
// come out in Windows-1251. Whatever else a row holds (rich text, CDATA,
// comments, prefixed names, booleans, errors and dates, entities in a
// value, a character the code page lacks, a tag written another way) makes
// it refuse the row, which is then read as XlsxReader::readSheet() reads
// it; for the rows it takes it gives what that reading gives.
class XlsxRowScanner final
{
public:
    // The widest sheet Excel makes; a cell past it is ignored.
    static constexpr int MaxColumns = 16384;

    // The workbook's shared strings, as XlsxReader keeps them.
    XlsxRowScanner(const std::vector<char> &sharedBytes, const std::vector<quint32> &sharedEnds,
                   const QHash<qsizetype, QString> &sharedUnicode)
        : m_sharedBytes(sharedBytes)
        , m_sharedEnds(sharedEnds)
        , m_sharedUnicode(sharedUnicode)
    { }

    // The row "<row ...>...</row>" or "<row .../>" at `begin`, within
    // [begin, end), after the row numbered `rowIndex` (0-based; -1 before
    // the first): appends it to `out` when it holds data, moves `rowIndex`
    // to it and returns where it ends. Null, with `out` and `rowIndex` as
    // they were, for a row it does not take or that runs past `end`.
    const char *scan(const char *begin, const char *end, qint64 &rowIndex, XlsxReader::ByteRows &out);

    // The hidden rows and the widest row of those taken.
    qint64 hiddenRows() const { return m_hiddenRows; }
    int width() const { return m_width; }

    // Appends the Windows-1251 form of a workbook string given in UTF-8
    // (entities decoded) to `out`, with the "_x000D_" escapes of Excel
    // decoded; false, with `out` as it was, when a character has no byte in
    // the code page (or is NUL, or the text is no UTF-8).
    static bool appendCp1251(QByteArrayView utf8, std::vector<char> &out);

private:
    // The attributes read: the first of each name, as XmlScanner gives it.
    struct Attributes
    {
        QByteArrayView r;
        QByteArrayView t;
        QByteArrayView s;
        QByteArrayView hidden;
        bool empty = false; // the tag ends in "/>"
    };
    // As many as XmlScanner keeps.
    static constexpr int MaxAttributes = 256;
    // The longest fraction kept as written.
    static constexpr qsizetype MaxNumberText = 24;

    // The attributes of a start tag from just past its name up to its
    // ">" or "/>" (`p` then past it); false for a tag not written plainly.
    static bool attributes(const char *&p, const char *end, Attributes &found);
    bool cell(const char *&p, const char *end, XlsxReader::ByteRows &out, quint32 first, int &column, bool &data);

    const std::vector<char> &m_sharedBytes;
    const std::vector<quint32> &m_sharedEnds;
    const QHash<qsizetype, QString> &m_sharedUnicode;
    qint64 m_hiddenRows = 0;
    int m_width = 0;
    std::string m_decoded;
};
