#include <QtTest>

#include <random>

#include "partsearch.h"
#include "pricefilter.h"
#include "pricesearch.h"
#include "priceloader.h"
#include "cp1251.h"
#include "recordtable.h"
#include "testworkspace.h"

// The part search's rules on a small price list, as a buyer types them:
// each row a query and the codes it finds, best first, with how each was
// found.
class TestPartSearch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void rules_data();
    void rules();
    void hitsShowOnTopOfTheFilter();
    void choiceKeepsItsRowsAndOrder();
    void ranking_data();
    void ranking();
    void forms_data();
    void forms();
    void queryLimits_data();
    void queryLimits();
    void agreesWithAPlainScan();
    void searchInTheWorkspace();

private:
    TestSession *m_session = nullptr;
    PartSearch m_search;
};

void TestPartSearch::initTestCase()
{
    m_session = new TestSession;
    // code|name|part number|maker|pack|price|price|status|groups|analogues
    TextFile::writeLines(QStringLiteral("prices.txt"),
                         {
                             QStringLiteral("Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|ЦенаОпт|"
                                            "Статус|Каталоги|Аналоги(Коды)"),
                             QStringLiteral("101|Свеча зажигания|0 242 235 666|BOSCH|4|100|90|1|Электрика|"),
                             QStringLiteral("102|Свеча Bosch 0242235666 для ВАЗ|FR7DC|BOSCH|4|100|90|1|Электрика|"),
                             QStringLiteral("103|Амортизатор передний|ВМ-5124.83|Завод|1|100|90|1|Подвеска|,104"),
                             QStringLiteral("104|Стойка амортизатора|KYB-333|KYB|1|100|90|1|Подвеска|"),
                             QStringLiteral("105|Щётка стеклоочистителя|W-500|VALEO|1|100|90|1|Кузов|103"),
                             QStringLiteral("106|Фильтр масляный|0-242-235-667|MANN|1|100|90|1|Фильтры|"),
                             QStringLiteral("107|Фильтр воздушный|0242.235.666/X|MANN|1|100|90|1|Фильтры|"),
                             QStringLiteral("108|Болт М8х20|B_8|Завод|10|100|90|1|Крепёж|"),
                             QStringLiteral("109|Свеча 2 шт. 0 242 235 668, 4 шт.|Z|BOSCH|1|100|90|1|Электрика|"),
                         });
    PriceLoader::loadFile(m_session->ws, QStringLiteral("prices.txt"));
    m_search.build(m_session->ws.price());
}

void TestPartSearch::cleanupTestCase()
{
    m_search.clear();
    delete m_session;
}

void TestPartSearch::rules_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("found"); // "code how; …", best first

    const QString spaced = QStringLiteral("101 артикул; 102 название; 107 артикул");
    QTest::newRow("spaced part number: equal ones, the name's token, then the longer one")
        << QStringLiteral("0 242 235 666") << spaced;
    QTest::newRow("dashed") << QStringLiteral("0-242-235-666") << spaced;
    QTest::newRow("dotted and slashed") << QStringLiteral("0242.235/666") << spaced;
    QTest::newRow("beginning of a part number")
        << QStringLiteral("0242 2356") << QStringLiteral("101 артикул; 106 артикул; 107 артикул");
    QTest::newRow("mixed script: Latin BM finds Cyrillic ВМ, analogues both ways")
        << QStringLiteral("bm 5124 83") << QStringLiteral("103 артикул; 104 аналог 103; 105 аналог 103");
    QTest::newRow("a part number written spaced in a name")
        << QStringLiteral("0242235668") << QStringLiteral("109 название");
    QTest::newRow("a name's spaced run ends at a comma") << QStringLiteral("02422356684") << QString();
    QTest::newRow("Cyrillic look-alikes in a name's token")
        << QStringLiteral("М8Х20") << QStringLiteral("108 название");
    QTest::newRow("whole code first, then its analogues")
        << QStringLiteral("103") << QStringLiteral("103 код; 104 аналог 103; 105 аналог 103");
    QTest::newRow("code with leading zeros") << QStringLiteral("00108") << QStringLiteral("108 код");
    QTest::newRow("analogue named by another part")
        << QStringLiteral("kyb333") << QStringLiteral("104 артикул; 103 аналог 104");
    QTest::newRow("name words start words, any order")
        << QStringLiteral("зажиг свеч") << QStringLiteral("101 название");
    QTest::newRow("ё and е alike") << QStringLiteral("стекло щетка") << QStringLiteral("105 название");
    QTest::newRow("ё typed finds е too") << QStringLiteral("Щётк") << QStringLiteral("105 название");
    QTest::newRow("Russian word typed on the Latin layout")
        << QStringLiteral("fvjhnbpfnjh") << QStringLiteral("103 раскладка; 104 раскладка");
    QTest::newRow("Latin word typed on the Russian layout")
        << QStringLiteral("ищыср") << QStringLiteral("102 раскладка");
    QTest::newRow("layout keys for letters: ,jkn is болт") << QStringLiteral(",jkn") << QStringLiteral("108 раскладка");
    QTest::newRow("nothing found") << QStringLiteral("карбюратор") << QString();
    QTest::newRow("only marks") << QStringLiteral(" - . / ") << QString();
}

void TestPartSearch::rules()
{
    QFETCH(QString, query);
    QFETCH(QString, found);
    const PartSearch::Result result = m_search.find(query);
    QStringList shown;
    const RecordTable &table = m_session->ws.price();
    const int code = table.fieldByName(QStringLiteral("Code"));
    for (const PartSearch::Hit &hit : result.hits)
        shown << QString::number(table.storedInteger(hit.row, code)) + QLatin1Char(' ')
                + PartSearch::foundText(hit, result.switchedLayout);
    QCOMPARE(shown.join(QStringLiteral("; ")), found);
}

void TestPartSearch::ranking_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("codes"); // every hit, best first
    QTest::newRow("whole word at the front, whole word later, word starts at the front, later")
        << QStringLiteral("масло") << QStringLiteral("2 4 11 12 6 8 9 3 1");
    QTest::newRow("typed on the Latin layout") << QStringLiteral("vfckj") << QStringLiteral("2 4 11 12 6 8 9 3 1");
    QTest::newRow("a whole word outranks the front") << QStringLiteral("фильтр") << QStringLiteral("7 9 8 10 11");
    QTest::newRow("two words: both whole, then one") << QStringLiteral("масло фильтр") << QStringLiteral("9 8 11");
    QTest::newRow("part numbers stay above the names") << QStringLiteral("5w") << QStringLiteral("12 2");
}

void TestPartSearch::ranking()
{
    QFETCH(QString, query);
    QFETCH(QString, codes);
    RecordTable table;
    table.open(PriceLoader::priceFields());
    const QStringList names = QStringLiteral("Колпачки маслосъёмные|Масло моторное 5W-40|Маслосъёмный колпачок|"
                                             "Масло трансмиссионное|Щуп масла|Насос масло-воздушный|Фильтр воздушный|"
                                             "Фильтрующий элемент масло|Корпус фильтр масло|Элемент фильтра|"
                                             "Масло фильтровальное|Масло 5W")
                                  .split(QLatin1Char('|'));
    for (int code = 1; code <= names.size(); ++code)
        table.appendRow(
            QStringList{QStringLiteral("1"), QString::number(code), names.at(code - 1), QStringLiteral("X")});
    PartSearch search;
    search.build(table);
    QStringList found;
    for (const PartSearch::Hit &hit : search.find(query).hits)
        found << QString::number(table.storedInteger(hit.row, 1));
    QCOMPARE(found.join(QLatin1Char(' ')), codes);
}

void TestPartSearch::hitsShowOnTopOfTheFilter()
{
    // The view holds the hits in their order, only those the filter lets
    // through; clearing the choice gives the filter's rows back.
    RecordTable &table = m_session->ws.price();
    table.setFilter(QStringLiteral("Code >= 104"));
    table.setFiltered(true);
    std::vector<uint32_t> rows;
    for (const PartSearch::Hit &hit : m_search.find(QStringLiteral("bm512483")).hits)
        rows.push_back(hit.row);
    table.setRowChoice(rows);
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.integerAt(0, 1), 104);
    QCOMPARE(table.integerAt(1, 1), 105);
    table.clearRowChoice();
    QCOMPARE(table.rowCount(), 6);
    table.setFiltered(false);
}

void TestPartSearch::choiceKeepsItsRowsAndOrder()
{
    // Rows appended or removed while a choice shows, and emptying the table.
    RecordTable table;
    table.open({FieldDef{QStringLiteral("Code"), FieldType::I4, 0}});
    for (int code = 0; code < 10; ++code)
        table.appendRow(QStringList{QString::number(code)});
    table.setRowChoice({7, 2, 9});
    QCOMPARE(table.rowNumber(), 1);
    QCOMPARE(table.integerAt(0, 0), 7);
    table.appendRow(QStringList{QStringLiteral("10")});
    QCOMPARE(table.rowCount(), 3);
    table.setRowNumber(2); // code 2
    table.deleteRow();
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(table.integerAt(0, 0), 7);
    QCOMPARE(table.integerAt(1, 0), 9);
    table.empty();
    QVERIFY(!table.hasRowChoice());
    table.appendRow(QStringList{QStringLiteral("1")});
    QCOMPARE(table.rowCount(), 1);
}

void TestPartSearch::forms_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("partNumber");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("otherLayout");
    QTest::newRow("marks go, Cyrillic look-alikes turn Latin")
        << QStringLiteral("вм-5124.83/x_1\\2") << QStringLiteral("BM512483X12") << QStringLiteral("вм 5124 83 x 1 2")
        << QStringLiteral("dv-5124.83/ч_1\\2");
    QTest::newRow("ё is е in words, upper case in part numbers")
        << QStringLiteral("Щётка ЁЛКА") << QStringLiteral("ЩЁTKAЁЛKA") << QStringLiteral("щетка елка")
        << QStringLiteral("O`nrf ~KRF");
    QTest::newRow("Latin layout keys beside letters become letters, not between digits")
        << QStringLiteral(",jkn 0.5") << QStringLiteral(",JKN05") << QStringLiteral("jkn 0 5")
        << QStringLiteral("болт 0.5");
    QTest::newRow("no letters: the same on either layout")
        << QStringLiteral("12-34") << QStringLiteral("1234") << QStringLiteral("12 34") << QStringLiteral("12-34");
}

void TestPartSearch::forms()
{
    QFETCH(QString, text);
    QFETCH(QString, partNumber);
    QFETCH(QString, words);
    QFETCH(QString, otherLayout);
    QCOMPARE(PartSearch::partNumberForm(text), partNumber);
    QCOMPARE(PartSearch::nameWords(text).join(QLatin1Char(' ')), words);
    QCOMPARE(PartSearch::switchLayout(text), otherLayout);
}

void TestPartSearch::queryLimits_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("searched");
    QTest::addColumn<int>("hits");
    const QString words64 = QStringLiteral("св ").repeated(63) + QStringLiteral("зажиг");
    QTest::newRow("within the limits") << words64 << words64 << 1;
    QTest::newRow("words beyond the 64th left out")
        << words64 + QStringLiteral(" карбюратор") << words64 + QLatin1Char(' ') << 1;
    QTest::newRow("a pasted page of one letter") << QStringLiteral("зажиг ") + QStringLiteral("с ").repeated(50000)
                                                 << QStringLiteral("зажиг ") + QStringLiteral("с ").repeated(63) << 1;
    QTest::newRow("characters beyond the 256th left out")
        << QStringLiteral("0242").repeated(100) << QStringLiteral("0242").repeated(64) << 0;
}

void TestPartSearch::queryLimits()
{
    QFETCH(QString, typed);
    QFETCH(QString, searched);
    QFETCH(int, hits);
    bool cut = false;
    QCOMPARE(PartSearch::limitedQuery(typed, &cut), searched);
    QCOMPARE(cut, searched != typed);
    const PartSearch::Result result = m_search.find(typed);
    QCOMPARE(result.cut, cut);
    QCOMPARE(int(result.hits.size()), hits);
}

void TestPartSearch::agreesWithAPlainScan()
{
    // Many part numbers sharing long beginnings (the index orders them by
    // their first bytes, then the rest) and names of a few words: every
    // tier holds exactly the rows a scan finds, in stored order.
    RecordTable table;
    table.open(PriceLoader::priceFields());
    std::mt19937 rng(7);
    const QStringList words = {QStringLiteral("Фильтр"),   QStringLiteral("фильтрующий"), QStringLiteral("Ёмкость"),
                               QStringLiteral("масляный"), QStringLiteral("BOSCH"),       QStringLiteral("болт")};
    const QString marks = QStringLiteral("00112AB -.");
    QStringList numbers;
    for (int row = 0; row < 3000; ++row) {
        QString number = QStringLiteral("0242235");
        number.truncate(int(rng() % 8));
        for (int k = int(rng() % 7); k >= 0; --k)
            number += marks.at(int(rng() % marks.size()));
        const QString name = words.at(int(rng() % 6)) + QLatin1Char(' ') + words.at(int(rng() % 6));
        table.appendRow(QStringList{QStringLiteral("1"), QString::number(100000 + row), name, number});
        numbers << PartSearch::partNumberForm(number);
    }
    PartSearch search;
    search.build(table);
    for (int q = 0; q < 200; ++q) {
        QString key;
        while (key.isEmpty())
            key = numbers.at(int(rng() % numbers.size())).left(1 + int(rng() % 9));
        const QString word = PartSearch::nameWords(words.at(int(rng() % 6))).first().left(1 + int(rng() % 5));
        for (const QString &query : {key, word}) {
            const PartSearch::Result result = search.find(query);
            const QString queryKey = PartSearch::partNumberForm(query);
            const QStringList queryWords = PartSearch::nameWords(query);
            std::vector<uint32_t> expected[6];
            for (uint32_t row = 0; row < 3000; ++row) {
                const QString number = numbers.at(int(row));
                const QStringList nameWords = PartSearch::nameWords(Cp1251::decode(table.storedBytes(row, 2)));
                const auto startsAWord = [&](const QString &w) {
                    return std::any_of(nameWords.begin(), nameWords.end(),
                                       [&](const QString &n) { return n.startsWith(w); });
                };
                if (!number.isEmpty() && number == queryKey)
                    expected[2].push_back(row);
                else if (!number.isEmpty() && number.startsWith(queryKey))
                    expected[3].push_back(row);
                else if (!queryWords.isEmpty() && std::all_of(queryWords.begin(), queryWords.end(), startsAWord))
                    expected[4].push_back(row);
            }
            if (result.switchedLayout) {
                QVERIFY(expected[2].empty() && expected[3].empty() && expected[4].empty());
                continue;
            }
            std::vector<uint32_t> found[6];
            for (const PartSearch::Hit &hit : result.hits)
                if (!hit.inName)
                    found[int(hit.tier)].push_back(hit.row);
            std::sort(found[4].begin(), found[4].end()); // ranked, not stored order
            for (int tier = 2; tier <= 4; ++tier)
                QVERIFY2(found[tier] == expected[tier], qPrintable(QStringLiteral("%1, tier %2").arg(query).arg(tier)));
        }
    }
}

void TestPartSearch::searchInTheWorkspace()
{
    // The status line, the count on top of a filter applied meanwhile with
    // the hits it hides, the words searched, the row current before the
    // search, and a new list ending the search.
    Workspace &ws = m_session->ws;
    PriceSearch *search = PriceSearch::install(ws);
    RecordTable &price = ws.price();
    QVERIFY(price.locate(QStringLiteral("Code"), 106));
    search->search(QStringLiteral("bm512483"));
    QCOMPARE(search->statusText(), QStringLiteral("Поиск: «bm512483» — найдено 3"));
    QCOMPARE(search->hint(2), QStringLiteral("Найдено: аналог 103"));
    editFilter(ws, [&](Workspace::FilterState &f) {
        f.modelCondition = QStringLiteral("Code >= 104");
        f.modelActive = true;
    });
    PriceFilter::of(ws)->applyPriceFilter();
    QCOMPARE(search->statusText(), QStringLiteral("Поиск: «bm512483» — найдено 2 · ещё 1 скрыто фильтром"));
    search->searchWholeList();
    search->search(QStringLiteral("fvjhnbpfnjh"));
    QCOMPARE(search->statusText(),
             QStringLiteral("Поиск по всему прайсу: «амортизатор» (другая раскладка) — найдено 2"));
    QCOMPARE(search->hint(0), QStringLiteral("Найдено: раскладка «амортизатор»"));
    search->clear();
    QCOMPARE(price.asInteger(1), 106);
    QCOMPARE(price.rowCount(), 6);
    QCOMPARE(search->statusText(), QString());
    editFilter(ws, [&](Workspace::FilterState &f) { f.modelActive = false; });
    PriceFilter::of(ws)->applyPriceFilter();

    search->search(QStringLiteral("103"));
    QSignalSpy reset(search, &PriceSearch::reset);
    PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
    QCOMPARE(reset.count(), 1);
    QVERIFY(!search->isActive());
    QCOMPARE(price.rowCount(), 9);
    QCOMPARE(search->index().rowCount(), 9u);
}

QTEST_GUILESS_MAIN(TestPartSearch)
#include "tst_partsearch.moc"
