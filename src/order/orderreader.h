#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Workspace;

// The order file reader: finds the marker line ("Заказ:", else "Order:", in
// any letter case) and reads the items after it, in the current layout (one
// line of fields split at the price separator) or the older one (code, blanks
// and name on one line, the quantity on the next). Blank lines are passed
// over; items that do not read (no number, a quantity outside 1..2147483647
// or with a sign) are skipped and counted.
class OrderReader final
{
public:
    struct Item
    {
        qint32 code = 0;
        QString name;
        QString catalogId;
        QString producer;
        qint32 count = 0;

        bool operator==(const Item &other) const = default;
    };

    // The items of a file's lines; `separator` is the price separator setting,
    // used for lines that hold no "|". `skipped`: the items that did not read.
    static QList<Item> parse(const QStringList &lines, QChar separator, int *skipped = nullptr);

    // A field without the blanks and control characters at its ends, as the
    // reader takes it; the writer leaves them out the same way, so that a
    // written file reads back as the same lines.
    static QString trimField(const QString &text);

    // Index of the first data line (the line after the marker); -1 when the
    // lines hold no marker.
    static int dataStart(const QStringList &lines);

    // Appends the items to the open order table with availability, price and
    // amount 0; an item the table refuses is skipped. Returns the rows added.
    static int append(Workspace &workspace, const QList<Item> &items);
};
