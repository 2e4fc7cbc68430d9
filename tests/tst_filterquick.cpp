#include <QtTest>

#include <algorithm>

#include "actionid.h"
#include "pricefilter.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    const QStringList PriceLines = {
        "Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус|Каталоги|Аналоги(Коды)",
        "101|Болт М8 оцинкованный|B-8|Германия|100|12.5|1|Крепёж,Болты|205,310",
        "205|Болт М8 латунь|B-8L|Россия|50|20|2|Болты|",
        "310|Гайка М8|G-8|Германия, Китай|100|3|0|Крепёж|,101",
        "400|Шайба O'Reilly|W'1|Китай|1000|1|3|Шайбы|",
        "500|Свеча зажигания|SP 5|Bosch|4|150|4||,205,310",
        "600|Фильтр масляный|OF-1||1|300|1|Фильтры|310,",
    };

    const QString InStock =
        QStringLiteral("(AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7)");
}

class TestFilterQuick : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filterQ_data();
    void filterQ();
    void filterQOnEmptyGroupWithAvailability();
    void labelCountsUpToThreeFilters_data();
    void labelCountsUpToThreeFilters();
    void filterPriceToggles();
    void filterPriceRule();
    void filterCreate();
    void clearKeepsModelCondition();
    void cancelRebuildsFromDialogState();
    void currentPartStaysInView();
    void refusedExpressionLeavesBothInactive();
    void sideBarIsRefreshed();
    void awkwardWords_data();
    void awkwardWords();
    void analogueList_data();
    void analogueList();

private:
    QList<int> codesInView() const;
    void selectPart(int code);
    QString tableFilter() const { return m_ws->price().isFiltered() ? m_ws->price().filter() : QString(); }
    QString label() const { return m_ws->label(Workspace::Label::FilterStatus); }
    QString hint() const { return m_ws->label(Workspace::Label::FilterStatusHint); }

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    Workspace *m_ws = nullptr;
    PriceFilter *m_filter = nullptr;
    QString m_selected;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestFilterQuick::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    m_filter = PriceFilter::of(*m_ws);
    QVERIFY(m_filter);
    m_filter->setSelectedField([this] { return m_selected; });
    QFile file(QStringLiteral("prices.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(TextFile::encodeLines(PriceLines));
    file.close();
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().rowCount(), 6);
}

void TestFilterQuick::cleanup()
{
    delete m_ws;
    m_ws = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

QList<int> TestFilterQuick::codesInView() const
{
    const RecordTable &table = m_ws->price();
    const int code = table.fieldByName(QStringLiteral("CODE"));
    QList<int> codes;
    for (int r = 0; r < table.rowCount(); ++r)
        codes.append(int(table.integerAt(r, code)));
    std::sort(codes.begin(), codes.end());
    return codes;
}

void TestFilterQuick::selectPart(int code)
{
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
}

void TestFilterQuick::filterQ_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("part");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("group: any of the comma-separated groups")
        << "Group" << 101
        << "((Group LIKE '%Крепёж%') or (Group='Крепёж*')) or ((Group LIKE '%Болты%') or (Group='Болты*'))"
        << QList<int>{101, 205, 310};
    QTest::newRow("catalog number: exact phrase")
        << "CatalogID" << 500 << "(CatalogID LIKE '%SP 5%') or (CatalogID='SP 5*')" << QList<int>{500};
    QTest::newRow("name: any word")
        << "Name" << 310 << "((Name LIKE '%Гайка%') or (Name='Гайка*')) or ((Name LIKE '%М8%') or (Name='М8*'))"
        << QList<int>{101, 205, 310};
    QTest::newRow("name with an apostrophe")
        << "Name" << 400
        << "((Name LIKE '%Шайба%') or (Name='Шайба*')) or ((Name LIKE '%O''Reilly%') or (Name='O''Reilly*'))"
        << QList<int>{400};
    QTest::newRow("producer: comma words are not trimmed")
        << "ProductionOf" << 310
        << "((ProductionOf LIKE '%Германия%') or (ProductionOf='Германия*')) or "
           "((ProductionOf LIKE '% Китай%') or (ProductionOf=' Китай*'))"
        << QList<int>{101, 310};
    QTest::newRow("price: part and its analogues")
        << "Price" << 101 << "(Code=101) or (Code=205) or (Code=310)" << QList<int>{101, 205, 310};
    QTest::newRow("code: analogues with a leading comma")
        << "CODE" << 310 << "(Code=310) or (Code=101)" << QList<int>{101, 310};
    QTest::newRow("price: leading comma, two analogues")
        << "Price" << 500 << "(Code=500) or (Code=205) or (Code=310)" << QList<int>{205, 310, 500};
    QTest::newRow("pack: analogues with a trailing comma")
        << "Pack" << 600 << "(Code=310) or (Code=600)" << QList<int>{310, 600};
    QTest::newRow("no analogues: the part alone") << "Price" << 205 << "(Code=205)" << QList<int>{205};
    QTest::newRow("row number column") << "NPP" << 205 << "(Code=205)" << QList<int>{205};
}

void TestFilterQuick::filterQ()
{
    QFETCH(QString, column);
    QFETCH(int, part);
    QFETCH(QString, condition);
    QFETCH(QList<int>, codes);

    selectPart(part);
    m_selected = column;
    QVERIFY(m_ws->actions().execute(ActionId::FilterQ));
    QCOMPARE(m_ws->filter().priceCondition, condition);
    QVERIFY(m_ws->filter().priceActive);
    QCOMPARE(tableFilter(), condition);
    QCOMPARE(codesInView(), codes);
    QCOMPARE(m_filter->builder().conditionScore(), 12);
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 1"));
    QCOMPARE(hint(), QStringLiteral("Применены фильтры: по условию"));
    // The current part passes its own filter and stays current.
    QCOMPARE(m_ws->price().asString(m_ws->price().fieldByName(QStringLiteral("CODE"))), QString::number(part));
    QVERIFY(m_prompts.records().isEmpty());
}

void TestFilterQuick::filterQOnEmptyGroupWithAvailability()
{
    selectPart(500);
    m_selected = QStringLiteral("Group");
    m_ws->actions().execute(ActionId::FilterQ);
    QCOMPARE(m_ws->filter().priceCondition, QString());
    QVERIFY(!m_ws->filter().priceActive);
    QVERIFY(!m_ws->price().isFiltered());
    QCOMPARE(m_ws->price().rowCount(), 6);
    QCOMPARE(label(), QString());
    QCOMPARE(hint(), QStringLiteral("Фильтры не применены"));

    FilterDialogState &state = m_filter->builder().state();
    state.setAvailAll(false);
    state.availNot = false;
    state.availDeliv = false;
    m_ws->actions().execute(ActionId::FilterQ);
    QCOMPARE(m_ws->filter().priceCondition, InStock);
    QCOMPARE(m_filter->builder().conditionScore(), 1);
    QCOMPARE(codesInView(), (QList<int>{101, 205, 600}));
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 1"));
    QCOMPARE(hint(), QStringLiteral("Применены фильтры: по наличию"));
}

void TestFilterQuick::labelCountsUpToThreeFilters_data()
{
    QTest::addColumn<bool>("words");
    QTest::addColumn<bool>("availability");
    QTest::addColumn<bool>("models");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QList<int>>("codes");

    const QString name = QStringLiteral("((Name LIKE '%Болт%') or (Name='Болт*'))");
    const QString models = QStringLiteral("Code=205 or Code=600 ");
    QTest::newRow("none") << false << false << false << ""
                          << "Фильтры не применены"
                          << "" << QList<int>{101, 205, 310, 400, 500, 600};
    QTest::newRow("words") << true << false << false << "Применено фильтров: 1"
                           << "Применены фильтры: по условию" << name << QList<int>{101, 205};
    QTest::newRow("words and availability") << true << true << false << "Применено фильтров: 2"
                                            << "Применены фильтры: по условию, по наличию"
                                            << "(" + name + ") and (" + InStock + ")" << QList<int>{101, 205};
    QTest::newRow("models alone") << false << false << true << "Применено фильтров: 1"
                                  << "Применены фильтры: по моделям" << models << QList<int>{205, 600};
    QTest::newRow("all three") << true << true << true << "Применено фильтров: 3"
                               << "Применены фильтры: по условию, по наличию, по моделям"
                               << "(" + models + ") and ((" + name + ") and (" + InStock + "))" << QList<int>{205};
}

void TestFilterQuick::labelCountsUpToThreeFilters()
{
    QFETCH(bool, words);
    QFETCH(bool, availability);
    QFETCH(bool, models);
    QFETCH(QString, label);
    QFETCH(QString, hint);
    QFETCH(QString, expression);
    QFETCH(QList<int>, codes);

    editFilter(*m_ws, [&](Workspace::FilterState &f) {
        f.modelCondition = QStringLiteral("Code=205 or Code=600 ");
        f.modelActive = models;
    });
    FilterBuilder &builder = m_filter->builder();
    FilterDialogState &state = builder.state();
    builder.prepareFields(m_ws->grid(Workspace::Grid::Price), m_ws->price(), 3);
    state.filterString = words ? QStringLiteral("Болт") : QString();
    if (availability) {
        state.setAvailAll(false);
        state.availNot = false;
        state.availDeliv = false;
    }
    m_filter->setDialogRunner([] { return true; });
    m_ws->actions().execute(ActionId::FilterCreate);
    QCOMPARE(tableFilter(), expression);
    QCOMPARE(codesInView(), codes);
    QCOMPARE(this->label(), label);
    QCOMPARE(this->hint(), hint);
}

void TestFilterQuick::filterPriceToggles()
{
    ActionList &actions = m_ws->actions();
    selectPart(101);
    m_selected = QStringLiteral("Price");
    actions.execute(ActionId::FilterQ);
    QCOMPARE(codesInView(), (QList<int>{101, 205, 310}));
    // FilterQ leaves the caption as it was.
    QCOMPARE(actions.get(ActionId::FilterPrice).caption, QStringLiteral("Применить фильтр"));
    QVERIFY(actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(actions.get(ActionId::FilterPrice).checked);

    QVERIFY(actions.execute(ActionId::FilterPrice));
    QVERIFY(!m_ws->filter().priceActive);
    QVERIFY(!m_ws->price().isFiltered());
    QCOMPARE(m_ws->price().rowCount(), 6);
    QCOMPARE(actions.get(ActionId::FilterPrice).caption, QStringLiteral("Применить фильтр"));
    QCOMPARE(label(), QString());
    QVERIFY(actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(!actions.get(ActionId::FilterPrice).checked);

    QVERIFY(actions.execute(ActionId::FilterPrice));
    QVERIFY(m_ws->filter().priceActive);
    QCOMPARE(tableFilter(), QStringLiteral("(Code=101) or (Code=205) or (Code=310)"));
    QCOMPARE(codesInView(), (QList<int>{101, 205, 310}));
    QCOMPARE(actions.get(ActionId::FilterPrice).caption, QStringLiteral("Отменить фильтр"));
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 1"));
    QVERIFY(actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(actions.get(ActionId::FilterPrice).checked);
}

void TestFilterQuick::filterPriceRule()
{
    ActionList &actions = m_ws->actions();
    QVERIFY(!actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(!actions.execute(ActionId::FilterPrice));
    QVERIFY(!m_ws->filter().priceActive);

    // A condition switched off is still there to switch on.
    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition = QStringLiteral("Code=400"); });
    QVERIFY(actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(!actions.get(ActionId::FilterPrice).checked);
    QVERIFY(actions.execute(ActionId::FilterPrice));
    QCOMPARE(codesInView(), QList<int>{400});

    // Disabled means unchecked, whatever the flag says.
    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition.clear(); });
    QVERIFY(!actions.isEnabled(ActionId::FilterPrice));
    QVERIFY(!actions.get(ActionId::FilterPrice).checked);
}

void TestFilterQuick::filterCreate()
{
    FilterBuilder &builder = m_filter->builder();
    int runs = 0;
    m_filter->setDialogRunner([&] {
        ++runs;
        builder.prepareFields(m_ws->grid(Workspace::Grid::Price), m_ws->price(), 3);
        builder.state().filterString = QStringLiteral("м8 болт");
        return true;
    });
    selectPart(400);
    QVERIFY(m_ws->actions().execute(ActionId::FilterCreate));
    QCOMPARE(runs, 1);
    QCOMPARE(m_ws->filter().priceCondition,
             QStringLiteral("((Name LIKE '%м8%') or (Name='м8*')) and ((Name LIKE '%болт%') or (Name='болт*'))"));
    QCOMPARE(codesInView(), (QList<int>{101, 205}));
    QCOMPARE(builder.conditionScore(), 12);
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 1"));
    // The previous part is gone: the first row of the new view is current.
    QCOMPARE(m_ws->price().rowNumber(), 1);
}

void TestFilterQuick::clearKeepsModelCondition()
{
    editFilter(*m_ws, [&](Workspace::FilterState &f) {
        f.modelCondition = QStringLiteral("Code=101 or Code=310 ");
        f.modelActive = true;
    });
    FilterBuilder &builder = m_filter->builder();
    builder.prepareFields(m_ws->grid(Workspace::Grid::Price), m_ws->price(), 3);
    builder.state().filterString = QStringLiteral("Гайка");
    m_filter->setDialogRunner([] { return true; });
    m_ws->actions().execute(ActionId::FilterCreate);
    QCOMPARE(codesInView(), QList<int>{310});
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 2"));

    m_filter->setDialogRunner([&] {
        builder.state().filterString = QStringLiteral("changed");
        return false; // "Очистить"
    });
    m_ws->actions().execute(ActionId::FilterCreate);
    QVERIFY(!m_ws->filter().priceActive);
    QCOMPARE(m_ws->filter().priceCondition, QStringLiteral("((Name LIKE '%Гайка%') or (Name='Гайка*'))"));
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(tableFilter(), QStringLiteral("Code=101 or Code=310 "));
    QCOMPARE(codesInView(), (QList<int>{101, 310}));
    QCOMPARE(label(), QStringLiteral("Применено фильтров: 1"));
    QCOMPARE(hint(), QStringLiteral("Применены фильтры: по моделям"));
}

void TestFilterQuick::cancelRebuildsFromDialogState()
{
    // "Отмена" returns true as well: the filter is rebuilt from the state as
    // the dialog left it.
    FilterBuilder &builder = m_filter->builder();
    builder.prepareFields(m_ws->grid(Workspace::Grid::Price), m_ws->price(), 8);
    builder.state().filterString = QStringLiteral("Шайбы");
    m_filter->setDialogRunner([] { return true; });
    m_ws->actions().execute(ActionId::FilterCreate);
    QCOMPARE(codesInView(), QList<int>{400});
}

void TestFilterQuick::currentPartStaysInView()
{
    selectPart(205);
    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition = QStringLiteral("Price>=10"); });
    m_ws->actions().execute(ActionId::FilterPrice);
    QCOMPARE(codesInView(), (QList<int>{101, 205, 500, 600}));
    QCOMPARE(m_ws->price().asString(m_ws->price().fieldByName(QStringLiteral("CODE"))), QStringLiteral("205"));

    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition = QStringLiteral("Price>=100"); });
    m_filter->applyPriceFilter();
    QCOMPARE(m_ws->price().rowNumber(), 1);
    QCOMPARE(m_ws->price().rowCount(), 2);
}

void TestFilterQuick::refusedExpressionLeavesBothInactive()
{
    editFilter(*m_ws, [&](Workspace::FilterState &f) {
        f.modelCondition = QStringLiteral("Code=101 ");
        f.modelActive = true;
        f.priceCondition = QStringLiteral("NoSuchField=1");
    });
    QVERIFY(m_ws->actions().execute(ActionId::FilterPrice));
    QVERIFY(!m_ws->filter().priceActive);
    QVERIFY(!m_ws->filter().modelActive);
    QVERIFY(!m_ws->price().isFiltered());
    QCOMPARE(m_ws->price().rowCount(), 6);
    QCOMPARE(label(), QString());
    QCOMPARE(hint(), QStringLiteral("Фильтры не применены"));
    QCOMPARE(m_ws->actions().get(ActionId::FilterPrice).caption, QStringLiteral("Применить фильтр"));
    QVERIFY(m_prompts.records().isEmpty());
    // The texts stay for another try.
    QCOMPARE(m_ws->filter().priceCondition, QStringLiteral("NoSuchField=1"));
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=101 "));
}

void TestFilterQuick::sideBarIsRefreshed()
{
    int refreshed = 0;
    m_filter->setSideBarRefresh([&] { ++refreshed; });
    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition = QStringLiteral("Code=400"); });
    m_ws->actions().execute(ActionId::FilterPrice);
    QVERIFY(refreshed >= 1);
}

void TestFilterQuick::awkwardWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("apostrophes") << "O'Reilly ''" << 1 << QList<int>{400};
    QTest::newRow("percent alone keeps all") << "%" << 0 << QList<int>{101, 205, 310, 400, 500, 600};
    // A star in a word is a character of the word: the prefix form adds its
    // own star after it.
    QTest::newRow("star alone") << "*" << 0 << QList<int>{};
    QTest::newRow("star ending a word") << "Бол*" << 0 << QList<int>{};
    QTest::newRow("parentheses and keywords") << "(Name) OR AND NOT LIKE =" << 2 << QList<int>{};
    QTest::newRow("letters the code page lacks") << "болт 中😀" << 1 << QList<int>{101, 205};
    QTest::newRow("backslash and underscore") << "\\ _" << 0 << QList<int>{};
    QTest::newRow("very long word") << QString(5000, QLatin1Char('x')) << 0 << QList<int>{};
    QTest::newRow("many words") << QStringLiteral("болт ").repeated(300) << 0 << QList<int>{101, 205};
}

void TestFilterQuick::awkwardWords()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(QList<int>, codes);
    FilterBuilder &builder = m_filter->builder();
    builder.prepareFields(m_ws->grid(Workspace::Grid::Price), m_ws->price(), 3);
    builder.state().filterString = text;
    builder.state().wordMode = mode;
    m_filter->setDialogRunner([] { return true; });
    QVERIFY(m_ws->actions().execute(ActionId::FilterCreate));
    // Applied, or refused and shown as not applied: never a stale filter.
    QCOMPARE(m_ws->filter().priceActive, m_ws->price().isFiltered());
    QCOMPARE(label().isEmpty(), !m_ws->filter().priceActive);
    QCOMPARE(codesInView(), codes);
    QVERIFY(m_prompts.records().isEmpty());
}

void TestFilterQuick::analogueList_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("analogue");
    QTest::addColumn<QString>("list");
    QTest::newRow("no analogues") << "101"
                                  << ""
                                  << "101,";
    QTest::newRow("leading comma") << "101"
                                   << ",205,310"
                                   << "101,205,310";
    QTest::newRow("trailing comma") << "101"
                                    << "205,310,"
                                    << "205,310,101";
    QTest::newRow("plain list") << "101"
                                << "205,310"
                                << "101,205,310";
}

void TestFilterQuick::analogueList()
{
    QFETCH(QString, code);
    QFETCH(QString, analogue);
    QFETCH(QString, list);
    QCOMPARE(PriceFilter::analogueList(code, analogue), list);
}

QTEST_GUILESS_MAIN(TestFilterQuick)
#include "tst_filterquick.moc"
