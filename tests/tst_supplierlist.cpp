#include <QtTest>

#include "cp1251.h"
#include "cp1251cells.h"
#include "importcells.h"
#include "importfixture.h"
#include "layoutguess.h"
#include "layoutstore.h"
#include "supplierlist.h"

namespace
{
    // "code=A name=B price=D": the fields a layout reads, by column letter.
    QString mapping(const ImportLayout &layout)
    {
        QStringList parts;
        for (int f = 0; f < ImportFields::count; ++f) {
            if (layout.columns[size_t(f)] >= 0)
                parts << ImportFields::key(ImportField(f)) + QLatin1Char('=')
                        + ImportLayout::columnLetter(layout.columns[size_t(f)]);
        }
        return parts.join(QLatin1Char(' '));
    }

    SupplierList memoryList(const QString &text)
    {
        return SupplierList(QStringLiteral("list.xlsx"), ListFormat::Xlsx, std::make_unique<MemorySheetReader>(text));
    }
}

class TestSupplierList : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void guess_data();
    void guess();
    void rows_data();
    void rows();
    void textListReadsAsInUtf16_data();
    void textListReadsAsInUtf16();
    void savedLayoutFollowsItsHeader_data();
    void savedLayoutFollowsItsHeader();
    void storeRecognisesTheList();
};

void TestSupplierList::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("expected"); // "-": no number

    QTest::newRow("blank groups, comma") << "1 234,50"
                                         << ""
                                         << "1234.5";
    QTest::newRow("blank groups, point") << "1 234.50"
                                         << ""
                                         << "1234.5";
    QTest::newRow("no-break blank") << QStringLiteral("4\u00a0709") << ""
                                    << "4709";
    QTest::newRow("rouble sign") << QStringLiteral("1234,5 ₽") << ""
                                 << "1234.5";
    QTest::newRow("roubles in words") << QStringLiteral("1 234,50 р.") << ""
                                      << "1234.5";
    QTest::newRow("comma groups, point decimal") << "1,234.50"
                                                 << ""
                                                 << "1234.5";
    QTest::newRow("point groups, comma decimal") << "1.234,50"
                                                 << ""
                                                 << "1234.5";
    QTest::newRow("negative euro") << QStringLiteral("-9,13 €") << ""
                                   << "-9.13";
    QTest::newRow("column says comma groups") << "1,234"
                                              << "."
                                              << "1234";
    QTest::newRow("column says comma is decimal") << "1,234"
                                                  << ","
                                                  << "1.234";
    QTest::newRow("group of two digits") << "1 23,5"
                                         << ""
                                         << "-";
    QTest::newRow("two decimal marks") << "1,2,3.4.5"
                                       << ""
                                       << "-";
    QTest::newRow("words only") << QStringLiteral("по запросу") << ""
                                << "-";
    QTest::newRow("text after the number") << "12.5abc7"
                                           << ""
                                           << "-";
    // The plain forms the import reads straight from the bytes, and their
    // edges.
    QTest::newRow("code with blanks and zeros") << " 0042 "
                                                << ""
                                                << "42";
    QTest::newRow("negative, comma column") << "-0,50"
                                            << ","
                                            << "-0.5";
    QTest::newRow("point in a comma column") << "1.5"
                                             << ","
                                             << "-";
    QTest::newRow("mark at the end") << "12,"
                                     << ""
                                     << "12";
    QTest::newRow("mark first") << ",5"
                                << ""
                                << "-";
    QTest::newRow("sixteen digits") << "1234567890123456"
                                    << ""
                                    << "1.23456789012e+15";
    QTest::newRow("twelve decimals") << "0.123456789012"
                                     << ""
                                     << "0.123456789012";
    QTest::newRow("spoilt code") << "2,19E+26"
                                 << ""
                                 << "-";
}

void TestSupplierList::numbers()
{
    QFETCH(QString, text);
    QFETCH(QString, mark);
    QFETCH(QString, expected);
    double value = 0;
    const bool ok = ImportCells::parseNumber(text, mark.isEmpty() ? QChar() : mark.at(0), &value);
    QCOMPARE(ok ? QString::number(value, 'g', 12) : QStringLiteral("-"), expected);

    // The same answers from the text's Windows-1251 bytes, where it has
    // them.
    bool encodable = false;
    const QByteArray bytes = Cp1251::encode(text, &encodable);
    if (!encodable)
        return;
    double fromBytes = 0;
    QCOMPARE(Cp1251Cells::number(bytes, mark.isEmpty() ? QChar() : mark.at(0), &fromBytes), ok);
    if (ok)
        QCOMPARE(fromBytes, value);
    SheetCell cell;
    cell.kind = SheetCell::Kind::Text;
    cell.text = text;
    qint32 whole = 0, wholeFromBytes = 0;
    QCOMPARE(Cp1251Cells::wholeNumber(bytes, &wholeFromBytes), ImportCells::wholeNumber(cell, &whole));
    QCOMPARE(wholeFromBytes, whole);
    QCOMPARE(Cp1251Cells::isDamagedCode(bytes), ImportCells::isDamagedCode(cell));
}

void TestSupplierList::guess_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("headerRow");
    QTest::addColumn<QString>("mapping");
    QTest::addColumn<bool>("certain");

    QTest::newRow("Russian header under title rows") << QStringLiteral(
        "Прайс-лист ООО Ромашка\nна 01.12.2026\n\nАртикул|Номенклатура|Производитель|Цена, руб.|Кратность|Аналоги\n"
        "2101-5791922|Болт|ВАЗ|12,50|10|2101-1,2101-2\nSD-12|Свеча|Bosch|#150.2|#1|")
                                                     << 4 << "name=B partNumber=A maker=C pack=E price=D analogues=F"
                                                     << true;
    QTest::newRow("English header, code column")
        << QStringLiteral("Code|Description|Brand|Unit price|Stock\n#42|Bolt M8|Bosch|#12.5|#3\n#43|Nut|Bosch|#3.2|#0")
        << 1 << "code=A name=B maker=C price=D stock=E" << true;
    QTest::newRow("a code column of texts holds part numbers; whole numbers under a header are no codes")
        << QStringLiteral(
               "Код|Наименование|Закупка|Цена\nA-1|Товар 1|#10|#15\nA-2|Товар 2|#20|#30\nA-3|Товар 3|#30|#45")
        << 1 << "name=B partNumber=A price=D" << true;
    QTest::newRow("two price columns: the rightmost")
        << QStringLiteral("Код|Наименование|Цена розница|Цена опт\n#1|Болт|#10.5|#9.5\n#2|Гайка|#3.5|#3.1") << 1
        << "code=A name=B price=D" << true;
    QTest::newRow("no header: by the values") << QStringLiteral(
        "#1001|Колодки тормозные передние|BOSCH|#1234.56\n#1002|Фильтр масляный двигателя|MANN|#345.1\n"
        "#1003|Свеча зажигания иридиевая|BOSCH|#560.25\n#1004|Ремень генератора поликлиновой|MANN|#720.4\n"
        "#1005|Амортизатор задний газовый|BOSCH|#2890.99")
                                              << 0 << "code=A name=B maker=C price=D" << false;
    QTest::newRow("header without a price: not certain")
        << QStringLiteral("Артикул|Наименование|Сумма\nAB-1|Болт|1 200,50\nAB-2|Гайка|300,25\nAB-3|Шайба|15,75") << 1
        << "name=B partNumber=A price=C" << false;
}

void TestSupplierList::guess()
{
    QFETCH(QString, sheet);
    QFETCH(int, headerRow);
    QFETCH(QString, mapping);
    QFETCH(bool, certain);
    bool sure = !certain;
    QStringList why;
    const ImportLayout layout = LayoutGuess::guess(sheetRows(sheet), &why, &sure);
    QCOMPARE(layout.headerRow, headerRow);
    QCOMPARE(::mapping(layout), mapping);
    QCOMPARE(sure, certain);
    // Every column that got a field says why.
    for (int c = 0; c < layout.columnCount; ++c)
        QVERIFY(layout.fieldOfColumn(c) == ImportField::None || !why.value(c).isEmpty());
}

void TestSupplierList::rows_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QStringList>("items"); // availability|code|name|part|maker|pack|price|group|analogues
    QTest::addColumn<QString>("counts");

    QTest::newRow("groups, totals, a repeated header and bad rows")
        << QStringLiteral(
               "Прайс\nКод|Наименование|Цена|Наличие\nТормоза\n#1|Колодки|1 234,50|есть\n\n#2|Диск|#900|нет\n"
               "Код|Наименование|Цена|Наличие\nФильтры\n#3|Фильтр|по запросу|\n#4|Фильтр масляный|#310.5|#12\n"
               "x5|Без кода|#1|\nИтого|||#2445")
        << QStringList{"1|1|Колодки||||1234.5|Тормоза|", "0|2|Диск||||900|Тормоза|",
                       "1|4|Фильтр масляный||||310.5|Фильтры|"}
        << "title=1 header=1 item=3 group=2 repeated-header=1 total=1 unreadable=2";
    QTest::newRow("part numbers keep their zeros, spoilt codes are counted")
        << QStringLiteral("Артикул|Наименование|Бренд|Цена|Группа\n#123@000000|Болт|ВАЗ|#10|Крепёж\n"
                          "#2.19e+26|Гайка|ВАЗ|#2|Крепёж\n0042|Шайба|ВАЗ|#1|Крепёж")
        << QStringList{"1||Болт|000123|ВАЗ||10|Крепёж|", "1||Гайка|2.19E+26|ВАЗ||2|Крепёж|",
                       "1||Шайба|0042|ВАЗ||1|Крепёж|"}
        << "header=1 item=3 damaged=1";
}

void TestSupplierList::rows()
{
    QFETCH(QString, sheet);
    QFETCH(QStringList, items);
    QFETCH(QString, counts);
    SupplierList list = memoryList(sheet);
    const ImportLayout layout = list.guess();
    QStringList read;
    const SupplierList::Result result = list.read(layout, [&read](const QByteArrayView *values) {
        QStringList fields;
        for (int v = 0; v < 9; ++v)
            fields << Cp1251::decode(values[v]);
        read << fields.join(QLatin1Char('|'));
        return true;
    });
    QCOMPARE(read, items);
    QStringList seen;
    for (int k = 0; k < RowClasses::count; ++k) {
        if (result.counts[size_t(k)] > 0)
            seen << RowClasses::key(RowClass(k)) + QLatin1Char('=') + QString::number(result.counts[size_t(k)]);
    }
    if (result.damagedCodes > 0)
        seen << QStringLiteral("damaged=%1").arg(result.damagedCodes);
    QCOMPARE(seen.join(QLatin1Char(' ')), counts);
}

void TestSupplierList::textListReadsAsInUtf16_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("numbers, codes, stock, totals, groups, quotes")
        << QStringLiteral("Прайс\nКод;Наименование;Артикул;Цена;Наличие;Группа\n1;Колодки;A-1;1 234,50;есть;Тормоза\n"
                          " 0012 ;Диск;  B2 ;12,50;нет;\n1234567890;Болт;C3;7;0;\n5;Гайка;2,19E+26;-3;2;Крепёж\n"
                          "6;Шайба №5 — Ø8 😀;D4;0,50;>10;\n7;Фильтр;E5;4\u00a0709;;\n8;Ремень;F6;1.234;много;\n"
                          "кОд;НАИМЕНОВАНИЕ;артикул;цена;;\nИТОГО;;;100;;\nФильтры\n"
                          "9;\"Свеча \"\"NGK\"\"\r\nиридиевая\"x;G7;007,25;1;\n10; ;H8;5;;\n11;Щётка;;12.5;;");
    // Over a megabyte: records on both sides of where the reader cuts its
    // blocks, names over two lines and characters the code page lacks
    // among them.
    QString large = QStringLiteral("Код;Наименование;Артикул;Цена;Группа\n");
    for (int i = 1; i < 24000; ++i) {
        const QString name = i % 7 == 0 ? QStringLiteral("\"Болт М%1\r\nоцинкованный\"").arg(i)
            : i % 11 == 0               ? QStringLiteral("Шайба ⌀%1").arg(i)
                                        : QStringLiteral("Гайка колёсная №%1").arg(i);
        large += QStringLiteral("%1;%2;AB-%1;%1,50;Крепёж\n").arg(i).arg(name);
    }
    QTest::newRow("records across the reader's blocks") << large;
    const QString rouble = QStringLiteral("Цена ₽");
    QTest::newRow("a header windows-1251 cannot write")
        << QStringLiteral("Код;Наименование;%1\n1;Болт;5\nкод;наименование;цена Р\nкод;наименование;%1\n").arg(rouble);
}

void TestSupplierList::textListReadsAsInUtf16()
{
    // A UTF-8 list is read from its bytes straight into Windows-1251; the
    // same list in UTF-16 goes through Unicode text. Both give the same.
    QFETCH(QString, text);
    QTemporaryDir dir;
    const auto read = [&dir](const QByteArray &bytes) {
        const QString path = dir.filePath(QString::number(bytes.size()) + QStringLiteral(".csv"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return QStringList();
        file.close();
        SupplierList list(path);
        QStringList items;
        const SupplierList::Result result = list.read(list.guess(), [&items](const QByteArrayView *values) {
            QStringList fields;
            for (int v = 0; v < 9; ++v)
                fields << Cp1251::decode(values[v]);
            items << fields.join(QLatin1Char('|'));
            return true;
        });
        for (const qint64 count : result.counts)
            items << QString::number(count);
        return items << QString::number(result.damagedCodes);
    };
    const QStringList utf8 = read(text.toUtf8());
    QVERIFY(utf8.size() > RowClasses::count + 1);
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QCOMPARE(read(utf16), utf8);
    QCOMPARE(read("\xEF\xBB\xBF" + text.toUtf8()), utf8);
}

void TestSupplierList::savedLayoutFollowsItsHeader_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QString>("mapping");
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<bool>("complete");

    QTest::newRow("same header") << QStringList{"Код", "Наименование", "Цена, руб."} << "code=A name=B price=C"
                                 << QStringList() << true;
    QTest::newRow("a column inserted before the price")
        << QStringList{"Код", "Наименование", "Бренд", "Цена, руб."} << "code=A name=B price=D"
        << QStringList{QStringLiteral("Цена: был столбец C, теперь D"), QStringLiteral("новый столбец C «Бренд»")}
        << true;
    QTest::newRow("the price renamed in place")
        << QStringList{"Код", "Наименование", "Цена опт"} << "code=A name=B price=C"
        << QStringList{QStringLiteral("Цена: столбец C теперь называется «Цена опт»")} << true;
    QTest::newRow("the price column gone") << QStringList{"Код", "Наименование", "Остаток"} << "code=A name=B"
                                           << QStringList{QStringLiteral("Цена: столбца «Цена, руб.» больше нет"),
                                                          QStringLiteral("новый столбец C «Остаток»")}
                                           << false;
}

void TestSupplierList::savedLayoutFollowsItsHeader()
{
    QFETCH(QStringList, header);
    QFETCH(QString, mapping);
    QFETCH(QStringList, changes);
    QFETCH(bool, complete);
    ImportLayout layout;
    layout.header = QStringList{"Код", "Наименование", "Цена, руб."};
    layout.columnCount = 3;
    layout.setColumn(ImportField::Code, 0);
    layout.setColumn(ImportField::Name, 1);
    layout.setColumn(ImportField::Price, 2);
    QStringList seen;
    QCOMPARE(LayoutGuess::applyByHeader(layout, header, &seen), complete);
    QCOMPARE(::mapping(layout), mapping);
    QCOMPARE(seen, changes);
}

void TestSupplierList::storeRecognisesTheList()
{
    QTemporaryDir dir;
    const LayoutStore store(dir.path());
    const QString sheet = QStringLiteral("Поставщик\nАртикул|Наименование|Цена\nA-1|Болт|#10\nA-2|Гайка|#2");
    SupplierList list = memoryList(sheet);
    QVERIFY(!list.findSaved(store));
    ImportLayout layout = list.guess();
    layout.name = QStringLiteral("Автодеталь: Юг");
    layout.decimalMark = QLatin1Char(',');
    const QString path = store.save(layout);
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("Автодеталь- Юг.json"));
    // Read back as written, and recognised by its header with no question.
    const ImportLayout loaded = LayoutStore::load(path);
    QCOMPARE(loaded.toJson(), layout.toJson());
    std::optional<LayoutStore::Match> match = list.findSaved(store);
    QVERIFY(match && match->exact);
    QCOMPARE(match->layout.name, layout.name);

    // The next list has a new column: recognised by the header names, with
    // the change said, never silently.
    SupplierList next = memoryList(QStringLiteral("Поставщик\nАртикул|Бренд|Наименование|Цена\nA-1|X|Болт|#11\n"));
    match = next.findSaved(store);
    QVERIFY(match && !match->exact && match->complete);
    QCOMPARE(::mapping(match->layout), QStringLiteral("name=C partNumber=A price=D"));
    QCOMPARE(match->changes.first(), QStringLiteral("Наименование: был столбец B, теперь C"));

    // A file that is no layout is named, and the others still read.
    QFile junk(dir.filePath(QStringLiteral("junk.json")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("{\"kind\": \"something else\"}");
    junk.close();
    QStringList problems;
    QCOMPARE(store.layouts(&problems).size(), 1);
    QCOMPARE(problems.size(), 1);
}

QTEST_GUILESS_MAIN(TestSupplierList)
#include "tst_supplierlist.moc"
