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
        const auto result = std::from_chars(v.data(), v.data() + v.size(), value);
        return result.ec == std::errc() && result.ptr == v.data() + v.size();
    }

    inline bool isTrue(QByteArrayView v)
    {
        v = trimmed(v);
        return (v.size() == 1 && v[0] == '1')
            || (v.size() == 4 && v[0] == 't' && v[1] == 'r' && v[2] == 'u' && v[3] == 'e');
    }
}
