#include <QtTest>

#include "orderdocument.h"
#include "ordertable.h"
#include "workspace.h"

// The order document tells each real change of its file name, changed state
// and total once, and nothing when a value is set again.
class TestOrderDocument : public QObject
{
    Q_OBJECT

private slots:
    void tellsRealChangesOnly();
};

void TestOrderDocument::tellsRealChangesOnly()
{
    Workspace workspace;
    OrderDocument &document = workspace.document();
    document.table().open(OrderTable::fields());
    QSignalSpy fileName(&document, &OrderDocument::fileNameChanged);
    QSignalSpy modified(&document, &OrderDocument::modifiedChanged);
    QSignalSpy total(&document, &OrderDocument::totalChanged);

    document.setFileName(QStringLiteral("заказ.txt"));
    document.setFileName(QStringLiteral("заказ.txt"));
    document.setModified(true);
    document.setModified(true);
    document.table().appendRow(QVariantList{0, 1, QString(), QString(), QString(), 1, 12.5, 12.5});
    document.recount();
    document.recount();
    document.table().first();
    document.table().deleteRow();
    document.recount();
    QCOMPARE(fileName.size(), 1);
    QCOMPARE(fileName.first().first().toString(), QStringLiteral("заказ.txt"));
    QCOMPARE(modified.size(), 1);
    QCOMPARE(modified.first().first().toBool(), true);
    QCOMPARE(total.size(), 2);
    QCOMPARE(total.at(0).first().toDouble(), 12.5);
    QCOMPARE(document.total(), 0.0);

    document.setFileName(QString());
    document.setModified(false);
    QCOMPARE(fileName.size(), 2);
    QVERIFY(document.fileName().isEmpty());
    QCOMPARE(modified.size(), 2);
    QVERIFY(!document.isModified());
}

QTEST_GUILESS_MAIN(TestOrderDocument)
#include "tst_orderdocument.moc"
