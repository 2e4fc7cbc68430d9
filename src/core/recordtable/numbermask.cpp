#include "recordtable.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "recordtablestorage.h"
#include "textfile.h"

namespace
{
    bool isPlaceholder(QChar ch)
    {
        return ch == QLatin1Char('#') || ch == QLatin1Char('0');
    }

    // The digits of a non-negative finite number in fixed notation with
    // `decimals` decimals, rounded half away from zero on the number's
    // decimal form as Decimal::fixed() rounds money. Away from a halfway
    // point that is the nearest rounding of the binary value, which to_chars
    // gives without allocating; near one, and for large values, the exact
    // decimal path decides.
    qsizetype fixedDigits(double value, int decimals, char *buffer, qsizetype size)
    {
        if (decimals <= 8) {
            static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
            const double scaled = value * powers[decimals];
            if (scaled < 1e9 && std::fabs(scaled - std::floor(scaled) - 0.5) > 1e-5) {
                const auto result = std::to_chars(buffer, buffer + size, value, std::chars_format::fixed, decimals);
                if (result.ec == std::errc())
                    return result.ptr - buffer;
            }
        }
        const QByteArray text = Decimal::fixed(value, decimals).toLatin1();
        const qsizetype n = std::min(size, text.size());
        std::memcpy(buffer, text.constData(), size_t(n));
        return n;
    }
}

RecordTable::NumberMask::NumberMask(const QString &mask)
{
    // The number part runs from the first "#" or "0" over "#", "0", ",",
    // "." and blanks that stand between placeholders; the text before and
    // after it is copied as it is.
    qsizetype begin = 0;
    while (begin < mask.size() && !isPlaceholder(mask[begin]))
        ++begin;
    if (begin == mask.size())
        return;
    plain = false;
    qsizetype end = begin;
    while (end < mask.size()) {
        const QChar ch = mask[end];
        if (isPlaceholder(ch) || ch == QLatin1Char('.') || ch == QLatin1Char(',')) {
            ++end;
        } else if (ch == QLatin1Char(' ') && end + 1 < mask.size() && isPlaceholder(mask[end + 1])) {
            ++end;
        } else {
            break;
        }
    }
    prefix = QStringView(mask).left(begin).toUtf8();
    const QStringView number = QStringView(mask).mid(begin, end - begin);
    suffix = QStringView(mask).mid(end).toUtf8();

    const qsizetype point = number.indexOf(QLatin1Char('.'));
    const QStringView intPart = point < 0 ? number : number.left(point);
    const QStringView fracPart = point < 0 ? QStringView() : number.mid(point + 1);
    grouped = intPart.contains(QLatin1Char(' ')) || intPart.contains(QLatin1Char(','));
    for (QChar ch : intPart)
        if (ch == QLatin1Char('0'))
            ++minInt;
    for (QChar ch : fracPart) {
        if (isPlaceholder(ch)) {
            ++decimals;
            if (ch == QLatin1Char('0'))
                minDecimals = decimals;
        }
    }
}

qsizetype RecordTable::NumberMask::writeUtf8(char *to, qsizetype room, double value) const
{
    if (plain || !std::isfinite(value)) {
        const QByteArray text = RecordTableStorage::numberText(value).toUtf8();
        if (text.size() > room)
            return -1;
        std::memcpy(to, text.constData(), size_t(text.size()));
        return text.size();
    }
    char digits[400];
    const qsizetype length = fixedDigits(std::fabs(value), decimals, digits, qsizetype(sizeof digits));
    const QByteArrayView all(digits, length);
    const qsizetype dot = all.indexOf('.');
    QByteArrayView whole = dot < 0 ? all : all.first(dot);
    QByteArrayView fraction = dot < 0 ? QByteArrayView() : all.sliced(dot + 1);
    while (fraction.size() > minDecimals && fraction.endsWith('0'))
        fraction.chop(1);
    bool isZero = true;
    for (char ch : all)
        if (ch >= '1' && ch <= '9')
            isZero = false;
    if (whole == "0" && minInt == 0)
        whole = QByteArrayView();

    const qsizetype padding = std::max<qsizetype>(0, minInt - whole.size());
    const qsizetype total = padding + whole.size();
    const qsizetype needed = 2 + prefix.size() + total + total / 3 + fraction.size() + suffix.size();
    if (needed > room)
        return -1;
    char *p = to;
    if (value < 0 && !isZero)
        *p++ = '-';
    std::memcpy(p, prefix.constData(), size_t(prefix.size()));
    p += prefix.size();
    for (qsizetype i = 0; i < total; ++i) {
        // Blanks between groups of three, counted from the right.
        if (grouped && i > 0 && (total - i) % 3 == 0)
            *p++ = ' ';
        *p++ = i < padding ? '0' : whole[i - padding];
    }
    if (!fraction.isEmpty()) {
        *p++ = char(Decimal::separator().unicode()); // "." or ","
        std::memcpy(p, fraction.data(), size_t(fraction.size()));
        p += fraction.size();
    }
    std::memcpy(p, suffix.constData(), size_t(suffix.size()));
    p += suffix.size();
    return p - to;
}

void RecordTable::NumberMask::appendUtf8(QByteArray &out, double value) const
{
    char text[1024];
    qsizetype length = writeUtf8(text, qsizetype(sizeof text), value);
    if (length >= 0) {
        out.append(text, length);
        return;
    }
    // A mask with long texts around the number.
    std::vector<char> large(size_t(prefix.size() + suffix.size()) + sizeof text);
    length = writeUtf8(large.data(), qsizetype(large.size()), value);
    out.append(large.data(), std::max<qsizetype>(0, length));
}

QString RecordTable::formatByMask(double value, const QString &mask)
{
    QByteArray text;
    NumberMask(mask).appendUtf8(text, value);
    return QString::fromUtf8(text);
}
