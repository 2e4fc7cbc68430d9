#include <QtTest>

#include "partsearch.h"
#include "priceloader.h"
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

private:
    TestSession *m_session = nullptr;
    PartSearch m_search;
};

void TestPartSearch::initTestCase()
{
    m_session = new TestSession;
    // code|name|part number|maker|pack|price|price|status|groups|analogues
    TextFile::writeLines(QStringLiteral("prices.txt"), {
        QStringLiteral("Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|ЦенаОпт|Статус|Каталоги|Аналоги(Коды)"),
        QStringLiteral("101|Свеча зажигания|0 242 235 666|BOSCH|4|100|90|1|Электрика|"),
        QStringLiteral("102|Свеча Bosch 0242235666 для ВАЗ|FR7DC|BOSCH|4|100|90|1|Электрика|"),
        QStringLiteral("103|Амортизатор передний|ВМ-5124.83|Завод|1|100|90|1|Подвеска|,104"),
        QStringLiteral("104|Стойка амортизатора|KYB-333|KYB|1|100|90|1|Подвеска|"),
        QStringLiteral("105|Щётка стеклоочистителя|W-500|VALEO|1|100|90|1|Кузов|103"),
        QStringLiteral("106|Фильтр масляный|0-242-235-667|MANN|1|100|90|1|Фильтры|"),
        QStringLiteral("107|Фильтр воздушный|0242.235.666/X|MANN|1|100|90|1|Фильтры|"),
        QStringLiteral("108|Болт М8х20|B_8|Завод|10|100|90|1|Крепёж|"),
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
    QTest::newRow("beginning of a part number") << QStringLiteral("0242 2356")
                                                << QStringLiteral("101 артикул; 106 артикул; 107 артикул");
    QTest::newRow("mixed script: Latin BM finds Cyrillic ВМ, analogues both ways")
        << QStringLiteral("bm 5124 83") << QStringLiteral("103 артикул; 104 аналог 103; 105 аналог 103");
    QTest::newRow("Cyrillic look-alikes in a name's token") << QStringLiteral("М8Х20") << QStringLiteral("108 название");
    QTest::newRow("whole code first, then its analogues")
        << QStringLiteral("103") << QStringLiteral("103 код; 104 аналог 103; 105 аналог 103");
    QTest::newRow("code with leading zeros") << QStringLiteral("00108") << QStringLiteral("108 код");
    QTest::newRow("analogue named by another part") << QStringLiteral("kyb333")
                                                    << QStringLiteral("104 артикул; 103 аналог 104");
    QTest::newRow("name words start words, any order")
        << QStringLiteral("зажиг свеч") << QStringLiteral("101 название");
    QTest::newRow("ё and е alike") << QStringLiteral("стекло щетка") << QStringLiteral("105 название");
    QTest::newRow("ё typed finds е too") << QStringLiteral("Щётк") << QStringLiteral("105 название");
    QTest::newRow("Russian word typed on the Latin layout")
        << QStringLiteral("fvjhnbpfnjh") << QStringLiteral("103 раскладка; 104 раскладка");
    QTest::newRow("Latin word typed on the Russian layout") << QStringLiteral("ищыср")
                                                            << QStringLiteral("102 раскладка");
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
    QCOMPARE(table.rowCount(), 5);
    table.setFiltered(false);
}

QTEST_GUILESS_MAIN(TestPartSearch)
#include "tst_partsearch.moc"
