#pragma once

#include <charconv>
#include <climits>

#include <QByteArrayView>

// Reading the values of attributes and elements of a workbook's XML as
// they are written: numbers in the C locale, "1"/"true" for yes.
namespace XmlValues
{
    inline bool isSpace(char c)
    {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n';
    }

    // The first byte in [p, end) that is no white space, or end.
    inline const char *skipSpace(const char *p, const char *end)
    {
        while (p < end && isSpace(*p))
            ++p;
        return p;
    }

    inline QByteArrayView trimmed(QByteArrayView v)
    {
        while (!v.isEmpty() && isSpace(v.front()))
            v = v.sliced(1);
        while (!v.isEmpty() && isSpace(v.back()))
            v.chop(1);
        return v;
    }

    inline bool toInt(QByteArrayView v, qint64 &value)
    {
        v = trimmed(v);
        const bool negative = !v.isEmpty() && v.front() == '-';
        if (negative)
            v = v.sliced(1);
        if (v.isEmpty() || v.size() > 18)
            return false;
        qint64 n = 0;
        for (char c : v) {
            if (c < '0' || c > '9')
                return false;
            n = n * 10 + (c - '0');
        }
        value = negative ? -n : n;
        return true;
    }

    // A count or an index; `fallback` when absent, negative or not a number.
    inline int toInt(QByteArrayView v, int fallback)
    {
        qint64 value = 0;
        return toInt(v, value) && value >= 0 && value <= INT_MAX ? int(value) : fallback;
    }

    inline bool toDouble(QByteArrayView v, double &value)
    {
        v = trimmed(v);
        if (!v.isEmpty() && v.front() == '+')
            v = v.sliced(1);
        if (v.isEmpty())
            return false;
        // The common form, digits with a fraction, straight: up to 15 digits
        // and 22 decimals, a whole number and a power of ten both exact, so
        // their quotient is the correctly rounded value from_chars() gives.
        static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        const char *p = v.data();
        const char *const end = p + v.size();
        const bool negative = *p == '-';
        p += negative ? 1 : 0;
        quint64 whole = 0;
        int digits = 0;
        int decimals = -1;
        for (; p != end && digits <= 15; ++p) {
            if (*p >= '0' && *p <= '9') {
                whole = whole * 10 + quint64(*p - '0');
                ++digits;
                decimals += decimals >= 0 ? 1 : 0;
            } else if (*p == '.' && decimals < 0) {
                decimals = 0;
            } else {
                break;
            }
        }
        if (p == end && digits > 0 && digits <= 15 && decimals != 0 && decimals <= 22
            && (decimals < 0 || v[negative ? 1 : 0] != '.')) {
            const double magnitude = decimals > 0 ? double(whole) / powers[decimals] : double(whole);
            value = negative ? -magnitude : magnitude;
            return true;
        }
        const auto result = std::from_chars(v.data(), v.data() + v.size(), value);
        return result.ec == std::errc() && result.ptr == v.data() + v.size();
    }

    // The 0-based column of a cell reference such as "AB12", no further
    // than `limit`; the column after `previous` when it names none.
    inline int columnOf(QByteArrayView reference, int previous, int limit)
    {
        qint64 letters = 0;
        for (char c : reference) {
            if (c >= 'A' && c <= 'Z')
                letters = letters * 26 + (c - 'A' + 1);
            else if (c >= 'a' && c <= 'z')
                letters = letters * 26 + (c - 'a' + 1);
            else
                break;
            if (letters > limit)
                break;
        }
        const int column = letters > 0 ? int(qMin<qint64>(letters, qint64(limit) + 1) - 1) : previous + 1;
        return qMin(column, limit);
    }

    inline bool isTrue(QByteArrayView v)
    {
        v = trimmed(v);
        return (v.size() == 1 && v[0] == '1')
            || (v.size() == 4 && v[0] == 't' && v[1] == 'r' && v[2] == 'u' && v[3] == 'e');
    }
}
