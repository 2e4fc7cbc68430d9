#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>

#include "sheetreader.h"

// What the import reads from one cell: texts as the buyer saw them, numbers
// in the forms suppliers write them.
namespace ImportCells
{
    // Whether a character is a blank as QChar::isSpace() says, without a
    // call for the letters and digits that fill a list.
    Q_ALWAYS_INLINE bool isSpace(char16_t c)
    {
        if (c < 0x80)
            return c == u' ' || (c >= u'\t' && c <= u'\r');
        return (c == 0x85 || c == 0xA0 || c >= 0x1680) && QChar::isSpace(c);
    }
    // The text without blanks around it, as QStringView::trimmed().
    Q_ALWAYS_INLINE QStringView trimmed(QStringView text)
    {
        const char16_t *begin = text.utf16();
        const char16_t *end = begin + text.size();
        while (begin != end && isSpace(*begin))
            ++begin;
        while (end != begin && isSpace(end[-1]))
            --end;
        return QStringView(begin, end);
    }

    // The cell's text as written: a string as it is; a number as its
    // format shows it where that matters for a code ("000000" keeps the
    // zeros), else in plain digits ("12.5", "2101"); a date as dd.MM.yyyy.
    QString text(const SheetCell &cell, bool uses1904Dates = false);
    // How many digits a number format like "000000" asks for (a code's
    // zeros); 0 for any other format.
    int zeroPadding(const QString &format);
    // Whether a number format shows a date.
    bool isDateFormat(const QString &format);
    // A code or part number that a spreadsheet turned into a float
    // ("2.19E+26", or a number past 15 digits): its digits are lost.
    bool isDamagedCode(const SheetCell &cell);

    // A number written by a person: "1 234,50", "1 234.50", "1234,5 ₽",
    // "1,234.50", "-9,13 €", "4 709". `decimalMark` is '.' or ',' when the
    // column's mark is known (the other one then groups thousands), null to
    // decide from the text alone. Currency signs and words are allowed
    // after or before the number; anything else makes it no number.
    bool parseNumber(QStringView text, QChar decimalMark, double *value);
    // The decimal mark of a column, from its texts: ',' or '.', or null when
    // the texts do not tell.
    QChar decideDecimalMark(const QList<QString> &texts);
    // The number of a cell: the value of a number cell, or its parsed text.
    bool number(const SheetCell &cell, QChar decimalMark, double *value);
    // A whole number in the 32-bit range, from a number or its text; leading
    // zeros allowed.
    bool wholeNumber(const SheetCell &cell, qint32 *value);
}
