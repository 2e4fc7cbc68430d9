#pragma once

#include <QFile>
#include <QList>
#include <QTest>
#include <QString>
#include <QVariantList>

#include "actionid.h"
#include "ordertable.h"
#include "priceloader.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

// The price list the order tests start from: a part in stock, one out of
// stock and one to be ordered from the supplier.
inline const QStringList StandardPrice{
    QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
    QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
    QStringLiteral("42|Гайка М8|OEM-42|Китай|2.5|0"),
    QStringLiteral("7|Шайба|OEM-7|Тайвань|100|3"),
};

// A session started up as the window starts it, with the order tests' own
// steps: a price list loaded through the loader, a part added as the add key
// adds it.
class OrderSession final : public TestSession
{
public:
    OrderSession()
        : TestSession(true)
    { }

    void loadPrice(const QStringList &lines = StandardPrice)
    {
        QFile file(QStringLiteral("prices.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
        file.close();
        PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
        QVERIFY(ws.priceNotEmpty());
    }

    void addPart(int code, int quantity)
    {
        QVERIFY(ws.price().locate(QStringLiteral("Code"), code));
        prompts.queueQuantity(quantity);
        QVERIFY(ws.execute(ActionId::AddToOrder));
    }
};

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
    for (const OrderLine &line : lines) {
        const double sum = line.price * line.count;
        table.appendRow(
            QVariantList{1, line.code, line.name, line.catalogId, line.producer, line.count, line.price, sum});
        OrderTable::notePosted(ws);
    }
    ws.document().recount();
    OrderTable::showOrderSum(ws);
}
