#include <QtTest>

#include "actionid.h"
#include "cp1251.h"
#include "ordixerror.h"
#include "pricecompare.h"
#include "pricelifecycle.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // Field positions of the price table.
    enum
    {
        FAvail = 0,
        FCode,
        FName,
        FCatalog,
        FProducer,
        FPack,
        FPrice,
        FGroup,
        FAnalogue,
        FOldPrice
    };

    void writeFile(const QString &path, const QStringList &lines)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
    }

    void setAge(const QString &path, int days)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addDays(-days), QFileDevice::FileModificationTime));
    }

    // Row values of the current view as "code:name:price" texts, in view order.
    QStringList rows(RecordTable &table)
    {
        QStringList result;
        for (int r = 0; r < table.rowCount(); ++r) {
            result.append(
                table.stringAt(r, FCode) + QLatin1Char(':') + table.stringAt(r, FName) + QLatin1Char(':')
                + (table.isNullAt(r, FPrice) ? QStringLiteral("-") : QString::number(table.floatAt(r, FPrice))));
        }
        return result;
    }
}

class TestPriceLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsByHeader_data();
    void loadsByHeader();
    void rateLineSelectsCurrency_data();
    void rateLineSelectsCurrency();
    void skippedLinesAreCountedInStatus();
    void analogueListsKeepWholeCodes_data();
    void analogueListsKeepWholeCodes();
    void titlesWidthsAndSchema();
    void choosingTheFile_data();
    void choosingTheFile();
    void emptyFileIsAnErrorAndClosesProgress();
    void escapeStopsLoadingAndKeepsRows_data();
    void escapeStopsLoadingAndKeepsRows();
    void largeListLoadsAndComparesEveryRow_data();
    void largeListLoadsAndComparesEveryRow();

    void comparison_data();
    void comparison();
    void comparisonInAnyOrder_data();
    void comparisonInAnyOrder();
    void escapeStopsComparisonAfterTheRow();
    void comparisonQuestions();
    void comparisonOnFilteredView();
    void oldFileIsNotCompared();

    void closeRetiresDayOldDefaultList_data();
    void closeRetiresDayOldDefaultList();
    void specialPricesRestoreMode();
    void restorePriceDataKeepsUserFilter();
    void keptConditionFiltersTheReloadedList();

private:
    std::unique_ptr<TestSession> m_session;
    Workspace *m_ws = nullptr;
};

void TestPriceLoader::init()
{
    m_session = std::make_unique<TestSession>();
    QVERIFY(m_session->dir.isValid());
    m_ws = &m_session->ws;
}

void TestPriceLoader::cleanup()
{
    m_ws = nullptr;
    m_session.reset();
}

void TestPriceLoader::loadsByHeader_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("priceMode");
    QTest::addColumn<QStringList>("expected"); // in "PreName" order

    QTest::newRow("title and empty line before the header")
        << QStringList{"Прайс-лист на сегодня", "", "Код|Наименование|Цена|Статус", "12|Болт|5.50|1", "7|Аналог|2|0"}
        << 1 << QStringList{"7:Аналог:2", "12:Болт:5.5"};
    QTest::newRow("lower-case Latin header is recognised")
        << QStringList{"code|name|price", "12|Bolt|5.50"} << 1 << QStringList{"12:Bolt:5.5"};
    QTest::newRow("lower-case Cyrillic header is not: refused")
        << QStringList{"код|наименование|цена", "12|Болт|5.50"} << 1 << QStringList();
    QTest::newRow("mode 1 takes the small-wholesale column")
        << QStringList{"Код|Наименование|Цена|ЦенаМелОпт|ЦенаОпт", "1|A|10|8|6"} << 1 << QStringList{"1:A:8"};
    QTest::newRow("mode 2 takes the special column")
        << QStringList{"Код|Наименование|Цена|ЦенаМелОпт|ЦенаОпт", "1|A|10|8|6"} << 2 << QStringList{"1:A:6"};
    QTest::newRow("rightmost candidate wins")
        << QStringList{"Код|Наименование|ЦенаМелОпт|Цена", "1|A|8|10"} << 1 << QStringList{"1:A:10"};
    QTest::newRow("empty producer stays unset, price converts")
        << QStringList{"Код|Наименование|Производитель|Цена", "12|Болт||5.50"} << 1 << QStringList{"12:Болт:5.5"};
    QTest::newRow("blank line in the data gives an all-unset row")
        << QStringList{"Код|Наименование|Цена", "1|A|1", "", "2|B|2"} << 1 << QStringList{"::-", "1:A:1", "2:B:2"};
    QTest::newRow("decimal comma drops that row only")
        << QStringList{"Код|Наименование|Цена", "1|A|5,50", "2|B|2.25"} << 1 << QStringList{"2:B:2.25"};
    QTest::newRow("-10101 does not start the data")
        << QStringList{"-10101|x", "Код|Наименование", "5|E"} << 1 << QStringList{"5:E:-"};
    QTest::newRow("last header wins") << QStringList{"Код|Наименование|Цена", "Цена|Код|Наименование", "1|3|X"} << 1
                                      << QStringList{"3:X:1"};
    QTest::newRow("a first field that is no number is a leading line")
        << QStringList{"Код|Наименование", "X|3", "4|Y"} << 1 << QStringList{"4:Y:-"};
    QTest::newRow("no header: refused") << QStringList{"1|A|2"} << 1 << QStringList();
    QTest::newRow("English header") << QStringList{"ParentCode|Code|Name|Price|Status", "0|4|Nut|1.5|2"} << 1
                                    << QStringList{"4:Nut:1.5"};
    QTest::newRow("code out of range drops the row")
        << QStringList{"Код|Наименование", "99999999999|A", "2|B"} << 1 << QStringList{"2:B:-"};
}

void TestPriceLoader::loadsByHeader()
{
    QFETCH(QStringList, lines);
    QFETCH(int, priceMode);
    QFETCH(QStringList, expected);
    writeFile(QStringLiteral("prices.txt"), lines);
    m_ws->settings().priceMode = priceMode;
    if (expected.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(OrdixError, PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt")));
        return;
    }
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(rows(m_ws->price()), expected);
}

void TestPriceLoader::rateLineSelectsCurrency_data()
{
    QTest::addColumn<QString>("rateLine");
    QTest::addColumn<QString>("defaultCurrency");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<double>("rate");
    QTest::newRow("курс with matching sign") << "курс|28.5|Доллар|$"
                                             << "$"
                                             << "$" << 28.5;
    QTest::newRow("keyword in any case") << "КуРс|28.5|Доллар|$"
                                         << "$"
                                         << "$" << 28.5;
    QTest::newRow("no matching sign: the rouble") << "курс|28.5|Доллар|$"
                                                  << "€"
                                                  << "р." << 1.0;
    QTest::newRow("rate line yields no currency") << "rate|28.5|Dollar|$"
                                                  << "$"
                                                  << "р." << 1.0;
}

void TestPriceLoader::rateLineSelectsCurrency()
{
    QFETCH(QString, rateLine);
    QFETCH(QString, defaultCurrency);
    QFETCH(QString, symbol);
    QFETCH(double, rate);
    writeFile(QStringLiteral("prices.txt"), {rateLine, "Код|Наименование|Цена", "1|A|57"});
    m_ws->settings().defaultCurrency = defaultCurrency;
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().rowCount(), 1);
    QCOMPARE(m_ws->settings().currencyRateLine, rateLine);
    QCOMPARE(m_ws->settings().currentCurrency.symbol, symbol);
    QCOMPARE(double(m_ws->settings().currentCurrency.rate), rate);
}

void TestPriceLoader::skippedLinesAreCountedInStatus()
{
    writeFile(QStringLiteral("prices.txt"), {"Код|Наименование|Цена", "1|A|5,5", "2|B|6,5", "3|C|7.5"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().rowCount(), 1);
    QCOMPARE(m_ws->label(Workspace::Label::Status),
             QStringLiteral("Прайс-лист загружен. Пропущено строк с ошибками: 2"));

    writeFile(QStringLiteral("prices.txt"), {"Код|Наименование|Цена", "1|A|5.5"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Прайс-лист загружен"));
}

void TestPriceLoader::analogueListsKeepWholeCodes_data()
{
    // Codes of five digits and a comma: the field's 200 bytes end inside the
    // 34th code, or, with the list's first three bytes left out, at its end.
    QStringList codes;
    for (int i = 0; i < 40; ++i)
        codes << QString::number(12000 + i);
    const QString list = codes.join(QLatin1Char(','));
    QTest::addColumn<QString>("analogues");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("status");
    QTest::newRow("fits") << "101, 205"
                          << "101, 205"
                          << "Прайс-лист загружен";
    QTest::newRow("cut inside a code") << list << QStringList(codes.mid(0, 33)).join(QLatin1Char(','))
                                       << "Прайс-лист загружен. Аналоги обрезаны: 1 строк";
    QTest::newRow("cut after a whole code")
        << list.mid(3) << list.mid(3, 200) << "Прайс-лист загружен. Аналоги обрезаны: 1 строк";
    QTest::newRow("only separators beyond") << "7" + QString(250, QLatin1Char(',')) << "7"
                                            << "Прайс-лист загружен";
}

void TestPriceLoader::analogueListsKeepWholeCodes()
{
    QFETCH(QString, analogues);
    QFETCH(QString, stored);
    QFETCH(QString, status);
    writeFile(QStringLiteral("prices.txt"), {"Код|Наименование|Аналоги(Коды)", "38|A|" + analogues, "39|B|1"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().stringAt(0, FAnalogue), stored);
    QCOMPARE(m_ws->label(Workspace::Label::Status), status);
}

void TestPriceLoader::titlesWidthsAndSchema()
{
    writeFile(QStringLiteral("prices.txt"),
              {"Код|Наименование|Цена|Статус наличия|Аналоги(Коды)", "12|Болт М8|1234567.5|7|3,4"});
    m_ws->settings().priceMode = 2;
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(QFile::exists(QStringLiteral("DStruct.xml")));

    RecordTable &table = m_ws->price();
    QCOMPARE(table.rowCount(), 1);
    QCOMPARE(table.asInteger(FAvail), 7);
    QCOMPARE(table.displayText(FCode), QStringLiteral("00012"));
    QCOMPARE(table.displayText(FPrice), QStringLiteral("1 234 567.50 р."));
    QCOMPARE(table.asString(FAnalogue), QStringLiteral("3,4"));
    QCOMPARE(table.indexName(), QStringLiteral("PreName"));

    const GridLayout &grid = m_ws->grid(Workspace::Grid::Price);
    QCOMPARE(grid.count(), 10);
    QCOMPARE(grid.sortMark, 4);
    QCOMPARE(grid.fixedColumns, 2);
    QStringList titles;
    for (const GridColumn &c : grid.columns)
        titles.append(c.title);
    QCOMPARE(titles,
             (QStringList{"№", "...", "Код", "Наименование / артикул производителя", "OEM номер", "Производство",
                          "Упаковка", "Цена (специальная)", "Группа", "Аналоги"}));
    QVERIFY(!grid.columns.at(9).visible);
    // 7 pixels a character plus 4; the price as the grid shows it, measured
    // in the grid's font, with room for the arrow and the margins (22),
    // and never less than 8 a character plus 16.
    QCOMPARE(grid.columns.at(2).preferredWidth, 7 * 2 + 4);
    QCOMPARE(grid.columns.at(3).preferredWidth, 7 * 7 + 4);
    QCOMPARE(grid.columns.at(7).preferredWidth, qMax(8 * 9 + 16, m_ws->textWidth(m_ws->formatMoney(1234567.5)) + 22));
    QCOMPARE(grid.columns.at(4).preferredWidth, 7); // nothing in that column

    // Loading again leaves ten columns, not twenty.
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->grid(Workspace::Grid::Price).count(), 10);
    QVERIFY(m_ws->label(Workspace::Label::Title).startsWith(QStringLiteral("Прайс-лист фирмы \"Золт\" на ")));
}

void TestPriceLoader::choosingTheFile_data()
{
    QTest::addColumn<bool>("haveNew");
    QTest::addColumn<bool>("haveOld");
    QTest::addColumn<int>("answer"); // to the outdated question
    QTest::addColumn<QString>("dialogFile");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("dialogs");

    QTest::newRow("ZOLT.TXT present") << true << true << -1 << ""
                                      << "ZOLT.TXT" << 0 << 0;
    QTest::newRow("only the old file, Yes") << false << true << int(UserPrompts::Answer::Yes) << ""
                                            << "ZOLT_OLD.TXT" << 1 << 0;
    QTest::newRow("only the old file, No, dialog cancelled") << false << true << int(UserPrompts::Answer::No) << ""
                                                             << "" << 1 << 1;
    QTest::newRow("neither, dialog picks a file") << false << false << -1 << "other.txt"
                                                  << "other.txt" << 0 << 1;
}

void TestPriceLoader::choosingTheFile()
{
    QFETCH(bool, haveNew);
    QFETCH(bool, haveOld);
    QFETCH(int, answer);
    QFETCH(QString, dialogFile);
    QFETCH(QString, loaded);
    QFETCH(int, questions);
    QFETCH(int, dialogs);

    const QStringList content{"Код|Наименование|Цена", "1|A|1"};
    if (haveNew)
        writeFile(QStringLiteral("ZOLT.TXT"), content);
    if (haveOld)
        writeFile(QStringLiteral("ZOLT_OLD.TXT"), content);
    writeFile(QStringLiteral("other.txt"), content);
    if (answer >= 0)
        m_session->prompts.queueAnswer(UserPrompts::Answer(answer));
    m_session->prompts.queueFile(dialogFile);

    m_ws->actions().execute(ActionId::PriceFileOpen);

    QCOMPARE(m_ws->priceFileName(), loaded);
    QCOMPARE(m_ws->price().isActive(), !loaded.isEmpty());
    QCOMPARE(m_ws->isPanelVisible(Workspace::Panel::Price), !loaded.isEmpty());
    const QStringList asked = m_session->prompts.texts(QStringLiteral("yesno"));
    const QStringList outdated = asked.filter(QStringLiteral("Открыть устаревший прайс лист ("));
    QCOMPARE(outdated.size(), questions);
    QCOMPARE(m_session->prompts.texts(QStringLiteral("open")).filter(QStringLiteral("Открыть файл прайс-листа")).size(),
             dialogs);
    for (const auto &record : m_session->prompts.records()) {
        if (record.kind == QLatin1String("open") && record.text == u"Открыть файл прайс-листа") {
            QVERIFY(record.dialog.filter.startsWith(
                QStringLiteral("Прайс-листы (*.txt *.xlsx *.xlsm *.xls *.ods *.csv)|")));
            QCOMPARE(record.dialog.defaultExtension, QStringLiteral("txt"));
        }
    }
}

void TestPriceLoader::emptyFileIsAnErrorAndClosesProgress()
{
    writeFile(QStringLiteral("empty.txt"), {});
    QVERIFY_THROWS_EXCEPTION(OrdixError, PriceLoader::loadFile(*m_ws, QStringLiteral("empty.txt")));
    QVERIFY(!m_session->progress.isVisible());
    // Refused before the price table is touched.
    QVERIFY(!m_ws->price().isActive());

    QVERIFY_THROWS_EXCEPTION(OrdixError, PriceLoader::loadFile(*m_ws, QStringLiteral("missing.txt")));
    QVERIFY(!m_session->progress.isVisible());
}

void TestPriceLoader::escapeStopsLoadingAndKeepsRows_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("stopAfter");
    QTest::addColumn<int>("badEvery"); // every n-th line does not convert; 0: none
    QTest::addColumn<int>("rows");
    QTest::newRow("short list") << 50 << 5 << 0 << 6;
    // Over a megabyte: read in several blocks on two cores, the rows up to
    // the line where Escape came stay, and not one more.
    QTest::newRow("long list") << 120000 << 70000 << 0 << 70001;
    QTest::newRow("long list with bad lines") << 120000 << 70000 << 1000 << 70001 - 70;
}

void TestPriceLoader::escapeStopsLoadingAndKeepsRows()
{
    QFETCH(int, lines);
    QFETCH(int, stopAfter);
    QFETCH(int, badEvery);
    QFETCH(int, rows);
    QStringList text{"Код|Наименование|Цена"};
    for (int i = 1; i <= lines; ++i) {
        const bool bad = badEvery > 0 && i % badEvery == 0;
        text.append(QStringLiteral("%1|N%2|1")
                        .arg(bad ? QStringLiteral("x") : QString::number(i))
                        .arg(i, 6, 10, QLatin1Char('0')));
    }
    writeFile(QStringLiteral("prices.txt"), text);
    m_session->progress.stopAfter(stopAfter);
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().rowCount(), rows);
    QCOMPARE(m_session->prompts.messages(), QStringList{QStringLiteral("Action stopped")});
    QVERIFY(!m_session->progress.isVisible());
    // The last row kept is the one of the line before the stop.
    m_ws->price().setIndexName(QStringLiteral("PreCODE"));
    m_ws->price().last();
    QCOMPARE(m_ws->price().asInteger(1), stopAfter + 1);
}

void TestPriceLoader::largeListLoadsAndComparesEveryRow_data()
{
    QTest::addColumn<QByteArray>("lineEnd");
    QTest::newRow("CR LF") << QByteArray("\r\n");
    QTest::newRow("LF") << QByteArray("\n");
    QTest::newRow("CR") << QByteArray("\r");
}

void TestPriceLoader::largeListLoadsAndComparesEveryRow()
{
    // Over a megabyte, so the file is read in several blocks; the names grow
    // longer after the first rows, beyond the room the first rows suggest.
    QFETCH(QByteArray, lineEnd);
    const int count = 30000;
    const auto name = [](int code) -> QString {
        return QStringLiteral("Болт М%1 ").arg(code) + QString(code < 3000 ? 1 : 40 + code % 17, QChar(u'ж'));
    };
    QByteArray list = Cp1251::encode(QStringLiteral("Код|Наименование|Цена")) + lineEnd;
    QByteArray old = list;
    for (int code = 1; code <= count; ++code) {
        list += QByteArray::number(code) + '|' + Cp1251::encode(name(code)) + '|' + QByteArray::number(code % 500)
            + ".25" + lineEnd;
        if (code % 3 == 0)
            old += QByteArray::number(code) + "|x|" + QByteArray::number(code % 7) + lineEnd;
    }
    for (const auto &[path, bytes] :
         {std::pair{QStringLiteral("big.txt"), list}, std::pair{QStringLiteral("big_old.txt"), old}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    const PriceLoadResult loaded = PriceLoader::loadFile(*m_ws, QStringLiteral("big.txt"));
    PriceCompare::compareWith(*m_ws, QStringLiteral("big_old.txt"));
    RecordTable &table = m_ws->price();
    table.setIndexName(QStringLiteral("PreCODE"));
    QCOMPARE(table.rowCount(), count);
    QCOMPARE(loaded.skippedLines, 0);
    for (int r = 0; r < count; ++r) {
        const int code = r + 1;
        QCOMPARE(table.integerAt(r, FCode), code);
        QCOMPARE(table.stringAt(r, FName), name(code));
        QCOMPARE(table.floatAt(r, FPrice), code % 500 + 0.25);
        const bool older = code % 3 == 0 && code % 7 != 0;
        QCOMPARE(table.floatAt(r, FOldPrice), older ? double(code % 7) : code % 500 + 0.25);
    }
}

void TestPriceLoader::comparison_data()
{
    QTest::addColumn<QStringList>("oldLines");
    QTest::addColumn<QStringList>("expected"); // code:OldPrice in code order

    const QString header = QStringLiteral("Код|Наименование|ЦенаМелОпт");
    QTest::newRow("rise, fall and equal")
        << QStringList{header, "1|A|90", "2|B|120", "3|C|100"} << QStringList{"1:90", "2:120", "3:100"};
    QTest::newRow("old price 0 and 0.00004 count as none")
        << QStringList{header, "1|A|0", "2|B|0.00004", "3|C|0.0001"} << QStringList{"1:100", "2:100", "3:0.0001"};
    QTest::newRow("missing code keeps the current price")
        << QStringList{header, "2|B|50"} << QStringList{"1:100", "2:50", "3:100"};
    QTest::newRow("last line of a code wins")
        << QStringList{header, "1|A|10", "1|A|20"} << QStringList{"1:20", "2:100", "3:100"};
    QTest::newRow("English header finds no column")
        << QStringList{"Code|Name|SmallWholesalePrice", "1|A|10"} << QStringList{"1:100", "2:100", "3:100"};
    QTest::newRow("second header changes only the price column")
        << QStringList{header, "Наименование|Код|Цена", "1|A|10", "2|B|20"} << QStringList{"1:10", "2:20", "3:100"};
    QTest::newRow("mode 1 compares the small-wholesale column")
        << QStringList{"Код|Наименование|Цена|ЦенаМелОпт|ЦенаОпт", "1|A|1|2|3"} << QStringList{"1:2", "2:100", "3:100"};
}

void TestPriceLoader::comparison()
{
    QFETCH(QStringList, oldLines);
    QFETCH(QStringList, expected);
    writeFile(QStringLiteral("list.txt"), {"Код|Наименование|ЦенаМелОпт", "1|A|100", "2|B|100", "3|C|100"});
    writeFile(QStringLiteral("list_OLD.txt"), oldLines);
    PriceLoader::loadFile(*m_ws, QStringLiteral("list.txt"));
    RecordTable &table = m_ws->price();
    // The old prices before any comparison: ordered by, filtered on and read
    // as every other column's; the comparison's values then replace them.
    table.setIndexFields(QStringLiteral("OldPrice"));
    table.setFilter(QStringLiteral("OldPrice=0"));
    table.setFiltered(true);
    QCOMPARE(table.rowCount(), 3);
    QVERIFY(table.isNullAt(2, FOldPrice));
    m_session->prompts.queueAnswer(UserPrompts::Answer::Yes);
    m_ws->actions().execute(ActionId::ComparePrices);
    QCOMPARE(table.rowCount(), 0);
    table.setFiltered(false);

    table.setIndexName(QStringLiteral("PreCODE"));
    QStringList got;
    for (int r = 0; r < table.rowCount(); ++r)
        got.append(table.stringAt(r, FCode) + QLatin1Char(':') + QString::number(table.floatAt(r, FOldPrice)));
    QCOMPARE(got, expected);
    QCOMPARE(m_ws->oldPriceFileName(), QStringLiteral("list_OLD.txt"));
    QVERIFY(!m_session->progress.isVisible());
}

void TestPriceLoader::comparisonInAnyOrder_data()
{
    QTest::addColumn<QStringList>("newLines");
    QTest::addColumn<QStringList>("oldLines");
    QTest::addColumn<QStringList>("expected"); // code:OldPrice in stored order

    const QString header = QStringLiteral("Код|Наименование|ЦенаМелОпт");
    const QStringList list{header, "1|A|100", "2|B|100", "3|C|100", "4|D|100"};
    QTest::newRow("same order") << list << QStringList{header, "1|A|1", "2|B|2", "3|C|3", "4|D|4"}
                                << QStringList{"1:1", "2:2", "3:3", "4:4"};
    QTest::newRow("reversed") << list << QStringList{header, "4|D|4", "3|C|3", "2|B|2", "1|A|1"}
                              << QStringList{"1:1", "2:2", "3:3", "4:4"};
    QTest::newRow("a row left out, one added, a code again later")
        << list << QStringList{header, "1|A|1", "3|C|3", "9|X|9", "4|D|4", "1|A|5"}
        << QStringList{"1:5", "2:100", "3:3", "4:4"};
    QTest::newRow("a code held by two rows gets the price in both")
        << QStringList{header, "1|A|100", "2|B|100", "2|B2|100", "3|C|100"}
        << QStringList{header, "1|A|1", "2|B|2", "3|C|3"} << QStringList{"1:1", "2:2", "2:2", "3:3"};
    QTest::newRow("unreadable codes match nothing") << list << QStringList{header, "x|A|1", "2|B|2", "|C|3", "4|D|4"}
                                                    << QStringList{"1:100", "2:2", "3:100", "4:4"};
}

void TestPriceLoader::comparisonInAnyOrder()
{
    QFETCH(QStringList, newLines);
    QFETCH(QStringList, oldLines);
    QFETCH(QStringList, expected);
    writeFile(QStringLiteral("list.txt"), newLines);
    writeFile(QStringLiteral("list_OLD.txt"), oldLines);
    PriceLoader::loadFile(*m_ws, QStringLiteral("list.txt"));
    PriceCompare::compareWith(*m_ws, QStringLiteral("list_OLD.txt"));

    RecordTable &table = m_ws->price();
    table.setIndexName(QString());
    QStringList got;
    for (int r = 0; r < table.rowCount(); ++r)
        got.append(table.stringAt(r, FCode) + QLatin1Char(':') + QString::number(table.floatAt(r, FOldPrice)));
    QCOMPARE(got, expected);
}

void TestPriceLoader::escapeStopsComparisonAfterTheRow()
{
    // Escape during the comparison: the rows up to the one where it came
    // have their old price, the others none.
    QStringList lines{"Код|Наименование|Цена"};
    for (int i = 1; i <= 5000; ++i)
        lines.append(QStringLiteral("%1|N%2|%1").arg(i).arg(i, 4, 10, QLatin1Char('0')));
    writeFile(QStringLiteral("list.txt"), lines);
    writeFile(QStringLiteral("list_OLD.txt"), lines);
    PriceLoader::loadFile(*m_ws, QStringLiteral("list.txt"));
    m_session->progress.stopAfter(4100);
    PriceCompare::compareWith(*m_ws, QStringLiteral("list_OLD.txt"));
    QCOMPARE(m_session->prompts.messages(), QStringList{QStringLiteral("Action stopped")});
    RecordTable &table = m_ws->price();
    table.setIndexName(QString());
    int withOld = 0;
    for (int r = 0; r < table.rowCount(); ++r)
        withOld += table.isNullAt(r, FOldPrice) ? 0 : 1;
    QCOMPARE(withOld, 4101);
    QVERIFY(!table.isNullAt(4100, FOldPrice));
    QVERIFY(table.isNullAt(4101, FOldPrice));
}

void TestPriceLoader::comparisonQuestions()
{
    writeFile(QStringLiteral("ZOLT.TXT"), {"Код|Наименование|ЦенаМелОпт", "1|A|100"});
    writeFile(QStringLiteral("ZOLT_OLD.TXT"), {"Код|Наименование|ЦенаМелОпт", "1|A|50"});
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_ws->actions().execute(ActionId::PriceFileOpen);

    const QStringList asked = m_session->prompts.questions();
    QCOMPARE(asked.size(), 2);
    QVERIFY(asked.at(0).startsWith(
        QStringLiteral("Вы хотите сравнить цены текущего прайс-листа со старым?\nТекущий файл: ZOLT.TXT (")));
    QVERIFY(asked.at(0).contains(QStringLiteral(")\nСтарый файл: ZOLT_OLD.TXT (")));
    QCOMPARE(asked.at(1),
             QStringLiteral("Подходящий старый файл прайс-листа не найден.\nВы хотите указать его вручную?"));
    QVERIFY(m_ws->price().isNull(FOldPrice));
    QVERIFY(m_ws->oldPriceFileName().isEmpty());
}

void TestPriceLoader::comparisonOnFilteredView()
{
    writeFile(QStringLiteral("list.txt"), {"Код|Наименование|ЦенаМелОпт", "1|A|100", "2|B|100"});
    writeFile(QStringLiteral("old.txt"), {"Код|Наименование|ЦенаМелОпт", "1|A|90", "2|B|90"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("list.txt"));
    RecordTable &table = m_ws->price();
    table.setFilter(QStringLiteral("Code=2"));
    table.setFiltered(true);
    PriceCompare::compareWith(*m_ws, QStringLiteral("old.txt"));
    table.setFiltered(false);
    table.setIndexName(QStringLiteral("PreCODE"));
    QVERIFY(table.isNullAt(0, FOldPrice));
    QCOMPARE(table.floatAt(1, FOldPrice), 90.0);
}

void TestPriceLoader::oldFileIsNotCompared()
{
    writeFile(QStringLiteral("ZOLT_OLD.TXT"), {"Код|Наименование|ЦенаМелОпт", "1|A|100"});
    m_session->prompts.queueAnswer(UserPrompts::Answer::Yes); // open the outdated list
    m_ws->actions().execute(ActionId::PriceFileOpen);
    QCOMPARE(m_ws->priceFileName(), QStringLiteral("ZOLT_OLD.TXT"));
    QCOMPARE(m_session->prompts.questions().size(), 1);
}

void TestPriceLoader::closeRetiresDayOldDefaultList_data()
{
    QTest::addColumn<int>("ageDays");
    QTest::addColumn<bool>("retired");
    QTest::newRow("two days old") << 2 << true;
    QTest::newRow("today") << 0 << false;
}

void TestPriceLoader::closeRetiresDayOldDefaultList()
{
    QFETCH(int, ageDays);
    QFETCH(bool, retired);
    writeFile(QStringLiteral("ZOLT.TXT"), {"Код|Наименование|ЦенаМелОпт", "1|A|100"});
    writeFile(QStringLiteral("ZOLT_OLD.TXT"), {"older"});
    setAge(QStringLiteral("ZOLT.TXT"), ageDays);
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_ws->actions().execute(ActionId::PriceFileOpen);
    QCOMPARE(m_ws->priceFileName(), QStringLiteral("ZOLT.TXT"));

    m_ws->actions().execute(ActionId::PriceClose);
    QVERIFY(!m_ws->price().isActive());
    QVERIFY(!QFile::exists(QStringLiteral("DStruct.xml")));
    QVERIFY(m_ws->priceFileName().isEmpty());
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Price));
    QCOMPARE(QFile::exists(QStringLiteral("ZOLT.TXT")), !retired);
    QCOMPARE(TextFile::readLines(QStringLiteral("ZOLT_OLD.TXT")).first() == QLatin1String("older"), !retired);
}

void TestPriceLoader::specialPricesRestoreMode()
{
    writeFile(QStringLiteral("ZOLT.TXT"), {"Код|Наименование|Цена|ЦенаМелОпт|ЦенаОпт", "1|A|10|8|6"});
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_session->prompts.queueAnswer(UserPrompts::Answer::No);
    m_ws->actions().execute(ActionId::PriceFileOpenSpecial);
    QCOMPARE(m_ws->price().asFloat(FPrice), 6.0);
    QCOMPARE(m_ws->grid(Workspace::Grid::Price).columns.at(7).title, QStringLiteral("Цена (специальная)"));
    QCOMPARE(m_ws->settings().priceMode, 1);

    // A load that fails restores the mode as well.
    QFile::remove(QStringLiteral("ZOLT.TXT"));
    m_session->prompts.queueFile(QStringLiteral("missing.txt"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, m_ws->actions().execute(ActionId::PriceFileOpenSpecial));
    QCOMPARE(m_ws->settings().priceMode, 1);
}

void TestPriceLoader::restorePriceDataKeepsUserFilter()
{
    writeFile(QStringLiteral("list.txt"), {"Код|Наименование|Цена|Статус", "1|A|1|6", "2|B|1|5", "3|C|1|1", "4|D|1|9"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("list.txt"));
    RecordTable &table = m_ws->price();
    table.setFilter(QStringLiteral("Name='A'"));
    table.setFiltered(true);
    m_ws->actions().execute(ActionId::RestorePriceData);
    QVERIFY(table.isFiltered());
    QCOMPARE(table.filter(), QStringLiteral("Name='A'"));
    QCOMPARE(table.rowCount(), 1);
    table.setFiltered(false);
    table.setIndexName(QStringLiteral("PreCODE"));
    QCOMPARE(table.integerAt(0, FAvail), 1);
    QCOMPARE(table.integerAt(1, FAvail), 0);
    QCOMPARE(table.integerAt(2, FAvail), 1);
    QCOMPARE(table.integerAt(3, FAvail), 4);
}

void TestPriceLoader::keptConditionFiltersTheReloadedList()
{
    writeFile(QStringLiteral("ZOLT.TXT"), {"Код|Наименование|Цена|Статус", "1|A|1|1", "2|B|1|1", "3|C|1|1"});
    QVERIFY(m_ws->actions().execute(ActionId::PriceFileOpen));
    RecordTable &table = m_ws->price();
    QVERIFY(table.locate(QStringLiteral("Code"), 2));
    QVERIFY(m_ws->actions().execute(ActionId::FilterQ));
    const QString label = m_ws->label(Workspace::Label::FilterStatus);
    QVERIFY(!label.isEmpty());
    QCOMPARE(table.rowCount(), 1);

    QVERIFY(m_ws->actions().execute(ActionId::PriceClose));
    QVERIFY(m_ws->actions().execute(ActionId::PriceFileOpen));
    QVERIFY(m_ws->filter().priceActive);
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatus), label);
    QCOMPARE(m_ws->actions().find(ActionId::FilterPrice)->caption, QStringLiteral("Отменить фильтр"));
    QCOMPARE(rows(table), QStringList{"2:B:1"});
    // Ctrl+F3 now switches off the filter the user sees.
    QVERIFY(m_ws->actions().execute(ActionId::FilterPrice));
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(m_ws->actions().find(ActionId::FilterPrice)->caption, QStringLiteral("Применить фильтр"));
}

QTEST_GUILESS_MAIN(TestPriceLoader)
#include "tst_priceloader.moc"
