#include <QtTest>

#include "actionid.h"
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
    QTest::newRow("with bar") << "Открыть|Открыть прайс (zolt.txt)"
                              << "Открыть"
                              << "Открыть прайс (zolt.txt)";
    QTest::newRow("without bar serves as both") << "Копировать"
                                                << "Копировать"
                                                << "Копировать";
    QTest::newRow("only the first bar splits") << "a|b|c"
                                               << "a"
                                               << "b|c";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
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
    list.add(ActionId::OrderClose, QStringLiteral("Закрыть заказ"));
    list.setTag(ActionId::OrderClose, ActionList::ActionDone);
    list.setRule(ActionId::OrderClose, [] { return false; });
    list.setHandler(ActionId::OrderClose, [&] {
        ++runs;
        list.setTag(ActionId::OrderClose, 0);
    });
    QVERIFY(!list.execute(ActionId::OrderClose));
    QVERIFY(!list.run(ActionId::OrderClose));
    QCOMPARE(runs, 0);
    QCOMPARE(list.tag(ActionId::OrderClose), 1565723);
    QVERIFY(list.isDone(ActionId::OrderClose));
}

void TestActionList::ruleIsEvaluatedAtEveryRun()
{
    ActionList list;
    bool open = false;
    int runs = 0;
    list.add(ActionId::PriceClose, QStringLiteral("Закрыть прайс"));
    list.setRule(ActionId::PriceClose, [&] { return open; });
    list.setHandler(ActionId::PriceClose, [&] {
        ++runs;
        open = false;
    });
    QVERIFY(!list.execute(ActionId::PriceClose));
    open = true;
    QVERIFY(list.isEnabled(ActionId::PriceClose));
    QVERIFY(list.execute(ActionId::PriceClose));
    QVERIFY(!list.execute(ActionId::PriceClose));
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
    list.add(ActionId::CloseAll, QStringLiteral("Закрыть все"));
    list.add(ActionId::OrderClose, QStringLiteral("Закрыть заказ"));
    list.setHandler(ActionId::OrderClose, [] { throw OrdixError(QStringLiteral("disk full")); });
    list.setHandler(ActionId::CloseAll, [&] {
        list.execute(ActionId::OrderClose);
        afterInner = true;
    });
    list.run(ActionId::CloseAll);
    QVERIFY(!afterInner);
    QCOMPARE(reported, QStringList{QStringLiteral("disk full")});
}

void TestActionList::changeListenerSeesCaptionChangesOnly()
{
    ActionList list;
    QStringList changed;
    list.add(ActionId::LegendSwitch, QStringLiteral("Легенда"));
    list.setChangeListener([&](const QString &name) { changed.append(name); });
    list.setCaption(ActionId::LegendSwitch, QStringLiteral("Легенда"));
    QVERIFY(changed.isEmpty());
    list.setCaption(ActionId::LegendSwitch, QStringLiteral("Скрыть легенду"));
    list.setTag(ActionId::LegendSwitch, 7);
    QCOMPARE(changed, QStringList{ActionId::LegendSwitch});
    QVERIFY_THROWS_EXCEPTION(OrdixError, list.setCaption(QStringLiteral("Nope"), QString()));
}

QTEST_GUILESS_MAIN(TestActionList)
#include "tst_actionlist.moc"
