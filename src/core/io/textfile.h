#pragma once

#include <cstring>
#include <vector>

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include "atomicfile.h"

// Reading and writing the program's text files (Windows-1251, CR LF) and the
// helpers every delimited-line reader shares.
namespace TextFile
{
    // Reads the whole file and splits it into lines: CR LF, a lone CR and a
    // lone LF each end a line (CR CR LF too, as one); a final line end does
    // not add an empty line.
    // Throws OrdixError with a clear text when the file cannot be read.
    QStringList readLines(const QString &path);
    // The file's bytes as they are; throws OrdixError as readLines() does.
    QByteArray readBytes(const QString &path);
    // Splits raw bytes the same way, without decoding.
    QList<QByteArray> splitLines(const QByteArray &contents);
    // The same lines as views into `contents`, which must outlive them.
    QList<QByteArrayView> splitLineViews(QByteArrayView contents);
    // Reads an open device in blocks and calls fn(line, bytesRead) for every
    // line, split as splitLines() splits, where bytesRead counts the bytes up
    // to the end of that line. The view is valid during the call only. Stops
    // when fn returns false. Returns false when the device failed to read.
    template<typename Fn>
    bool forEachLine(QIODevice &device, Fn &&fn);
    // The line splitting of forEachLine() over data[0, have): calls
    // fn(line, next) for every line whose end is certain, where next is the
    // offset just past its line end, and returns the offset where the first
    // line not handled starts. Without atEnd, a line end that the bytes after
    // `have` could still change is left for more data. *stopped tells
    // whether fn returned false.
    template<typename Fn>
    size_t forEachLineOfBlock(const char *data, size_t have, bool atEnd, Fn &&fn, bool *stopped = nullptr);
    QStringList decodeLines(const QByteArray &contents);

    // Encodes lines with CR LF after every line, the last included.
    QByteArray encodeLines(const QStringList &lines);
    // Replaces the file atomically with the lines; throws OrdixError with a
    // clear text on failure, leaving any previous file whole.
    void writeLines(const QString &path, const QStringList &lines);
    // Replaces the file atomically with the bytes (see AtomicFile); throws
    // OrdixError naming the file and the cause on failure.
    void writeBytes(const QString &path, const QByteArray &bytes, AtomicFile::Links links = AtomicFile::Links::Follow);

    // The file's last modification as local time; a null QDateTime when the
    // file does not exist (the zero date-time).
    QDateTime fileDateTime(const QString &path);
    // Date-time text: the short date, a blank and the long time; the time is
    // left out when it is exactly midnight. Empty for a null date-time.
    QString dateTimeText(const QDateTime &dateTime);
    // Today's date in the short date format (dd.MM.yyyy).
    QString shortDate(const QDate &date);
    // "8 декабря 2026": day without leading zero, month name, four-digit year.
    QString longDate(const QDate &date);
}

// The field splitter of every delimited line: from the 1-based `position` to
// the next separator, no quoting. Advances `position` past the separator, or
// one past the end of the text when there is none. Callers loop while
// position <= length.
QString SplitField(const QString &text, int &position, QChar separator);
QByteArrayView SplitField(QByteArrayView text, int &position, char separator);

// All fields of a line, split as the loop above does: "a||b" gives a, "", b;
// "a|b|" gives a, b; an empty line gives none.
QStringList splitAllFields(const QString &text, QChar separator);

// The text without blanks and control characters (codes up to 32) at its
// ends: how fields of the order file and the entries of a form are taken.
QString trimControls(const QString &text);

// A whole number: optional sign, decimal digits in the 32-bit range, leading
// blanks allowed, nothing after the last digit.
bool isWholeNumber(QStringView text, qint32 *value = nullptr);
bool isWholeNumber(QByteArrayView text, qint32 *value = nullptr);

// The program-wide decimal separator ("." or ","), set at start-up from the
// settings. Every number read from or written to a file uses it.
namespace Decimal
{
    QChar separator();
    void setSeparator(QChar separator); // anything but "." and "," gives "."

    // A decimal number: optional sign, digits, optionally the separator and
    // digits; leading and trailing blanks allowed. The other separator is not
    // accepted.
    bool parse(QStringView text, double *value);
    bool parse(QByteArrayView text, double *value);
    // As parse(), with a separator named by the caller (user.ini names its own).
    bool parse(QStringView text, QChar separator, double *value);
    // Fixed notation with exactly `decimals` decimals and a point, rounded
    // half away from zero on the value's decimal form (15 significant
    // digits), so 1.005 gives "1.01" although its binary value lies below.
    // The one rounding of every money text shown, printed or exported.
    QString fixed(double value, int decimals);
    // Fixed notation (rounded as fixed()) with exactly `decimals` decimals
    // and the separator.
    QString format(double value, int decimals);
    QString format(double value, int decimals, QChar separator);
    // Grouped thousands (a blank between groups), `decimals` decimals.
    QString formatGrouped(double value, int decimals);
}

template<typename Fn>
size_t TextFile::forEachLineOfBlock(const char *data, size_t have, bool atEnd, Fn &&fn, bool *stopped)
{
    if (stopped)
        *stopped = false;
    size_t p = 0;
    while (p < have) {
        const char *lf = static_cast<const char *>(std::memchr(data + p, '\n', have - p));
        const size_t limit = lf ? size_t(lf - data) : have;
        const char *cr = static_cast<const char *>(std::memchr(data + p, '\r', limit - p));
        size_t end;
        size_t next;
        if (cr) {
            end = size_t(cr - data);
            if (end + 2 < have || atEnd) {
                // CR LF, and CR CR LF (CR LF converted once more), end one
                // line as CR alone does.
                next = end + 1;
                if (next < have && data[next] == '\n')
                    next += 1;
                else if (next + 1 < have && data[next] == '\r' && data[next + 1] == '\n')
                    next += 2;
            } else {
                break; // a CR near the end of the block: its LF may follow
            }
        } else if (lf) {
            end = limit;
            next = end + 1;
        } else if (atEnd) {
            end = have;
            next = have;
        } else {
            break;
        }
        if (!fn(QByteArrayView(data + p, qsizetype(end - p)), next)) {
            if (stopped)
                *stopped = true;
            return next;
        }
        p = next;
    }
    return p;
}

template<typename Fn>
bool TextFile::forEachLine(QIODevice &device, Fn &&fn)
{
    // One block buffer reused for the whole file: its pages stay warm and
    // no line is copied. A line longer than the block grows the buffer.
    std::vector<char> buffer(size_t(1) << 20);
    size_t have = 0;
    qint64 consumed = 0;
    bool atEnd = false;
    while (!atEnd) {
        if (have == buffer.size())
            buffer.resize(buffer.size() * 2);
        const qint64 n = device.read(buffer.data() + have, qint64(buffer.size() - have));
        if (n < 0)
            return false;
        if (n == 0)
            atEnd = true;
        have += size_t(n);

        bool stopped = false;
        const size_t p = forEachLineOfBlock(
            buffer.data(), have, atEnd,
            [&](QByteArrayView line, size_t next) { return fn(line, consumed + qint64(next)); }, &stopped);
        if (stopped)
            return true;
        if (p > 0) {
            std::memmove(buffer.data(), buffer.data() + p, have - p);
            have -= p;
            consumed += qint64(p);
        }
    }
    return true;
}
