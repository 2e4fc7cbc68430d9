#include "textfile.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cp1251.h"
#include "ordixerror.h"
#include "textencoding.h"

namespace
{
    QString nativePath(const QString &path)
    {
        return QDir::toNativeSeparators(path);
    }

    [[noreturn]] void throwWriteError(const QString &path, const QString &reason)
    {
        throw OrdixError(QStringLiteral("Не удалось записать файл %1: %2").arg(nativePath(path), reason));
    }

    char16_t codeUnit(QChar ch)
    {
        return ch.unicode();
    }

    char16_t codeUnit(char ch)
    {
        return char16_t(static_cast<unsigned char>(ch));
    }

    // Shared body of both whole-number tests.
    template<typename View>
    bool parseWholeNumber(View text, qint32 *value)
    {
        const qsizetype length = text.size();
        qsizetype i = 0;
        while (i < length && codeUnit(text[i]) == u' ')
            ++i;
        bool negative = false;
        if (i < length && (codeUnit(text[i]) == u'-' || codeUnit(text[i]) == u'+')) {
            negative = codeUnit(text[i]) == u'-';
            ++i;
        }
        if (i == length)
            return false;
        // The magnitude may reach 2147483648 for the negative limit.
        qint64 result = 0;
        for (; i < length; ++i) {
            const char16_t ch = codeUnit(text[i]);
            if (ch < u'0' || ch > u'9')
                return false;
            result = result * 10 + (ch - u'0');
            if (result > qint64(std::numeric_limits<qint32>::max()) + 1)
                return false;
        }
        if (negative)
            result = -result;
        if (result > std::numeric_limits<qint32>::max())
            return false;
        if (value)
            *value = qint32(result);
        return true;
    }

    bool isBlank(char16_t ch)
    {
        return ch == u' ';
    }

    // A decimal number with `separator` as the only decimal mark; converted
    // without regard to the C locale.
    template<typename View>
    bool parseDecimal(View text, char16_t separator, double *value)
    {
        qsizetype begin = 0;
        qsizetype end = text.size();
        while (begin < end && isBlank(codeUnit(text[begin])))
            ++begin;
        while (end > begin && isBlank(codeUnit(text[end - 1])))
            --end;
        if (begin == end)
            return false;

        // Copied to ASCII with "." so that std::from_chars converts it.
        std::string ascii;
        ascii.reserve(size_t(end - begin));
        qsizetype i = begin;
        const char16_t first = codeUnit(text[i]);
        if (first == u'-' || first == u'+') {
            if (first == u'-')
                ascii.push_back('-');
            ++i;
        }
        int digits = 0;
        bool seenSeparator = false;
        for (; i < end; ++i) {
            const char16_t ch = codeUnit(text[i]);
            if (ch >= u'0' && ch <= u'9') {
                ascii.push_back(char(ch));
                ++digits;
            } else if (ch == separator && !seenSeparator) {
                seenSeparator = true;
                ascii.push_back('.');
            } else {
                return false;
            }
        }
        if (digits == 0)
            return false;

        double result = 0;
        const char *b = ascii.data();
        const char *e = b + ascii.size();
        const auto [ptr, ec] = std::from_chars(b, e, result, std::chars_format::fixed);
        if (ec != std::errc() || ptr != e || !std::isfinite(result))
            return false;
        if (value)
            *value = result;
        return true;
    }

    QChar g_decimalSeparator = QLatin1Char('.');

    const char16_t *const monthNamesGenitive[12] = {
        u"января", u"февраля", u"марта",    u"апреля",  u"мая",    u"июня",
        u"июля",   u"августа", u"сентября", u"октября", u"ноября", u"декабря",
    };
}

namespace TextFile
{
    QByteArray readBytes(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            throw OrdixError(
                QStringLiteral("Не удалось прочитать файл %1: %2").arg(nativePath(path), file.errorString()));
        }
        QByteArray contents = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            throw OrdixError(
                QStringLiteral("Не удалось прочитать файл %1: %2").arg(nativePath(path), file.errorString()));
        }
        return contents;
    }

    QStringList readLines(const QString &path)
    {
        // A file saved as UTF-8 is read as such, any other as Windows-1251.
        return TextEncoding::decodeLines(readBytes(path));
    }

    QList<QByteArrayView> splitLineViews(QByteArrayView contents)
    {
        QList<QByteArrayView> lines;
        const char *data = contents.data();
        const qsizetype size = contents.size();
        qsizetype start = 0;
        qsizetype i = 0;
        while (i < size) {
            const char ch = data[i];
            if (ch == '\r' || ch == '\n') {
                lines.append(QByteArrayView(data + start, i - start));
                // CR CR LF (a CR LF file passed once more through a line-end
                // conversion) ends one line, like CR LF.
                if (ch == '\r' && i + 2 < size && data[i + 1] == '\r' && data[i + 2] == '\n')
                    ++i;
                if (ch == '\r' && i + 1 < size && data[i + 1] == '\n')
                    ++i;
                ++i;
                start = i;
            } else {
                ++i;
            }
        }
        if (start < size)
            lines.append(QByteArrayView(data + start, size - start));
        return lines;
    }

    QList<QByteArray> splitLines(const QByteArray &contents)
    {
        QList<QByteArray> lines;
        const QList<QByteArrayView> views = splitLineViews(contents);
        lines.reserve(views.size());
        for (QByteArrayView line : views)
            lines.append(line.toByteArray());
        return lines;
    }

    QStringList decodeLines(const QByteArray &contents)
    {
        const QList<QByteArrayView> raw = splitLineViews(contents);
        QStringList lines;
        lines.reserve(raw.size());
        for (QByteArrayView line : raw)
            lines.append(Cp1251::decode(line));
        return lines;
    }

    QByteArray encodeLines(const QStringList &lines)
    {
        QByteArray bytes;
        qsizetype total = 0;
        for (const QString &line : lines)
            total += line.size() + 2;
        bytes.reserve(total);
        for (const QString &line : lines) {
            bytes.append(Cp1251::encode(line));
            bytes.append("\r\n", 2);
        }
        return bytes;
    }

    void writeLines(const QString &path, const QStringList &lines)
    {
        writeBytes(path, encodeLines(lines));
    }

    void writeBytes(const QString &path, const QByteArray &bytes, AtomicFile::Links links)
    {
        // The file system would cut the name at a zero character and the
        // bytes would land in another file.
        if (path.isEmpty() || path.contains(QChar(0)))
            throwWriteError(path, QStringLiteral("недопустимое имя файла"));
        AtomicFile file(path, links);
        if (!file.open() || !file.write(bytes) || !file.commit())
            throwWriteError(path, file.errorString());
    }

    QDateTime fileDateTime(const QString &path)
    {
        const QFileInfo info(path);
        if (!info.exists())
            return QDateTime();
        return info.lastModified().toLocalTime();
    }

    QString dateTimeText(const QDateTime &dateTime)
    {
        if (!dateTime.isValid())
            return QString();
        const QString date = shortDate(dateTime.date());
        const QTime time = dateTime.time();
        if (time == QTime(0, 0))
            return date;
        return date + QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
    }

    QString shortDate(const QDate &date)
    {
        return date.toString(QStringLiteral("dd.MM.yyyy"));
    }

    QString longDate(const QDate &date)
    {
        if (!date.isValid())
            return QString();
        return QStringLiteral("%1 %2 %3")
            .arg(date.day())
            .arg(QString::fromUtf16(monthNamesGenitive[date.month() - 1]))
            .arg(date.year(), 4, 10, QLatin1Char('0'));
    }
}

QString SplitField(const QString &text, int &position, QChar separator)
{
    const qsizetype length = text.size();
    const qsizetype from = position < 1 ? 0 : qsizetype(position) - 1;
    if (from >= length) {
        position = int(length) + 1;
        return QString();
    }
    const qsizetype at = text.indexOf(separator, from);
    if (at < 0) {
        position = int(length) + 1;
        return text.sliced(from);
    }
    position = int(at) + 2;
    return text.sliced(from, at - from);
}

QByteArrayView SplitField(QByteArrayView text, int &position, char separator)
{
    const qsizetype length = text.size();
    const qsizetype from = position < 1 ? 0 : qsizetype(position) - 1;
    if (from >= length) {
        position = int(length) + 1;
        return QByteArrayView();
    }
    const void *found = std::memchr(text.data() + from, separator, size_t(length - from));
    if (!found) {
        position = int(length) + 1;
        return text.sliced(from);
    }
    const qsizetype at = static_cast<const char *>(found) - text.data();
    position = int(at) + 2;
    return text.sliced(from, at - from);
}

QString trimControls(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.sliced(begin, end - begin);
}

QStringList splitAllFields(const QString &text, QChar separator)
{
    QStringList fields;
    int position = 1;
    while (position <= text.size())
        fields.append(SplitField(text, position, separator));
    return fields;
}

bool isWholeNumber(QStringView text, qint32 *value)
{
    return parseWholeNumber(text, value);
}

bool isWholeNumber(QByteArrayView text, qint32 *value)
{
    return parseWholeNumber(text, value);
}

namespace Decimal
{
    QChar separator()
    {
        return g_decimalSeparator;
    }

    void setSeparator(QChar separator)
    {
        g_decimalSeparator = separator == QLatin1Char(',') ? QLatin1Char(',') : QLatin1Char('.');
    }

    bool parse(QStringView text, double *value)
    {
        return parseDecimal(text, g_decimalSeparator.unicode(), value);
    }

    bool parse(QByteArrayView text, double *value)
    {
        return parseDecimal(text, g_decimalSeparator.unicode(), value);
    }

    bool parse(QStringView text, QChar separator, double *value)
    {
        return parseDecimal(text, separator.unicode(), value);
    }

    QString format(double value, int decimals)
    {
        return format(value, decimals, g_decimalSeparator);
    }

    QString fixed(double value, int decimals)
    {
        decimals = qBound(0, decimals, 20);
        if (!std::isfinite(value))
            return QString::number(value, 'f', decimals);
        // The value's decimal form with 15 significant digits: d.dddde±x.
        char buffer[64];
        const auto result =
            std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
        const std::string text(buffer, result.ptr);
        const size_t e = text.find('e');
        std::string digits = text.substr(0, 1) + text.substr(2, e - 2); // 15 digits
        const int exponent = std::stoi(text.substr(e + 1));
        // Digits wanted: those before the point (exponent + 1) and the decimals.
        int keep = exponent + 1 + decimals;
        int pointAt = exponent + 1; // position of the point within `digits`
        if (keep < 0) {
            digits = "0";
            keep = 1;
            pointAt = 1 - decimals;
        } else {
            const bool up = keep < int(digits.size()) && digits[size_t(keep)] >= '5';
            digits.resize(size_t(keep), '0');
            if (up) {
                int i = keep - 1;
                while (i >= 0 && digits[size_t(i)] == '9')
                    digits[size_t(i--)] = '0';
                if (i >= 0) {
                    ++digits[size_t(i)];
                } else {
                    digits.insert(digits.begin(), '1');
                    ++pointAt;
                }
            }
        }
        // Place the point: pad with zeros on the left as needed.
        if (pointAt <= 0) {
            digits.insert(0, size_t(1 - pointAt), '0');
            pointAt = 1;
        }
        std::string whole = digits.substr(0, size_t(pointAt));
        std::string fraction = digits.substr(size_t(pointAt));
        if (whole.empty())
            whole = "0";
        fraction.resize(size_t(decimals), '0');
        const bool zero =
            whole.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
        std::string out = (value < 0 && !zero) ? "-" : "";
        out += whole;
        if (decimals > 0)
            out += '.' + fraction;
        return QString::fromLatin1(out.data(), qsizetype(out.size()));
    }

    QString format(double value, int decimals, QChar separator)
    {
        QString text = fixed(value, decimals);
        // A value that rounds to zero is written without a minus sign.
        if (text.startsWith(QLatin1Char('-'))) {
            bool allZero = true;
            for (qsizetype i = 1; i < text.size() && allZero; ++i)
                allZero = text[i] == QLatin1Char('0') || text[i] == QLatin1Char('.');
            if (allZero)
                text.remove(0, 1);
        }
        if (separator != QLatin1Char('.'))
            text.replace(QLatin1Char('.'), separator);
        return text;
    }

    QString formatGrouped(double value, int decimals)
    {
        QString text = format(value, decimals, QLatin1Char('.'));
        const qsizetype digitsBegin = text.startsWith(QLatin1Char('-')) ? 1 : 0;
        qsizetype digitsEnd = text.indexOf(QLatin1Char('.'));
        if (digitsEnd < 0)
            digitsEnd = text.size();
        if (g_decimalSeparator != QLatin1Char('.') && digitsEnd < text.size())
            text[digitsEnd] = g_decimalSeparator;
        for (qsizetype at = digitsEnd - 3; at > digitsBegin; at -= 3)
            text.insert(at, QLatin1Char(' '));
        return text;
    }
}
