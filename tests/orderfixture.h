#pragma once

#include <QList>
#include <QString>
#include <QVariantList>

#include "ordertable.h"
#include "workspace.h"

// An order line as the output tests write it down.
struct OrderLine
{
    int code;
    QString name;
    QString catalogId;
    QString producer;
    int count;
    double price;
};

// Starts a new order holding these lines (availability 1, SUM = price ×
// count), with the total and SUMM as the order keeps them.
inline void fillOrder(Workspace &ws, const QList<OrderLine> &lines, float discount)
{
    ws.settings().discount = discount;
    OrderTable::startNew(ws);
    RecordTable &table = ws.order();
    double total = 0;
    for (const OrderLine &line : lines) {
        const double sum = line.price * line.count;
        table.appendRow(QVariantList{1, line.code, line.name, line.catalogId, line.producer, line.count, line.price, sum});
        OrderTable::notePosted(ws);
        total += sum;
    }
    ws.document().setTotal(total);
    OrderTable::showOrderSum(ws);
}
