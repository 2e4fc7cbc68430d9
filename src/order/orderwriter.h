#pragma once

#include <QStringList>

class Workspace;

// The order writer: the order as text lines, in the current order of
// `OrderDataSet`. The file form is what an order file holds (date, the
// customer's details, the marker "ЗАКАЗ:" and one "|"-separated line per
// order line); the export form is the tab-separated text export with
// discounted prices in the display currency and a total line.
class OrderWriter final
{
public:
    enum class Form
    {
        File,
        Export
    };

    // Empties `target` and writes the order into it, with the progress
    // window "Creating order..." and the order grid suspended; the table
    // returns to its row afterwards.
    static void write(Workspace &workspace, QStringList &target, Form form);

    // An order file line for one order line. A field never carries the
    // separator "|" (it becomes "/") nor a line break (it becomes a blank),
    // so every line reads back as the five fields it was written from.
    static QString fileLine(const QString &code, const QString &name, const QString &catalogId, const QString &producer,
                            qint64 count);
};
