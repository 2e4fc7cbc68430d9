#include <QtTest>

#include <QRandomGenerator>
#include <QtEndian>

#include "compoundfile.h"
#include "ordixerror.h"
#include "xlsreader.h"

// The workbooks under tests/data/xls are written by LibreOffice from
// make-files.py there; the expected contents below follow that script.
namespace
{
    QString dataPath(const QString &name)
    {
        return QStringLiteral(ORDIX_XLS_DATA "/") + name;
    }

    QByteArray fileBytes(const QString &name)
    {
        QFile file(dataPath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(file.fileName()));
        return file.readAll();
    }

    QList<SheetRow> readRows(SheetReader &reader, int sheet)
    {
        QList<SheetRow> rows;
        reader.readSheet(sheet, [&](const SheetRow &row) {
            rows.append(row);
            return true;
        });
        return rows;
    }

    QStringList rowTexts(SheetReader &reader)
    {
        QStringList texts;
        for (const SheetRow &row : readRows(reader, 0)) {
            for (const SheetCell &cell : row.cells)
                texts.append(QString::number(row.index) + cell.text);
        }
        return texts;
    }

    // A compound file of sectors of 1 << shift bytes with `workbook` as its
    // one stream, after `padding` unused sectors; enough of them make the
    // sector table outgrow the header's list of its sectors.
    QByteArray compoundFile(const QByteArray &workbook, int shift, int padding)
    {
        const int size = 1 << shift;
        const int per = size / 4;
        const int data = int((workbook.size() + size - 1) / size);
        int fat = 0;
        int difat = 0;
        for (int total = 0; total != padding + data + 1 + fat + difat;) {
            total = padding + data + 1 + fat + difat;
            fat = (total + per - 1) / per;
            difat = fat > 109 ? (fat - 109 + per - 2) / (per - 1) : 0;
        }
        const int directory = padding + data;
        const int fat0 = directory + 1;
        const int difat0 = fat0 + fat;
        QList<quint32> table(qsizetype(fat) * per, 0xFFFFFFFF);
        for (int i = 0; i < data; ++i)
            table[padding + i] = i + 1 < data ? padding + i + 1 : 0xFFFFFFFE;
        table[directory] = 0xFFFFFFFE;
        std::fill_n(table.begin() + fat0, fat, 0xFFFFFFFD);
        std::fill_n(table.begin() + difat0, difat, 0xFFFFFFFC);

        QByteArray out(qsizetype(difat0 + difat + 1) * size, '\0');
        const auto put = [&](qsizetype at, quint32 value) { qToLittleEndian<quint32>(value, out.data() + at); };
        const auto sector = [&](int s) { return qsizetype(s + 1) * size; };
        out.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
        put(24, (shift == 12 ? 4 : 3) << 16 | 0x3E);
        put(28, shift << 16 | 0xFFFE);
        put(32, 6);
        put(44, fat);
        put(48, directory);
        put(56, 4096);
        put(60, 0xFFFFFFFE);
        put(68, difat ? difat0 : 0xFFFFFFFE);
        put(72, difat);
        for (int i = 0; i < 109 + difat * (per - 1); ++i) {
            const int d = (i - 109) / (per - 1);
            put(i < 109 ? 76 + 4 * i : sector(difat0 + d) + 4 * ((i - 109) % (per - 1)),
                i < fat ? fat0 + i : 0xFFFFFFFF);
        }
        for (int d = 0; d < difat; ++d)
            put(sector(difat0 + d) + 4 * (per - 1), d + 1 < difat ? difat0 + d + 1 : 0xFFFFFFFE);
        for (int i = 0; i < table.size(); ++i)
            put(sector(fat0 + i / per) + 4 * (i % per), table[i]);
        out.replace(sector(padding), workbook.size(), workbook);

        // The root and, as its only child, the stream.
        const QString names[] = {QStringLiteral("Root Entry"), QStringLiteral("Workbook")};
        for (int e = 0; e < 2; ++e) {
            const qsizetype at = sector(directory) + 128 * e;
            for (int c = 0; c < names[e].size(); ++c)
                qToLittleEndian<quint16>(names[e].at(c).unicode(), out.data() + at + 2 * c);
            qToLittleEndian<quint16>(quint16(2 * names[e].size() + 2), out.data() + at + 64);
            out[at + 66] = char(e == 0 ? 5 : 2);
            put(at + 68, 0xFFFFFFFF);
            put(at + 72, 0xFFFFFFFF);
            put(at + 76, e == 0 ? 1 : 0xFFFFFFFF);
            put(at + 116, e == 0 ? 0xFFFFFFFE : padding);
            put(at + 120, e == 0 ? 0 : quint32(workbook.size()));
        }
        return out;
    }

    QByteArray stringsWorkbook()
    {
        return CompoundFile(fileBytes(QStringLiteral("strings.xls")), QStringLiteral("strings.xls"))
            .readStream(QStringLiteral("Workbook"));
    }

    // Opens the bytes and reads every sheet; the error's text, or empty.
    QString errorOf(const QByteArray &bytes)
    {
        try {
            XlsReader reader(bytes, QStringLiteral("price.xls"));
            for (int s = 0; s < reader.sheets().size(); ++s)
                readRows(reader, s);
        } catch (const OrdixError &e) {
            return e.message();
        }
        return {};
    }

    // Every link of the sector table that leads on to another sector is
    // given to `change` (which may rewrite it); the table's sectors are
    // those the header lists.
    template<typename Change>
    void rewriteFat(QByteArray &bytes, Change change)
    {
        const quint32 fatSectors = qFromLittleEndian<quint32>(bytes.constData() + 44);
        for (quint32 i = 0; i < fatSectors && i < 109; ++i) {
            const quint32 sector = qFromLittleEndian<quint32>(bytes.constData() + 76 + 4 * i);
            for (int k = 0; k < 128; ++k) {
                char *p = bytes.data() + (sector + 1) * 512 + 4 * k;
                const quint32 next = qFromLittleEndian<quint32>(p);
                if (next < 0xFFFFFFFA)
                    qToLittleEndian<quint32>(change(quint32(sector * 128 + k), next), p);
            }
        }
    }
}

class TestXlsReader final : public QObject
{
    Q_OBJECT

private slots:
    void cells_data();
    void cells();
    void sharedStringsAcrossRecords();
    void layout();
    void containers_data();
    void containers();
    void packedNumbers_data();
    void packedNumbers();
    void refused_data();
    void refused();
    void damaged_data();
    void damaged();
};

void TestXlsReader::cells_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<SheetCell::Kind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");
    QTest::addColumn<QString>("format");

    using K = SheetCell::Kind;
    const QString n = QStringLiteral("numbers.xls");
    QTest::newRow("header text") << n << 0 << 1 << K::Text << "Наименование" << 0.0 << "";
    QTest::newRow("code kept by format 000000") << n << 1 << 0 << K::Number << "" << 42.0 << "000000";
    QTest::newRow("price with thousands") << n << 1 << 2 << K::Number << "" << 1234.5 << "#,##0.00";
    QTest::newRow("formula number result") << n << 1 << 4 << K::Number << "" << 3703.5 << "0.00";
    QTest::newRow("date") << n << 1 << 5 << K::Number << "" << 45366.0 << "dd\\.mm\\.yyyy";
    QTest::newRow("true constant") << n << 1 << 6 << K::Bool << "" << 1.0 << "";
    QTest::newRow("integer") << n << 2 << 0 << K::Number << "" << 5.0 << "General";
    QTest::newRow("negative integer") << n << 2 << 1 << K::Number << "" << -7.0 << "General";
    QTest::newRow("hundredths") << n << 2 << 2 << K::Number << "" << 12.34 << "General";
    QTest::newRow("largest packed integer") << n << 2 << 4 << K::Number << "" << 536870911.0 << "General";
    QTest::newRow("full double") << n << 2 << 5 << K::Number << "" << 3.14159265358979 << "General";
    QTest::newRow("large number") << n << 2 << 6 << K::Number << "" << 1e15 << "General";
    QTest::newRow("formula text result") << n << 3 << 0 << K::Text << "Болт М8 шт" << 0.0 << "";
    QTest::newRow("formula truth result") << n << 3 << 1 << K::Bool << "" << 1.0 << "";
    QTest::newRow("formula error result") << n << 3 << 2 << K::Error << "#DIV/0!" << 0.0 << "";
    QTest::newRow("formula empty text result") << n << 3 << 3 << K::Empty << "" << 0.0 << "";
    QTest::newRow("false constant") << n << 3 << 4 << K::Bool << "" << 0.0 << "";
    QTest::newRow("1904 date") << "dates1904.xls" << 0 << 0 << K::Number << "" << 43904.0 << "dd\\.mm\\.yyyy";
}

void TestXlsReader::cells()
{
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(int, column);

    XlsReader reader(dataPath(file));
    QCOMPARE(reader.formatName(), QStringLiteral("xls"));
    QCOMPARE(reader.uses1904Dates(), file == QStringLiteral("dates1904.xls"));
    const QList<SheetRow> rows = readRows(reader, 0);
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const SheetRow &r) { return r.index == row; });
    QVERIFY(found != rows.end());
    const SheetCell cell = column < found->cells.size() ? found->cells.at(column) : SheetCell();
    QTEST(cell.kind, "kind");
    QTEST(cell.text, "text");
    QTEST(cell.number, "number");
    QTEST(cell.numberFormat, "format");
}

void TestXlsReader::sharedStringsAcrossRecords()
{
    // More than one record of shared strings, one string longer than a
    // record by itself.
    XlsReader reader(dataPath(QStringLiteral("strings.xls")));
    const QList<SheetRow> rows = readRows(reader, 0);
    QCOMPARE(rows.size(), 80);
    const QString letters = QStringLiteral("ЖжЁё");
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].index, qint64(i));
        QCOMPARE(rows[i].cells.at(0).text,
                 QStringLiteral("Деталь №%1 ").arg(i) + QString(letters.at(i % 4)).repeated(i % 25));
        QCOMPARE(rows[i].cells.at(1).text, QStringLiteral("Part-%1-").arg(i) + QString(i % 30, QLatin1Char('x')));
    }
    QCOMPARE(rows[0].cells.at(2).text,
             QStringLiteral("Очень длинное описание: ")
                 + QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя").repeated(130));
    QCOMPARE(rows[1].cells.at(2).text, rows[7].cells.at(0).text);
}

void TestXlsReader::layout()
{
    XlsReader reader(dataPath(QStringLiteral("layout.xls")));
    const QList<SheetInfo> sheets = reader.sheets();
    QCOMPARE(sheets.size(), 3);
    QCOMPARE(sheets[1].name, QStringLiteral("Остатки"));
    QCOMPARE(sheets[2].name, QStringLiteral("Служебный"));
    QVERIFY(!sheets[0].hidden && !sheets[1].hidden && sheets[2].hidden);

    // The merged header holds one cell; the empty coloured row is not there.
    const QList<SheetRow> rows = readRows(reader, 0);
    QList<qint64> indexes;
    QList<qint64> hidden;
    for (const SheetRow &row : rows) {
        indexes.append(row.index);
        if (row.hidden)
            hidden.append(row.index);
    }
    QCOMPARE(indexes, (QList<qint64>{0, 2, 3, 4, 5, 6, 7, 10}));
    QCOMPARE(hidden, QList<qint64>{5});
    QCOMPARE(rows[0].cells.size(), 1);
    QCOMPARE(rows[0].cells[0].text, QStringLiteral("Прайс-лист ООО «Ромашка»"));
    QCOMPARE(rows[4].cells[2].number, 30.0);
    // Column F is hidden too, but empty.
    QCOMPARE(reader.hiddenColumns(), QList<int>{2});
    QCOMPARE(reader.notes(), (QStringList{QStringLiteral("Скрыто строк: 1"), QStringLiteral("Скрыты столбцы: C")}));

    const QList<SheetRow> stock = readRows(reader, 1);
    QCOMPARE(stock.size(), 2);
    QCOMPARE(stock[1].cells[1].number, 7.0);
    QVERIFY(reader.hiddenColumns().isEmpty());
    QVERIFY(reader.notes().isEmpty());

    int seen = 0;
    reader.readSheet(0, [&](const SheetRow &) { return ++seen < 2; });
    QCOMPARE(seen, 2);
}

void TestXlsReader::containers_data()
{
    QTest::addColumn<int>("shift");
    QTest::addColumn<int>("padding");

    QTest::newRow("512-byte sectors") << 9 << 3;
    QTest::newRow("4096-byte sectors") << 12 << 0;
    QTest::newRow("sector table listed past the header") << 9 << 14000;
}

void TestXlsReader::containers()
{
    QFETCH(int, shift);
    QFETCH(int, padding);
    XlsReader original(dataPath(QStringLiteral("strings.xls")));
    XlsReader rebuilt(compoundFile(stringsWorkbook(), shift, padding), QStringLiteral("strings.xls"));
    QCOMPARE(rowTexts(rebuilt), rowTexts(original));
}

void TestXlsReader::packedNumbers_data()
{
    QTest::addColumn<quint32>("packed");
    QTest::addColumn<double>("value");

    // The high half of a double, as is and divided by 100; an integer, as
    // is and divided by 100.
    QTest::newRow("double") << quint32(0x40040000) << 2.5;
    QTest::newRow("double hundredths") << quint32(0x40040001) << 0.025;
    QTest::newRow("integer") << quint32((-3 * 4) | 2) << -3.0;
    QTest::newRow("integer hundredths") << quint32((1234 * 4) | 3) << 12.34;
}

void TestXlsReader::packedNumbers()
{
    QFETCH(quint32, packed);

    // A2 (the code 42) is a packed number in a record of its own.
    QByteArray bytes = fileBytes(QStringLiteral("numbers.xls"));
    const qsizetype at = bytes.indexOf(QByteArray::fromHex("7e020a0001000000"));
    QVERIFY(at > 0);
    qToLittleEndian<quint32>(packed, bytes.data() + at + 10);
    XlsReader reader(bytes, QStringLiteral("numbers.xls"));
    QTEST(readRows(reader, 0).at(1).cells.at(0).number, "value");
}

void TestXlsReader::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QByteArray book = fileBytes(QStringLiteral("strings.xls"));
    const QByteArray utf16Name(reinterpret_cast<const char *>(u"Workbook"), 16);
    const qsizetype entry = book.indexOf(utf16Name);
    QVERIFY(entry > 0);
    book.replace(entry, 18, QByteArray(reinterpret_cast<const char *>(u"Book\0\0\0\0\0"), 18));
    qToLittleEndian<quint16>(10, book.data() + entry + 64);

    QTest::newRow("html page") << QByteArray("<html><body><table><tr><td>Код</td></tr></table></body></html>")
                               << "price.xls — не книга Excel, а страница HTML";
    QTest::newRow("html table after a byte-order mark")
        << QByteArray("\xEF\xBB\xBF\r\n<table><tr><td>1</td></tr></table>") << "а страница HTML";
    QTest::newRow("Excel 2003 XML") << QByteArray(
        "<?xml version=\"1.0\"?>\n<?mso-application progid=\"Excel.Sheet\"?>\n"
        "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">")
                                    << "а таблица XML 2003";
    QTest::newRow("xlsx named .xls") << QByteArray("PK\x03\x04\x14\0\0\0", 8) << "а архив ZIP";
    QTest::newRow("semicolon text") << QByteArray("Код;Наименование;Цена\r\n1;Болт;10\r\n") << "а текстовый файл";
    QTest::newRow("Excel 4.0 sheet") << QByteArray("\x09\x04\x06\0\0\0\x10\0", 8) << "Excel 2.x–4.0";
    QTest::newRow("empty file") << QByteArray() << "price.xls пуст";
    QTest::newRow("Excel 95 workbook") << book << "Формат Excel 5.0/95 не поддерживается";
    QTest::newRow("password") << fileBytes(QStringLiteral("encrypted.xls"))
                              << "Книга price.xls защищена паролем: откройте её в Excel и сохраните без пароля";
}

void TestXlsReader::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString error = errorOf(bytes);
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(describeNotAWorkbook(bytes, QStringLiteral("price.xls")).isEmpty(), bytes.startsWith("\xD0\xCF\x11\xE0"));
}

void TestXlsReader::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray good = fileBytes(QStringLiteral("strings.xls"));
    QVERIFY(errorOf(good).isEmpty());

    QTest::newRow("cut in half") << good.first(good.size() / 2);
    QTest::newRow("header only") << good.first(300);
    QByteArray loops = good;
    rewriteFat(loops, [](quint32 sector, quint32) { return sector; });
    QTest::newRow("every chain loops") << loops;
    QByteArray far = good;
    rewriteFat(far, [](quint32, quint32) { return 0x00FFFFF0u; });
    QTest::newRow("sector past the end") << far;
    QByteArray directory = good;
    qToLittleEndian<quint32>(0x7FFFFFF0, directory.data() + 48);
    QTest::newRow("directory past the end") << directory;
    QByteArray noise = good;
    QRandomGenerator random(20240315);
    for (qsizetype i = 512; i < noise.size(); ++i)
        noise[i] = char(random.bounded(256));
    QTest::newRow("noise after the header") << noise;
    // The list of the sector table's sectors claims more than it holds,
    // its last sector naming itself as the next.
    QByteArray list = compoundFile(stringsWorkbook(), 9, 14000);
    const quint32 difat = qFromLittleEndian<quint32>(list.constData() + 68);
    qToLittleEndian<quint32>(200, list.data() + 44);
    qToLittleEndian<quint32>(difat, list.data() + (difat + 1) * 512 + 508);
    QTest::newRow("sector list loops") << list;
}

void TestXlsReader::damaged()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!errorOf(bytes).isEmpty());
}

QTEST_GUILESS_MAIN(TestXlsReader)
#include "tst_xlsreader.moc"
