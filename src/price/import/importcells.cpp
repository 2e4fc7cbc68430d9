#include "importcells.h"

#include <charconv>
#include <cmath>

#include <QDate>
#include <QVarLengthArray>

namespace
{
    bool isBlank(QChar ch)
    {
        return ch.isSpace() || ch == QChar(0x00A0) || ch == QChar(0x202F) || ch == QChar(0x2009);
    }
}

int ImportCells::zeroPadding(const QString &format)
{
    if (format.isEmpty())
        return 0;
    int zeros = 0;
    for (QChar ch : format) {
        if (ch == u'0')
            ++zeros;
        else if (ch != u'"' && ch != u'\\')
            return 0;
    }
    return zeros > 1 ? zeros : 0;
}

bool ImportCells::isDateFormat(const QString &format)
{
    // Letters inside quotes or brackets are text or colours, not parts of a date.
    bool quoted = false;
    bool bracket = false;
    for (QChar ch : format) {
        if (ch == u'"')
            quoted = !quoted;
        else if (ch == u'[')
            bracket = true;
        else if (ch == u']')
            bracket = false;
        else if (!quoted && !bracket) {
            const QChar lower = ch.toLower();
            if (lower == u'd' || lower == u'y' || lower == u'д' || lower == u'г')
                return true;
            if (lower == u'm' && !format.contains(u'h', Qt::CaseInsensitive))
                return true;
        }
    }
    return false;
}

namespace
{
    QString plainNumber(double value)
    {
        if (std::isfinite(value) && std::fabs(value) < 1e15 && value == std::floor(value))
            return QString::number(qint64(value));
        // As a spreadsheet shows it: "2.19E+26".
        return QString::number(value, 'g', 15).toUpper();
    }
}

QString ImportCells::text(const SheetCell &cell, bool uses1904Dates)
{
    switch (cell.kind) {
    case SheetCell::Kind::Empty:
        return QString();
    case SheetCell::Kind::Text:
    case SheetCell::Kind::Error:
        return cell.text;
    case SheetCell::Kind::Bool:
        return cell.number != 0 ? QStringLiteral("ИСТИНА") : QStringLiteral("ЛОЖЬ");
    case SheetCell::Kind::Number:
        break;
    }
    const int zeros = zeroPadding(cell.numberFormat);
    if (zeros > 0 && cell.number >= 0 && cell.number < 1e15 && cell.number == std::floor(cell.number))
        return QString::number(qint64(cell.number)).rightJustified(zeros, QLatin1Char('0'));
    if (!cell.text.isEmpty())
        return cell.text;
    if (isDateFormat(cell.numberFormat) && cell.number > 0 && cell.number < 2958466) {
        // Serial days: from 1899-12-30 (1900 system, counting its false
        // 29 February) or from 1904-01-01.
        const QDate base = uses1904Dates ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
        return base.addDays(qint64(std::floor(cell.number))).toString(QStringLiteral("dd.MM.yyyy"));
    }
    return plainNumber(cell.number);
}

bool ImportCells::isDamagedCode(const SheetCell &cell)
{
    if (cell.kind == SheetCell::Kind::Number) {
        if (std::fabs(cell.number) >= 1e15)
            return true;
        return cell.numberFormat.contains(QLatin1String("E+"), Qt::CaseInsensitive);
    }
    if (cell.kind != SheetCell::Kind::Text)
        return false;
    // "2,19E+26" or "2.19E+26" as the spreadsheet shows such a number.
    const QStringView t = trimmed(cell.text);
    if (t.size() < 4 || !t.at(0).isDigit())
        return false;
    int e = -1;
    for (qsizetype i = 1; i + 1 < t.size(); ++i) {
        if ((t[i] == u'E' || t[i] == u'e') && t[i + 1] == u'+') {
            e = int(i);
            break;
        }
    }
    if (e < 1 || e + 2 >= t.size())
        return false;
    for (int i = 0; i < t.size(); ++i) {
        const QChar ch = t.at(i);
        if (i == e || i == e + 1)
            continue;
        if (!ch.isDigit() && !((ch == u'.' || ch == u',') && i < e))
            return false;
    }
    return true;
}

bool ImportCells::parseNumber(QStringView text, QChar decimalMark, double *value)
{
    // Strip what surrounds the number: blanks, currency signs and words.
    int begin = 0;
    int end = int(text.size());
    const auto isNumberChar = [](QChar ch) { return ch.isDigit() || ch == u'-' || ch == u'+' || ch == u'−'; };
    while (begin < end && !isNumberChar(text.at(begin))) {
        const QChar ch = text.at(begin);
        if (!(isBlank(ch) || ch.isLetter() || ch.category() == QChar::Symbol_Currency || ch == u'.'))
            return false;
        ++begin;
    }
    while (end > begin && !text.at(end - 1).isDigit()) {
        const QChar ch = text.at(end - 1);
        if (!(isBlank(ch) || ch.isLetter() || ch.category() == QChar::Symbol_Currency || ch == u'.' || ch == u','))
            return false;
        --end;
    }
    if (begin >= end)
        return false;

    // Called for the price of every row: the digits go to the stack.
    QVarLengthArray<char, 64> digits;
    bool negative = false;
    int i = begin;
    if (text.at(i) == u'-' || text.at(i) == u'−') {
        negative = true;
        ++i;
    } else if (text.at(i) == u'+') {
        ++i;
    }
    // Find the marks used: their count and the digits after the last one.
    int dots = 0, commas = 0, lastMark = -1;
    for (int k = i; k < end; ++k) {
        const QChar ch = text.at(k);
        if (ch == u'.') {
            ++dots;
            lastMark = k;
        } else if (ch == u',') {
            ++commas;
            lastMark = k;
        } else if (!ch.isDigit() && !isBlank(ch) && ch != u'\'') {
            return false;
        }
    }
    QChar decimal = decimalMark;
    if (decimal.isNull()) {
        if (dots > 0 && commas > 0)
            decimal = text.at(lastMark); // "1,234.50" or "1.234,50"
        else if (dots + commas == 1)
            decimal = text.at(lastMark); // one mark: decimal
        else if (dots > 1)
            decimal = u','; // "1.234.567": dots group
        else
            decimal = u'.'; // "1,234,567": commas group
    }
    const QChar grouping = decimal == u',' ? u'.' : u',';
    bool seenDecimal = false;
    int digitsAfterGroup = -1;
    for (int k = i; k < end; ++k) {
        const QChar ch = text.at(k);
        if (ch.isDigit()) {
            digits.append(char('0' + (ch.unicode() < 0x80 ? ch.unicode() - u'0' : ch.digitValue())));
            if (digitsAfterGroup >= 0)
                ++digitsAfterGroup;
        } else if (ch == decimal) {
            if (seenDecimal)
                return false;
            if (digitsAfterGroup >= 0 && digitsAfterGroup != 3)
                return false;
            seenDecimal = true;
            digitsAfterGroup = -1;
            digits.append('.');
        } else if (ch == grouping || isBlank(ch) || ch == u'\'') {
            if (seenDecimal)
                return false; // grouping marks stand before the decimal mark only
            if (digitsAfterGroup >= 0 && digitsAfterGroup != 3)
                return false;
            digitsAfterGroup = 0;
        }
    }
    if (digitsAfterGroup >= 0 && digitsAfterGroup != 3)
        return false;
    if (digits.isEmpty() || (digits.size() == 1 && digits[0] == '.'))
        return false;
    double v = 0;
    const char *digitsEnd = digits.constData() + digits.size();
    // Up to 15 digits and few decimals: the whole number of them and the
    // power of ten are exact, so their quotient is the correctly rounded
    // value from_chars() gives.
    static constexpr double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11};
    if (digits.size() <= 16) {
        quint64 whole = 0;
        int count = 0;
        int decimals = -1;
        for (const char d : digits) {
            if (d == '.') {
                decimals = 0;
                continue;
            }
            whole = whole * 10 + quint64(d - '0');
            ++count;
            if (decimals >= 0)
                ++decimals;
        }
        if (count <= 15 && decimals < int(std::size(powers))) {
            v = decimals > 0 ? double(whole) / powers[decimals] : double(whole);
            *value = negative ? -v : v;
            return true;
        }
    }
    const auto read = std::from_chars(digits.constData(), digitsEnd, v);
    if (read.ec != std::errc() || read.ptr != digitsEnd || !std::isfinite(v))
        return false;
    *value = negative ? -v : v;
    return true;
}

QChar ImportCells::decideDecimalMark(const QList<QString> &texts)
{
    int commaDecimal = 0;
    int dotDecimal = 0;
    for (const QString &t : texts) {
        const qsizetype dot = t.lastIndexOf(u'.');
        const qsizetype comma = t.lastIndexOf(u',');
        if (dot >= 0 && comma >= 0) {
            (dot > comma ? dotDecimal : commaDecimal) += 2;
            continue;
        }
        const qsizetype mark = dot >= 0 ? dot : comma;
        if (mark < 0)
            continue;
        if (t.count(t.at(mark)) > 1) {
            // The mark stands more than once: it groups thousands.
            (t.at(mark) == u'.' ? commaDecimal : dotDecimal) += 2;
            continue;
        }
        int after = 0;
        for (qsizetype k = mark + 1; k < t.size() && t.at(k).isDigit(); ++k)
            ++after;
        if (after != 3)
            (t.at(mark) == u'.' ? dotDecimal : commaDecimal) += 1;
    }
    if (commaDecimal > dotDecimal)
        return u',';
    if (dotDecimal > commaDecimal)
        return u'.';
    return QChar();
}

bool ImportCells::number(const SheetCell &cell, QChar decimalMark, double *value)
{
    switch (cell.kind) {
    case SheetCell::Kind::Number:
        *value = cell.number;
        return std::isfinite(cell.number);
    case SheetCell::Kind::Text:
        return parseNumber(cell.text, decimalMark, value);
    default:
        return false;
    }
}

bool ImportCells::wholeNumber(const SheetCell &cell, qint32 *value)
{
    // A code of plain digits, the common case, without a conversion.
    if (cell.kind == SheetCell::Kind::Text && cell.text.size() > 0 && cell.text.size() <= 9) {
        qint32 v = 0;
        bool digits = true;
        for (const QChar ch : cell.text) {
            if (ch < u'0' || ch > u'9') {
                digits = false;
                break;
            }
            v = v * 10 + (ch.unicode() - u'0');
        }
        if (digits) {
            *value = v;
            return true;
        }
    }
    if (cell.kind == SheetCell::Kind::Number) {
        if (cell.number != std::floor(cell.number) || std::fabs(cell.number) > 2147483647.0)
            return false;
        *value = qint32(cell.number);
        return true;
    }
    if (cell.kind != SheetCell::Kind::Text)
        return false;
    const QStringView t = trimmed(cell.text);
    if (t.isEmpty() || t.size() > 11)
        return false;
    bool ok = false;
    const qint64 v = t.toLongLong(&ok);
    if (!ok || v < -2147483648LL || v > 2147483647LL)
        return false;
    *value = qint32(v);
    return true;
}
