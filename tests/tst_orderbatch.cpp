#include <QtTest>

#include "actionid.h"
#include "inordermark.h"
#include "missinglines.h"
#include "orderfixture.h"
#include "ordertable.h"

// Re-pricing and the quick order write their lines in batches. Here they
// are compared with the way a line at a time: the re-pricing walks the
// order's cursor when its grid is ordered by a field, the quick order finds
// parts through the price list's cursor when the list is ordered and a code
// is on two rows.
namespace
{
    // Two rows with code 42 (the first stored one counts), a part already
    // marked as in an order (status 6) and one whose amount soon passes the
    // limit.
    const QStringList Price{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
        QStringLiteral("42|Гайка М8|OEM-42|Китай|2.5|0"),
        QStringLiteral("42|Гайка М8 другая|OEM-43|Китай|3|2"),
        QStringLiteral("7|Шайба|OEM-7|Тайвань|100|6"),
        QStringLiteral("99|Станок|S|Германия|90000000000|1"),
    };

    // Every order line field by field, total, marks, missing codes, messages.
    QString state(OrderSession &session)
    {
        Workspace &ws = session.ws;
        QStringList out;
        RecordTable &order = ws.order();
        for (int r = 0; order.isActive() && r < order.rowCount(); ++r) {
            QStringList fields;
            for (int f = 0; f < OrderTable::FieldCount; ++f)
                fields << (order.isNullAt(r, f) ? QStringLiteral("-") : order.stringAt(r, f));
            out << fields.join(QLatin1Char(':'));
        }
        const auto whole = ws.price().clone();
        for (whole->first(); !whole->atEnd(); whole->next())
            out << QStringLiteral("flag%1=%2").arg(whole->asInteger(1)).arg(whole->asInteger(0));
        QStringList missing;
        for (const qint64 code : MissingLines::of(ws).codes())
            missing << QString::number(code);
        missing.sort();
        out << QStringLiteral("total=%1 missing=%2").arg(ws.document().total()).arg(missing.join(QLatin1Char(',')));
        return out.join(QLatin1Char(' ')) + QLatin1Char('|') + session.prompts.messages().join(QLatin1Char('|'));
    }

    // "code×count" lines, "-" for a line without a code.
    void fill(Workspace &ws, const QString &lines)
    {
        OrderTable::startNew(ws);
        for (const QString &line : lines.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList parts = line.split(QLatin1Char('x'));
            const QVariant code = parts.at(0) == QLatin1String("-") ? QVariant() : QVariant(parts.at(0).toInt());
            ws.order().appendRow(QVariantList{0, code, QStringLiteral("старое"), QString(), QStringLiteral("П"),
                                              parts.at(1).toInt(), 1.5, 1.5 * parts.at(1).toInt()});
        }
        ws.document().recount();
    }
}

class TestOrderBatch : public QObject
{
    Q_OBJECT

private slots:
    void repricingMatchesLineByLine_data();
    void repricingMatchesLineByLine();
    void pasteMatchesCursorLookup_data();
    void pasteMatchesCursorLookup();
};

void TestOrderBatch::repricingMatchesLineByLine_data()
{
    QTest::addColumn<QString>("lines");
    QTest::newRow("found, missing, no code") << "42x4 55x2 -x1 12x3";
    QTest::newRow("same code twice, code on two price rows") << "42x1 12x2 42x5";
    QTest::newRow("already marked part") << "7x2 12x1";
    QTest::newRow("amount beyond the limit") << "99x1 99x1000 12x3";
    QTest::newRow("nothing found") << "55x1 56x2";
}

void TestOrderBatch::repricingMatchesLineByLine()
{
    QFETCH(QString, lines);
    QString results[2];
    for (const bool lineByLine : {false, true}) {
        OrderSession session;
        session.loadPrice(Price);
        fill(session.ws, lines);
        if (lineByLine)
            session.ws.order().setIndexFields(QStringLiteral("Count"));
        session.ws.order().setRowNumber(2);
        session.prompts.queueAnswer(UserPrompts::Answer::Yes);
        QVERIFY(session.ws.execute(ActionId::CoordinateOrder));
        QCOMPARE(session.ws.order().rowNumber(), 2); // the buyer's line stays current
        session.ws.order().setIndexFields(QString());
        results[lineByLine] = state(session);
    }
    QCOMPARE(results[0], results[1]);
    if (lines.contains(QStringLiteral("12x")))
        QVERIFY(results[0].contains(QStringLiteral("Болт М8:OEM-12:Россия"))); // re-priced at all
}

void TestOrderBatch::pasteMatchesCursorLookup_data()
{
    QTest::addColumn<QString>("lines"); // in the order before the paste
    QTest::addColumn<QString>("paste");
    QTest::newRow("empty order, code on two rows") << ""
                                                   << "42 2\n12 1\n55 3";
    QTest::newRow("lines already there take the new quantity") << "12x3 7x1"
                                                               << "7 4\n42 1\n12 2";
    QTest::newRow("amount beyond the limit") << "12x1"
                                             << "99 1000\n99 1\n42 2";
}

void TestOrderBatch::pasteMatchesCursorLookup()
{
    QFETCH(QString, lines);
    QFETCH(QString, paste);
    // The codes found in one pass over the list, through its code look-up
    // table once that is built, and through the cursor of the ordered list.
    enum Way
    {
        OnePass,
        CodeTable,
        ByCursor
    };
    QString results[3];
    for (const Way way : {OnePass, CodeTable, ByCursor}) {
        OrderSession session;
        session.loadPrice(Price);
        if (!lines.isEmpty())
            fill(session.ws, lines);
        if (way == CodeTable)
            session.ws.price().storedValuesUnique(session.ws.price().fieldByName(QStringLiteral("Code")));
        if (way == ByCursor)
            session.ws.price().setIndexFields(QStringLiteral("Price"));
        const QString before = state(session);
        session.prompts.setClipboardText(paste);
        QVERIFY(session.ws.execute(ActionId::OrderPasteClipboard));
        results[way] = state(session);
        // Undone, the order and the marks are as before; redone, as after.
        QVERIFY(session.ws.execute(ActionId::OrderUndo));
        QCOMPARE(state(session).section(QLatin1Char('|'), 0, 0), before.section(QLatin1Char('|'), 0, 0));
        QVERIFY(session.ws.execute(ActionId::OrderRedo));
        QCOMPARE(state(session).section(QLatin1Char('|'), 0, 0), results[way].section(QLatin1Char('|'), 0, 0));
    }
    QCOMPARE(results[OnePass], results[ByCursor]);
    QCOMPARE(results[CodeTable], results[ByCursor]);
}

QTEST_GUILESS_MAIN(TestOrderBatch)
#include "tst_orderbatch.moc"
