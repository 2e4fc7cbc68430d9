#include "orderreader.h"

#include "partkey.h"

#include <QVariantList>

#include "ordertable.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    int findMarker(const QStringList &lines, const QString &marker)
    {
        for (int i = 0; i < lines.size(); ++i) {
            if (lines.at(i).compare(marker, Qt::CaseInsensitive) == 0)
                return i;
        }
        return -1;
    }

    // A quantity: digits only (no sign), 1 to 2147483647.
    bool readCount(const QString &text, qint32 *count)
    {
        const QString digits = OrderReader::trimField(text);
        if (digits.isEmpty())
            return false;
        for (const QChar ch : digits) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return false;
        }
        return isWholeNumber(digits, count) && *count >= 1;
    }

    bool isBlankLine(const QString &line)
    {
        return OrderReader::trimField(line).isEmpty();
    }

    // Current layout: five fields from position 1.
    bool readFields(const QString &line, QChar separator, OrderReader::Item *item)
    {
        QString fields[5];
        int position = 1;
        for (QString &field : fields)
            field = OrderReader::trimField(SplitField(line, position, separator));
        if (!readCount(fields[4], &item->count))
            return false;
        // A part of a supplier without codes: its part number and maker
        // give it the code its list gives it.
        if (fields[0].isEmpty() && !fields[2].isEmpty())
            item->code = PartKey::code(fields[2], fields[3]);
        else if (!isWholeNumber(fields[0], &item->code))
            return false;
        item->name = fields[1];
        item->catalogId = fields[2];
        item->producer = fields[3];
        return true;
    }

    // Older layout: "code name" and the quantity on the next line.
    bool readPair(const QString &first, const QString *second, OrderReader::Item *item)
    {
        if (!second)
            return false;
        const qsizetype blank = first.indexOf(QLatin1Char(' '));
        if (blank < 0)
            return false;
        if (!isWholeNumber(QStringView(first).first(blank), &item->code))
            return false;
        qsizetype nameStart = blank;
        while (nameStart < first.size() && first.at(nameStart) == QLatin1Char(' '))
            ++nameStart;
        if (!readCount(*second, &item->count))
            return false;
        item->name = first.sliced(nameStart);
        item->catalogId.clear();
        item->producer.clear();
        return true;
    }
}

int OrderReader::dataStart(const QStringList &lines)
{
    int marker = findMarker(lines, QStringLiteral("Заказ:"));
    if (marker < 0)
        marker = findMarker(lines, QStringLiteral("Order:"));
    return marker < 0 ? -1 : marker + 1;
}

QList<OrderReader::Item> OrderReader::parse(const QStringList &lines, QChar separator, int *skipped)
{
    QList<Item> items;
    int unread = 0;
    const int start = dataStart(lines);
    int i = start < 0 ? int(lines.size()) : start;
    // Blank lines (also those of doubled line ends) are no items.
    const auto nextFilled = [&lines](int from) {
        while (from < lines.size() && isBlankLine(lines.at(from)))
            ++from;
        return from;
    };
    const QChar written = QLatin1Char('|');
    while ((i = nextFilled(i)) < lines.size()) {
        const QString &line = lines.at(i);
        Item item;
        bool read = false;
        // The writer always joins the fields with "|"; a line of another
        // program may use the configured separator.
        if (line.contains(written) || line.contains(separator)) {
            read = readFields(line, line.contains(written) ? written : separator, &item);
            i += 1;
        } else {
            const int second = nextFilled(i + 1);
            read = readPair(line, second < lines.size() ? &lines.at(second) : nullptr, &item);
            i = second + 1;
        }
        if (read)
            items.append(item);
        else
            ++unread;
    }
    if (skipped)
        *skipped = unread;
    return items;
}

int OrderReader::append(Workspace &workspace, const QList<Item> &items)
{
    RecordTable &table = workspace.order();
    int added = 0;
    for (const Item &item : items) {
        try {
            table.appendRow(QVariantList{0, item.code, item.name, item.catalogId, item.producer, item.count, 0.0, 0.0});
        } catch (...) {
            continue; // a line the table refuses is skipped like an unreadable one
        }
        OrderTable::notePosted(workspace, table.rowCount() - 1);
        ++added;
    }
    return added;
}

QString OrderReader::trimField(const QString &text)
{
    return trimControls(text);
}
