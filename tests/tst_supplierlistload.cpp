#include <QtTest>

#include <xlsxwriter.h>

#include "actionid.h"
#include "cp1251.h"
#include "orderfile.h"
#include "orderfixture.h"
#include "ordixerror.h"
#include "pricecompare.h"
#include "supplierlist.h"

namespace
{
    enum
    {
        FAvail = 0,
        FCode,
        FName,
        FCatalog,
        FProducer,
        FPack,
        FPrice,
        FGroup
    };

    void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // A supplier's CSV list in Windows-1251: title rows, a group row, part
    // numbers and no codes, prices written "1 234,50".
    QByteArray supplierCsv(const QString &header, const QStringList &items)
    {
        QString text = QStringLiteral("Прайс-лист ООО Юг\n\n") + header + QStringLiteral("\nТормоза;;;\n")
            + items.join(QLatin1Char('\n')) + QLatin1Char('\n');
        return Cp1251::encode(text);
    }

    // Part number → price of the loaded list, all its rows.
    QString prices(RecordTable &table)
    {
        QStringList parts;
        for (int r = 0; r < table.rowCount(); ++r)
            parts << table.stringAt(r, FCatalog) + QLatin1Char('=') + QString::number(table.floatAt(r, FPrice));
        parts.sort();
        return parts.join(QLatin1Char(' '));
    }
}

class TestSupplierListLoad : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void aSupplierWithoutCodesFromListToReprice();
    void aLargeListReadsAsOnOneCore_data();
    void aLargeListReadsAsOnOneCore();
    void badFilesLeaveTheListAlone_data();
    void badFilesLeaveTheListAlone();

private:
    std::unique_ptr<OrderSession> m_session;
    std::unique_ptr<QTemporaryDir> m_layouts;
};

void TestSupplierListLoad::init()
{
    m_layouts = std::make_unique<QTemporaryDir>();
    qputenv("ORDIX_LAYOUT_DIR", m_layouts->path().toLocal8Bit());
    m_session = std::make_unique<OrderSession>();
}

void TestSupplierListLoad::aSupplierWithoutCodesFromListToReprice()
{
    Workspace &ws = m_session->ws;
    ScriptedPrompts &prompts = m_session->prompts;
    const QString header = QStringLiteral("Артикул;Номенклатура;Бренд;Цена, руб.");
    writeBytes(QStringLiteral("yug.csv"),
               supplierCsv(header,
                           {QStringLiteral("2101-3501090;Колодки;ВАЗ;\"1 234,50\""),
                            QStringLiteral("0986452041;Фильтр;BOSCH;310,00"), QStringLiteral("SD-12;Свеча;NGK;75")}));

    // The first time: the guess is shown and confirmed under a name.
    prompts.queueLayoutAnswer([](PriceLayoutQuestion &q) {
        if (q.format != QLatin1String("csv") || !q.certain || q.layout.headerRow != 3)
            return false;
        q.layout.name = QStringLiteral("ООО Юг");
        return true;
    });
    QVERIFY(PriceLoader::loadFile(ws, QStringLiteral("yug.csv")));
    QCOMPARE(prices(ws.price()), QStringLiteral("0986452041=310 2101-3501090=1234.5 SD-12=75"));
    QCOMPARE(ws.price().stringAt(0, FGroup), QStringLiteral("Тормоза"));
    QVERIFY(QFile::exists(m_layouts->filePath(QStringLiteral("ООО Юг.json"))));

    // An order from it: its file keeps part numbers and makers, no code.
    QVERIFY(ws.price().locate(QStringLiteral("CatalogID"), QStringLiteral("SD-12")));
    prompts.queueQuantity(4);
    QVERIFY(ws.execute(ActionId::AddToOrder));
    QVERIFY(ws.price().locate(QStringLiteral("CatalogID"), QStringLiteral("0986452041")));
    prompts.queueQuantity(1);
    QVERIFY(ws.execute(ActionId::AddToOrder));
    prompts.queueFile(QStringLiteral("order.txt"));
    QVERIFY(ws.execute(ActionId::OrderFileSave));
    const QStringList lines = TextFile::readLines(QStringLiteral("order.txt"));
    QVERIFY2(lines.contains(QStringLiteral("|Свеча|SD-12|NGK|4")), qPrintable(lines.join(u'\n')));
    QVERIFY(lines.contains(QStringLiteral("|Фильтр|0986452041|BOSCH|1")));
    // The list closed (as a new one replaces it): the lines keep their makers.
    QVERIFY(ws.execute(ActionId::PriceClose));
    QVERIFY(ws.execute(ActionId::OrderFileSave));
    const auto orderLines = [](const QStringList &file) { return file.mid(file.indexOf(QStringLiteral("ЗАКАЗ:"))); };
    QCOMPARE(orderLines(TextFile::readLines(QStringLiteral("order.txt"))), orderLines(lines));
    QVERIFY(ws.execute(ActionId::OrderClose));

    // The next edition: a column moved in, new prices. The layout follows
    // the header by name and says what changed; the one after opens with
    // no question at all.
    const QString moved = QStringLiteral("Бренд;Артикул;Номенклатура;Цена, руб.");
    writeBytes(QStringLiteral("yug2.csv"),
               supplierCsv(moved,
                           {QStringLiteral("ВАЗ;2101-3501090;Колодки;1 300,00"),
                            QStringLiteral("BOSCH;0986452041;Фильтр;320,00"), QStringLiteral("NGK;SD-12;Свеча;80")}));
    QStringList changes;
    prompts.queueLayoutAnswer([&changes](PriceLayoutQuestion &q) {
        changes = q.changes;
        return q.fromSaved && q.layout.isComplete();
    });
    QVERIFY(PriceLoader::loadFile(ws, QStringLiteral("yug2.csv")));
    QVERIFY2(changes.contains(QStringLiteral("Артикул: был столбец A, теперь B")), qPrintable(changes.join(u';')));
    QVERIFY(PriceLoader::loadFile(ws, QStringLiteral("yug2.csv")));
    QCOMPARE(prompts.texts(QStringLiteral("layout")).size(), 2);
    // Compared with the edition it replaced, read by the same layout.
    prompts.queueAnswer(UserPrompts::Answer::Yes);
    QVERIFY(ws.execute(ActionId::ComparePrices));
    QCOMPARE(ws.oldPriceFileName(), QStringLiteral("yug.csv"));
    QVERIFY(ws.price().locate(QStringLiteral("CatalogID"), QStringLiteral("SD-12")));
    QCOMPARE(ws.price().asFloat(ws.price().fieldByName(QStringLiteral("OldPrice"))), 75.0);

    // The order re-prices against it line for line by part number.
    prompts.queueFile(QStringLiteral("order.txt"));
    QVERIFY(ws.execute(ActionId::OrderFileOpen));
    prompts.queueAnswer(UserPrompts::Answer::Yes);
    QVERIFY(ws.execute(ActionId::CoordinateOrder));
    RecordTable &order = ws.order();
    QStringList priced;
    for (int r = 0; r < order.rowCount(); ++r)
        priced << order.stringAt(r, OrderTable::CatalogID) + QLatin1Char('=')
                + QString::number(order.floatAt(r, OrderTable::Price));
    priced.sort();
    QCOMPARE(priced.join(u' '), QStringLiteral("0986452041=320 SD-12=80"));

    // Prices a hundred times higher: asked before the list is replaced.
    writeBytes(QStringLiteral("yug3.csv"),
               supplierCsv(moved,
                           {QStringLiteral("ВАЗ;2101-3501090;Колодки;130000"),
                            QStringLiteral("BOSCH;0986452041;Фильтр;32000"), QStringLiteral("NGK;SD-12;Свеча;8000")}));
    prompts.queueAnswer(UserPrompts::Answer::No);
    QVERIFY(!PriceLoader::loadFile(ws, QStringLiteral("yug3.csv")));
    QVERIFY(prompts.questions().last().startsWith(
        QStringLiteral("Цены изменились в 100 раз: проверьте разделитель дробной части")));
    QCOMPARE(prices(ws.price()), QStringLiteral("0986452041=320 2101-3501090=1300 SD-12=80"));
}

void TestSupplierListLoad::aLargeListReadsAsOnOneCore_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("groupColumn");
    QTest::newRow("text, group column: items made on both cores") << QStringLiteral("big.csv") << true;
    QTest::newRow("text, no group column: items made in order") << QStringLiteral("big.csv") << false;
    QTest::newRow("workbook, group column: items made as read") << QStringLiteral("big.xlsx") << true;
    QTest::newRow("workbook, no group column: items made in order") << QStringLiteral("big.xlsx") << false;
}

void TestSupplierListLoad::aLargeListReadsAsOnOneCore()
{
    // Several blocks of UTF-8 text or a workbook with codes: a fresh load
    // makes the rows as they are read when each carries its group; a load
    // over a loaded list makes them in order. Names over two lines, rows of
    // no item.
    QFETCH(QString, file);
    QFETCH(bool, groupColumn);
    QList<QByteArrayList> cells{{"Прайс"}, {"Код", "Наименование", "Кратность", "Цена"}};
    if (groupColumn)
        cells.back() << "Группа";
    for (int i = 1; i <= 40000; ++i) {
        const QByteArray name =
            i % 7 == 0 ? QByteArray("Болт М" + QByteArray::number(i) + "\nоцинкованный") : QByteArray("Гайка");
        const QByteArray price = i % 1000 == 0 ? QByteArray("по запросу") : QByteArray::number(i) + ".5";
        cells.append({QByteArray::number(i), name, QByteArray::number(i % 10), price});
        if (groupColumn)
            cells.back() << "Крепёж";
    }
    if (file.endsWith(QLatin1String(".csv"))) {
        QByteArray text;
        for (QByteArrayList row : cells) {
            for (QByteArray &cell : row) {
                if (cell.contains('\n'))
                    cell = '"' + cell.replace("\n", "\r\n") + '"';
                else if (cell.endsWith(".5"))
                    cell.replace('.', ',');
            }
            text += row.join(';') + "\r\n";
        }
        writeBytes(file, text);
    } else {
        // Numbers as numbers, the rest as strings, as Excel writes them.
        lxw_workbook *book = workbook_new(QFile::encodeName(file).constData());
        lxw_worksheet *sheet = workbook_add_worksheet(book, "Прайс");
        for (int r = 0; r < cells.size(); ++r) {
            for (int c = 0; c < cells[r].size(); ++c) {
                bool number = false;
                const double value = cells[r][c].toDouble(&number);
                if (number)
                    worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), value, nullptr);
                else
                    worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), cells[r][c].constData(), nullptr);
            }
        }
        QCOMPARE(workbook_close(book), LXW_NO_ERROR);
    }
    const auto rows = [](RecordTable &table) {
        QStringList all;
        for (int r = 0; r < table.rowCount(); ++r) {
            for (int f = FAvail; f <= FGroup; ++f)
                all << table.stringAt(r, f);
        }
        return all;
    };
    m_session->prompts.queueLayoutAnswer([](PriceLayoutQuestion &q) {
        q.layout.name = QStringLiteral("big");
        return true;
    });
    // The grid is shown the first rows before the rest are read.
    QList<int> shown;
    RecordTable &price = m_session->ws.price();
    const int listener = price.onViewChanged([&] {
        if (price.isActive() && price.rowCount() > 0)
            shown << price.rowCount();
    });
    QVERIFY(PriceLoader::loadFile(m_session->ws, file));
    price.removeListener(listener);
    QVERIFY(!shown.isEmpty());
    QVERIFY2(shown.first() < 40000 - 40, qPrintable(QString::number(shown.first())));
    const QStringList fresh = rows(m_session->ws.price());
    QCOMPARE(m_session->ws.price().rowCount(), 40000 - 40);
    QVERIFY(fresh.contains(QStringLiteral("Болт М7\nоцинкованный")));
    QVERIFY(fresh.contains(QStringLiteral("Крепёж")) == groupColumn);
    QVERIFY(PriceLoader::loadFile(m_session->ws, file));
    QCOMPARE(rows(m_session->ws.price()), fresh);
}

void TestSupplierListLoad::badFilesLeaveTheListAlone_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("an HTML page named .xls")
        << QByteArray("<html><body><table><tr><td>1</td></tr></table></body></html>") << QStringLiteral("HTML");
    QTest::newRow("a zip that is no workbook")
        << QByteArray("PK\x03\x04rest of a zip", 18) << QStringLiteral("не книга Excel");
    QTest::newRow("no row that reads") << Cp1251::encode(
        QStringLiteral("Артикул;Наименование;Цена\nA-1;Болт;по запросу\n"))
                                       << QStringLiteral("нет ни одной строки");
}

void TestSupplierListLoad::badFilesLeaveTheListAlone()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    m_session->loadPrice();
    writeBytes(QStringLiteral("bad.xls"), bytes);
    m_session->prompts.queueLayoutAnswer([](PriceLayoutQuestion &q) {
        q.layout.name = QStringLiteral("x");
        return true;
    });
    try {
        PriceLoader::loadFile(m_session->ws, QStringLiteral("bad.xls"));
        QFAIL("loaded");
    } catch (const OrdixError &error) {
        QVERIFY2(error.message().contains(message), qPrintable(error.message()));
    }
    QCOMPARE(m_session->ws.price().rowCount(), 3);
    QCOMPARE(m_session->ws.priceFileName(), QStringLiteral("prices.txt"));
}

QTEST_GUILESS_MAIN(TestSupplierListLoad)
#include "tst_supplierlistload.moc"
