// Splits arbitrary bytes into lines and every line into fields, as the price
// list, order and car model readers do, and checks that nothing is lost.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "cp1251.h"
#include "textfile.h"

namespace
{
    [[noreturn]] void fail(const char *what)
    {
        std::fprintf(stderr, "fuzz_lines: %s\n", what);
        std::abort();
    }

    // Joining the fields with the separator gives the line back, apart from
    // one final separator that ends the last field.
    void checkFields(const QByteArray &line, char separator)
    {
        QList<QByteArrayView> fields;
        int position = 1;
        while (position <= line.size()) {
            const int before = position;
            fields.append(SplitField(QByteArrayView(line), position, separator));
            if (position <= before)
                fail("SplitField did not advance");
        }
        QByteArray joined;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                joined.append(separator);
            joined.append(fields.at(i));
        }
        if (line.endsWith(separator))
            joined.append(separator);
        if (joined != line)
            fail("byte fields do not join to the line");

        // The text splitter agrees with the byte splitter.
        const QString text = Cp1251::decode(line);
        const QChar textSeparator(Cp1251::toUnicode(static_cast<unsigned char>(separator)));
        const QStringList textFields = splitAllFields(text, textSeparator);
        if (textFields.size() != fields.size())
            fail("text and byte splitters disagree on the number of fields");
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (textFields.at(i) != Cp1251::decode(fields.at(i)))
                fail("text and byte splitters disagree on a field");
            qint32 a = 0;
            qint32 b = 0;
            const bool wholeText = isWholeNumber(QStringView(textFields.at(i)), &a);
            const bool wholeBytes = isWholeNumber(fields.at(i), &b);
            if (wholeText != wholeBytes || a != b)
                fail("whole-number tests disagree");
            double x = 0;
            double y = 0;
            const bool decimalText = Decimal::parse(QStringView(textFields.at(i)), &x);
            const bool decimalBytes = Decimal::parse(fields.at(i), &y);
            if (decimalText != decimalBytes || (decimalText && x != y))
                fail("decimal parsers disagree");
        }
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), qsizetype(size));
    const QList<QByteArray> raw = TextFile::splitLines(contents);
    const QStringList lines = TextFile::decodeLines(contents);
    if (raw.size() != lines.size())
        fail("splitLines and decodeLines disagree");

    qsizetype total = 0;
    for (const QByteArray &line : raw) {
        if (line.contains('\r') || line.contains('\n'))
            fail("a line holds a line end");
        total += line.size();
    }
    if (total > contents.size())
        fail("lines are longer than the contents");

    // Written back with CR LF, the lines read the same.
    if (TextFile::splitLines(TextFile::encodeLines(lines)).size() != raw.size())
        fail("encoded lines split differently");

    const char separator = size > 0 ? char(data[0]) : '|';
    const bool lineEnd = separator == '\r' || separator == '\n';
    for (const QByteArray &line : raw) {
        checkFields(line, '|');
        if (!lineEnd)
            checkFields(line, separator);
    }
    return 0;
}
