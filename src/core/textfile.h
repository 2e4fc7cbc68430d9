#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include "atomicfile.h"

// Reading and writing the program's text files (Windows-1251, CR LF) and the
// helpers every delimited-line reader shares.
namespace TextFile
{
    // Reads the whole file and splits it into lines: CR LF, a lone CR and a
    // lone LF each end a line; a final line end does not add an empty line.
    // Throws OrdixError with a clear text when the file cannot be read.
    QStringList readLines(const QString &path);
    // Splits raw bytes the same way, without decoding.
    QList<QByteArray> splitLines(const QByteArray &contents);
    QStringList decodeLines(const QByteArray &contents);

    // Encodes lines with CR LF after every line, the last included.
    QByteArray encodeLines(const QStringList &lines);
    // Replaces the file atomically with the lines; throws OrdixError with a
    // clear text on failure, leaving any previous file whole.
    void writeLines(const QString &path, const QStringList &lines);
    // Replaces the file atomically with the bytes (see AtomicFile); throws
    // OrdixError naming the file and the cause on failure.
    void writeBytes(const QString &path, const QByteArray &bytes,
                    AtomicFile::Links links = AtomicFile::Links::Follow);

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
    // Fixed notation with exactly `decimals` decimals and the separator.
    QString format(double value, int decimals);
    QString format(double value, int decimals, QChar separator);
    // Grouped thousands (a blank between groups), `decimals` decimals.
    QString formatGrouped(double value, int decimals);
}
