#include <QtTest>

#include "actionlist.h"
#include "ordixerror.h"

class TestActionList : public QObject
{
    Q_OBJECT

private slots:
    void hintSplitsIntoToolTipAndStatus_data();
    void hintSplitsIntoToolTipAndStatus();
    void disabledActionDoesNothingAndKeepsTag();
    void ruleIsEvaluatedAtEveryRun();
    void executePropagatesErrorsButRunReportsThem();
    void nestedActionErrorReachesOuterBoundaryOnce();
    void changeListenerSeesCaptionChangesOnly();
};

void TestActionList::hintSplitsIntoToolTipAndStatus_data()
{
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("status");
    QTest::newRow("with bar") << "Открыть|Открыть прайс (zolt.txt)" << "Открыть" << "Открыть прайс (zolt.txt)";
    QTest::newRow("without bar serves as both") << "Копировать" << "Копировать" << "Копировать";
    QTest::newRow("only the first bar splits") << "a|b|c" << "a" << "b|c";
    QTest::newRow("empty") << "" << "" << "";
}

void TestActionList::hintSplitsIntoToolTipAndStatus()
{
    QFETCH(QString, hint);
    QFETCH(QString, toolTip);
    QFETCH(QString, status);
    ActionList list;
    auto &action = list.add(QStringLiteral("A"), QStringLiteral("Caption"), hint);
    QCOMPARE(action.toolTip(), toolTip);
    QCOMPARE(action.statusText(), status);
}

void TestActionList::disabledActionDoesNothingAndKeepsTag()
{
    ActionList list;
    int runs = 0;
    list.add(QStringLiteral("OrderClose"), QStringLiteral("Закрыть заказ"));
    list.setTag(QStringLiteral("OrderClose"), ActionList::ActionDone);
    list.setRule(QStringLiteral("OrderClose"), [] { return false; });
    list.setHandler(QStringLiteral("OrderClose"), [&] {
        ++runs;
        list.setTag(QStringLiteral("OrderClose"), 0);
    });
    QVERIFY(!list.execute(QStringLiteral("OrderClose")));
    QVERIFY(!list.run(QStringLiteral("OrderClose")));
    QCOMPARE(runs, 0);
    QCOMPARE(list.tag(QStringLiteral("OrderClose")), 1565723);
    QVERIFY(list.isDone(QStringLiteral("OrderClose")));
}

void TestActionList::ruleIsEvaluatedAtEveryRun()
{
    ActionList list;
    bool open = false;
    int runs = 0;
    list.add(QStringLiteral("PriceClose"), QStringLiteral("Закрыть прайс"));
    list.setRule(QStringLiteral("PriceClose"), [&] { return open; });
    list.setHandler(QStringLiteral("PriceClose"), [&] { ++runs; open = false; });
    QVERIFY(!list.execute(QStringLiteral("PriceClose")));
    open = true;
    QVERIFY(list.isEnabled(QStringLiteral("PriceClose")));
    QVERIFY(list.execute(QStringLiteral("PriceClose")));
    QVERIFY(!list.execute(QStringLiteral("PriceClose")));
    QCOMPARE(runs, 1);
}

void TestActionList::executePropagatesErrorsButRunReportsThem()
{
    ActionList list;
    QStringList reported;
    list.setErrorReport([&](const QString &text) { reported.append(text); });
    list.add(QStringLiteral("Bad"), QStringLiteral("Bad"));
    list.setHandler(QStringLiteral("Bad"), [] { throw OrdixError(QStringLiteral("Файл не найден")); });
    QVERIFY_THROWS_EXCEPTION(OrdixError, list.execute(QStringLiteral("Bad")));
    QVERIFY(reported.isEmpty());
    list.run(QStringLiteral("Bad"));
    QCOMPARE(reported, QStringList{QStringLiteral("Файл не найден")});

    list.add(QStringLiteral("Std"), QStringLiteral("Std"));
    list.setHandler(QStringLiteral("Std"), [] { throw std::runtime_error("out of range"); });
    list.run(QStringLiteral("Std"));
    QCOMPARE(reported.last(), QStringLiteral("out of range"));
}

void TestActionList::nestedActionErrorReachesOuterBoundaryOnce()
{
    ActionList list;
    QStringList reported;
    bool afterInner = false;
    list.setErrorReport([&](const QString &text) { reported.append(text); });
    list.add(QStringLiteral("CloseAll"), QStringLiteral("Закрыть все"));
    list.add(QStringLiteral("OrderClose"), QStringLiteral("Закрыть заказ"));
    list.setHandler(QStringLiteral("OrderClose"), [] { throw OrdixError(QStringLiteral("disk full")); });
    list.setHandler(QStringLiteral("CloseAll"), [&] {
        list.execute(QStringLiteral("OrderClose"));
        afterInner = true;
    });
    list.run(QStringLiteral("CloseAll"));
    QVERIFY(!afterInner);
    QCOMPARE(reported, QStringList{QStringLiteral("disk full")});
}

void TestActionList::changeListenerSeesCaptionChangesOnly()
{
    ActionList list;
    QStringList changed;
    list.add(QStringLiteral("LegendSwitch"), QStringLiteral("Легенда"));
    list.setChangeListener([&](const QString &name) { changed.append(name); });
    list.setCaption(QStringLiteral("LegendSwitch"), QStringLiteral("Легенда"));
    QVERIFY(changed.isEmpty());
    list.setCaption(QStringLiteral("LegendSwitch"), QStringLiteral("Скрыть легенду"));
    list.setTag(QStringLiteral("LegendSwitch"), 7);
    QCOMPARE(changed, QStringList{QStringLiteral("LegendSwitch")});
    QVERIFY_THROWS_EXCEPTION(OrdixError, list.setCaption(QStringLiteral("Nope"), QString()));
}

QTEST_GUILESS_MAIN(TestActionList)
#include "tst_actionlist.moc"
