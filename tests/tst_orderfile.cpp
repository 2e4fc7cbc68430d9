#include <QtTest>

#include "actionid.h"
#include "actionlist.h"
#include "filesizelimit.h"
#include "inordermark.h"
#include "orderfile.h"
#include "orderreader.h"
#include "ordertable.h"
#include "orderwriter.h"
#include "priceloader.h"
#include "safefilename.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Item = OrderReader::Item;

    void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    QByteArray readBytes(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        return file.readAll();
    }

    // Order lines as "code|name|catalog|producer|count|price|sum".
    QStringList orderRows(const RecordTable &order)
    {
        QStringList rows;
        if (!order.isActive())
            return rows;
        for (int r = 0; r < order.rowCount(); ++r) {
            rows << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                        .arg(order.integerAt(r, OrderTable::Code))
                        .arg(order.stringAt(r, OrderTable::Name), order.stringAt(r, OrderTable::CatalogID),
                             order.stringAt(r, OrderTable::Producer))
                        .arg(order.integerAt(r, OrderTable::Count))
                        .arg(order.floatAt(r, OrderTable::Price))
                        .arg(order.floatAt(r, OrderTable::SUM));
        }
        return rows;
    }
}

Q_DECLARE_METATYPE(QList<OrderReader::Item>)

class TestOrderFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void safeFileName_data();
    void safeFileName();
    void proposedName_data();
    void proposedName();

    void reader_data();
    void reader();
    void readerOnLoneCarriageReturns();
    void readerQuantities_data();
    void readerQuantities();
    void openedFileCountsSkippedLines_data();
    void openedFileCountsSkippedLines();
    void readerOnGarbageEndsAndKeepsReadableLines();

    void writerFileForm();
    void writtenOrderReadsBackTheSame_data();
    void writtenOrderReadsBackTheSame();
    void writerExportForm();
    void separatorInAFieldDoesNotShiftTheLine();

    void saveAskForNameAndReopenGivesSameLines();
    void saveAsCancelledKeepsName();
    void failedReplaceKeepsOldFileAndChangedState();
    void unwritableTargetShowsErrorAndKeepsOrder();
    void readOnlyFileIsNotReplaced();
    void unreadableFileOpensNoOrder();
    void openedFileIsSavedAndTitled();

private:
    void loadPrice();
    void addPart(int code, int quantity);

    std::unique_ptr<TestSession> m_session;
    Workspace *m_ws = nullptr;
};

void TestOrderFile::init()
{
    m_session = std::make_unique<TestSession>(true);
    QVERIFY(m_session->dir.isValid());
    m_ws = &m_session->ws;
}

void TestOrderFile::cleanup()
{
    m_ws = nullptr;
    m_session.reset();
}

void TestOrderFile::loadPrice()
{
    writeBytes(
        QStringLiteral("prices.txt"),
        TextFile::encodeLines({"Код|Наименование|Артикул|Производитель|Цена|Статус", "12|Болт М8|OEM-12|Россия|10|1",
                               "42|Гайка М8|OEM-42|Китай|2.5|0", "7|Шайба||Тайвань|100|3"}));
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(m_ws->priceNotEmpty());
}

void TestOrderFile::addPart(int code, int quantity)
{
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
    m_session->prompts.queueQuantity(quantity);
    QVERIFY(m_ws->execute(ActionId::AddToOrder));
}

void TestOrderFile::safeFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("safe");
    QTest::newRow("slash") << "a/b"
                           << "a(b";
    QTest::newRow("backslash") << "a\\b"
                               << "a)b";
    QTest::newRow("colon") << "a:b"
                           << "a-b";
    QTest::newRow("asterisk") << "a*b"
                              << "a#b";
    QTest::newRow("question mark") << "a?b"
                                   << "a-b";
    QTest::newRow("double quote") << "\"ab\""
                                  << "''ab''";
    QTest::newRow("angle brackets") << "<a>"
                                    << "(a)";
    QTest::newRow("vertical bar") << "a|b"
                                  << "a!b";
    QTest::newRow("every occurrence") << "//::"
                                      << "((--";
    QTest::newRow("others unchanged") << "ООО «Ромашка» 1.2"
                                      << "ООО «Ромашка» 1.2";
}

void TestOrderFile::safeFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, safe);
    QCOMPARE(MakeSafeFileName(name), safe);
}

void TestOrderFile::proposedName_data()
{
    QTest::addColumn<QString>("customer");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain customer") << "ООО Ромашка" << QStringList() << "order ООО Ромашка 08.12.2026.txt";
    QTest::newRow("slash in the customer") << "Рога/Копыта" << QStringList() << "order Рога(Копыта 08.12.2026.txt";
    QTest::newRow("no customer") << "" << QStringList() << "order  08.12.2026.txt";
    QTest::newRow("second order of the day")
        << "ООО Ромашка" << QStringList{"order ООО Ромашка 08.12.2026.txt"} << "order ООО Ромашка 08.12.2026 (2).txt";
    QTest::newRow("third order of the day")
        << "ООО Ромашка" << QStringList{"order ООО Ромашка 08.12.2026.txt", "order ООО Ромашка 08.12.2026 (2).txt"}
        << "order ООО Ромашка 08.12.2026 (3).txt";
    // The file system takes 255 bytes (UTF-8) or, on Windows, 255 UTF-16
    // units, with room left for " (999)" and the lock beside the file. The
    // first order's file is made: in Latin letters on Windows, as Wine keeps
    // its names in UTF-8 on a Linux file system.
#ifdef Q_OS_WIN
    const QString longName = QStringLiteral("order ") + QString(213, u'Ж') + QStringLiteral(" 08.12.2026");
    const QChar madeLetter = u'W';
    const QString madeName = QStringLiteral("order ") + QString(213, madeLetter) + QStringLiteral(" 08.12.2026");
#else
    const QString longName = QStringLiteral("order ") + QString(106, u'Ж') + QStringLiteral(" 08.12.2026");
    const QChar madeLetter = u'Ж';
    const QString madeName = longName;
#endif
    QTest::newRow("long legal name") << QString(300, u'Ж') << QStringList() << longName + ".txt";
    QTest::newRow("long legal name, second order")
        << QString(300, madeLetter) << QStringList{madeName + ".txt"} << madeName + " (2).txt";
}

void TestOrderFile::proposedName()
{
    QFETCH(QString, customer);
    QFETCH(QStringList, existing);
    QFETCH(QString, name);
#ifdef Q_OS_WIN
    // Windows takes whole paths of at most 259 characters: the long name
    // gives the folder's share of them up.
    const qsizetype room = 259 - 6 - 15 - QDir::toNativeSeparators(QDir::currentPath()).size() - 1;
    for (QString *text : {&name, existing.isEmpty() ? &name : &existing.first()}) {
        for (const QChar letter : {u'Ж', u'W'})
            text->replace(QString(213, letter), QString(qMin<qsizetype>(213, room - 21), letter));
    }
#endif
    for (const QString &file : existing)
        TextFile::writeLines(file, {QStringLiteral("ЗАКАЗ:")});
    QCOMPARE(OrderFile::unusedName(OrderFile::proposedName(customer, QDate(2026, 12, 8))), name);
}

void TestOrderFile::reader_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QList<Item>>("items");

    const Item bolt{12, QStringLiteral("Болт М8"), QStringLiteral("OEM-12"), QStringLiteral("Россия"), 3};
    const QStringList head{"Заказ на 08.12.2026", "  Заказчик: ООО Ромашка"};

    QTest::newRow("written marker") << head + QStringList{"ЗАКАЗ:", "00012|Болт М8|OEM-12|Россия|3"} << "|"
                                    << QList<Item>{bolt};
    QTest::newRow("marker in lower case")
        << QStringList{"заказ:", "00012|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("Order marker in any case")
        << QStringList{"oRDeR:", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("Заказ marker wins over an earlier Order marker")
        << QStringList{"Order:", "1|a|||1", "Заказ:", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("marker with a trailing blank")
        << QStringList{"ЗАКАЗ: ", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{};
    QTest::newRow("no marker") << QStringList{"12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{};
    QTest::newRow("fields trimmed of blanks and control characters")
        << QStringList{"ЗАКАЗ:", " 00012 |\tБолт М8 | OEM-12|Россия\x01| 3 "} << "|" << QList<Item>{bolt};
    QTest::newRow("sixth field ignored") << QStringList{"ЗАКАЗ:", "12|Болт М8|OEM-12|Россия|3|99.5"} << "|"
                                         << QList<Item>{bolt};
    QTest::newRow("missing quantity skipped")
        << QStringList{"ЗАКАЗ:", "5|x|y|z", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("code out of range skipped")
        << QStringList{"ЗАКАЗ:", "99999999999|x|||1", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("quantity that is no number skipped")
        << QStringList{"ЗАКАЗ:", "5|x|||2.5", "5|x|||", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("missing fields read empty")
        << QStringList{"ЗАКАЗ:", "12|Болт М8|||3"} << "|" << QList<Item>{{12, QStringLiteral("Болт М8"), {}, {}, 3}};
    QTest::newRow("repeated codes kept") << QStringList{"ЗАКАЗ:", "1|a|||1", "1|b|||2"} << "|"
                                         << QList<Item>{{1, "a", {}, {}, 1}, {1, "b", {}, {}, 2}};
    QTest::newRow("older layout") << QStringList{"ЗАКАЗ:", "00012   Болт М8  ", "3", "7 Шайба", "10"} << "|"
                                  << QList<Item>{{12, QStringLiteral("Болт М8  "), {}, {}, 3},
                                                 {7, QStringLiteral("Шайба"), {}, {}, 10}};
    QTest::newRow("blank lines skipped")
        << QStringList{"ЗАКАЗ:", "", "12|Болт М8|OEM-12|Россия|3", " \t", "12|Болт М8|OEM-12|Россия|3", ""} << "|"
        << QList<Item>{bolt, bolt};
    QTest::newRow("older layout: blank lines between code and quantity")
        << QStringList{"ЗАКАЗ:", "", "7 Шайба", "", "10", ""} << "|"
        << QList<Item>{{7, QStringLiteral("Шайба"), {}, {}, 10}};
    QTest::newRow("older layout: line without blank consumes the next")
        << QStringList{"ЗАКАЗ:", "junk", "7 Шайба", "12|Болт М8|OEM-12|Россия|3"} << "|" << QList<Item>{bolt};
    QTest::newRow("older layout: missing quantity line") << QStringList{"ЗАКАЗ:", "7 Шайба"} << "|" << QList<Item>{};
    QTest::newRow("separator ; reads a written file")
        << head + QStringList{"ЗАКАЗ:", "00012|Болт М8|OEM-12|Россия|3", "00042|Гайка М8|OEM-42|Китай|1"} << ";"
        << QList<Item>{bolt, {42, QStringLiteral("Гайка М8"), QStringLiteral("OEM-42"), QStringLiteral("Китай"), 1}};
    QTest::newRow("separator ; keeps a ; in a written name")
        << QStringList{"ЗАКАЗ:", "00012|Болт; М8|OEM-12|Россия|3"} << ";"
        << QList<Item>{{12, QStringLiteral("Болт; М8"), QStringLiteral("OEM-12"), QStringLiteral("Россия"), 3}};
    QTest::newRow("separator ; reads its own lines")
        << QStringList{"ЗАКАЗ:", "12;Болт М8;OEM-12;Россия;3"} << ";" << QList<Item>{bolt};
}

void TestOrderFile::reader()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, separator);
    QFETCH(QList<Item>, items);
    QCOMPARE(OrderReader::parse(lines, separator.at(0)), items);
}

void TestOrderFile::readerOnLoneCarriageReturns()
{
    writeBytes(QStringLiteral("cr.txt"), QByteArray("\xC7\xC0\xCA\xC0\xC7:\r00012|Bolt|A|B|3\r00042|Nut|||1\r"));
    m_session->prompts.queueFile(QStringLiteral("cr.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(orderRows(m_ws->order()), (QStringList{"12|Bolt|A|B|3|0|0", "42|Nut|||1|0|0"}));
}

void TestOrderFile::readerQuantities_data()
{
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<int>("count"); // 0: the line is skipped
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("largest") << "2147483647" << 2147483647;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-4" << 0;
    QTest::newRow("plus sign") << "+4" << 0;
    QTest::newRow("beyond the largest") << "2147483648" << 0;
    QTest::newRow("empty") << "" << 0;
}

void TestOrderFile::readerQuantities()
{
    QFETCH(QString, quantity);
    QFETCH(int, count);
    const QList<Item> expected = count > 0 ? QList<Item>{{5, "x", {}, {}, count}} : QList<Item>{};
    for (const QStringList &lines :
         {QStringList{"ЗАКАЗ:", "5|x|||" + quantity}, QStringList{"ЗАКАЗ:", "5 x", quantity}}) {
        int skipped = -1;
        QCOMPARE(OrderReader::parse(lines, QLatin1Char('|'), &skipped), expected);
        QCOMPARE(skipped, count > 0 ? 0 : 1);
    }
}

void TestOrderFile::openedFileCountsSkippedLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("status");
    const QByteArray marker("\xC7\xC0\xCA\xC0\xC7:");
    QTest::newRow("CR CR LF line ends") << marker + "\r\r\n00012|Bolt|A|B|3\r\r\n00042|Nut|||1\r\r\n"
                                        << QStringList{"12|Bolt|A|B|3|0|0", "42|Nut|||1|0|0"} << "Заказ загружен";
    QTest::newRow("bad quantities counted")
        << marker + "\r\n1|a|||0\r\n\r\n2|b|||-1\r\n00042|Nut|||1\r\n3|c|||+2\r\n"
        << QStringList{"42|Nut|||1|0|0"} << "Заказ загружен. Пропущено строк с ошибками: 3";
}

void TestOrderFile::openedFileCountsSkippedLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, rows);
    QFETCH(QString, status);
    writeBytes(QStringLiteral("o.txt"), bytes);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(orderRows(m_ws->order()), rows);
    QCOMPARE(m_ws->label(Workspace::Label::Status), status);
}

void TestOrderFile::readerOnGarbageEndsAndKeepsReadableLines()
{
    // Five megabytes of noise with the marker and two readable lines inside.
    QByteArray bytes;
    bytes.reserve(5 * 1024 * 1024 + 100);
    quint32 seed = 12345;
    while (bytes.size() < 5 * 1024 * 1024) {
        seed = seed * 1103515245u + 12345u;
        bytes.append(char((seed >> 16) & 0xFF));
        if (bytes.size() == 1000)
            bytes.append("\r\n\xC7\xC0\xCA\xC0\xC7:\r\n00012|Bolt|A|B|3\r\n");
    }
    bytes.append("\r\n00042|Nut|||1\r\n");
    writeBytes(QStringLiteral("noise.txt"), bytes);
    m_session->prompts.queueFile(QStringLiteral("noise.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    const QStringList rows = orderRows(m_ws->order());
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.first(), QStringLiteral("12|Bolt|A|B|3|0|0"));
    QVERIFY(rows.contains(QStringLiteral("42|Nut|||1|0|0")));
    QVERIFY(!m_ws->document().isModified());
}

void TestOrderFile::writerFileForm()
{
    Settings &s = m_ws->settings();
    s.customer = QStringLiteral("ООО Ромашка");
    s.addr = QStringLiteral("Москва");
    s.phone = QStringLiteral("123-45-67");
    s.contact = QStringLiteral("Иванов");
    s.bank = QStringLiteral("Банк");
    s.bik = QStringLiteral("044");
    s.settlementAccount = QStringLiteral("40702");
    s.correspondentAccount = QStringLiteral("30101");
    s.inn = QStringLiteral("7701");
    s.delivery = QStringLiteral("yes");
    s.pack = QStringLiteral("no");
    s.payment = QStringLiteral("clearing");
    loadPrice();
    addPart(12, 3);
    addPart(7, 1);
    m_ws->order().first();

    QStringList lines{"left over"};
    OrderWriter::write(*m_ws, lines, OrderWriter::Form::File);
    QCOMPARE(lines,
             (QStringList{"Заказ на " + TextFile::shortDate(QDate::currentDate()), "  Заказчик: ООО Ромашка",
                          "  Адрес: Москва", "  Телефон/факс: 123-45-67", "  Контактное лицо: Иванов", "  Банк: Банк",
                          "  БИК: 044", "  Расчетный счет: 40702", "  Кор. счет: 30101", "  ИНН: 7701",
                          "  Доставка товара: yes", "  Упаковка товара: no", "  Форма оплаты: clearing",
                          "ЗАКАЗ:", "00012|Болт М8|OEM-12|Россия|3", "00007|Шайба||Тайвань|1"}));
    QCOMPARE(m_session->progress.texts().constLast(), QStringLiteral("Creating order..."));
    QCOMPARE(m_session->progress.steps().constFirst(), 10);
    QVERIFY(!m_session->progress.isVisible());
    QCOMPARE(m_ws->order().rowNumber(), 1);
}

void TestOrderFile::writtenOrderReadsBackTheSame_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("older layout, blanks after the name") << QByteArray("Order:\r\n42   Bolt M8   \r\n3\r\n");
    QTest::newRow("older layout, zero bytes after the name") << QByteArrayLiteral("Order:\r\n42 Bolt\0\0\0\r\n3\r\n");
    QTest::newRow("blanks around the fields") << QByteArray("Order:\r\n 42 |  Bolt | A1 | B |3\r\n");
}

void TestOrderFile::writtenOrderReadsBackTheSame()
{
    QFETCH(QByteArray, file);
    writeBytes(QStringLiteral("first.txt"), file);
    OrderFile::read(*m_ws, QStringLiteral("first.txt"));
    QStringList first;
    OrderWriter::write(*m_ws, first, OrderWriter::Form::File);
    TextFile::writeLines(QStringLiteral("second.txt"), first);
    OrderFile::read(*m_ws, QStringLiteral("second.txt"));
    QStringList second;
    OrderWriter::write(*m_ws, second, OrderWriter::Form::File);
    QCOMPARE(second, first);
    QCOMPARE(m_ws->order().rowCount(), 1);
}

void TestOrderFile::writerExportForm()
{
    loadPrice();
    m_ws->settings().discount = 10;
    addPart(42, 4);
    addPart(7, 3);
    QStringList lines;
    OrderWriter::write(*m_ws, lines, OrderWriter::Form::Export);
    QCOMPARE(lines,
             (QStringList{"Код\tНаименование / артикул производителя\tКаталожный номер\tПроизводство\tКоличество\t"
                          "Цена за ед.\tИТОГО",
                          "00042\tГайка М8\tOEM-42\tКитай\t4\t2.25\t9.00", "00007\tШайба\t\tТайвань\t3\t90.00\t270.00",
                          "\tВСЕГО\t\t\t\t\t279.00 р."}));
}

void TestOrderFile::separatorInAFieldDoesNotShiftTheLine()
{
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    m_ws->order().appendRow(QVariantList{0, 5, "Болт M8|M10", "A|B", "Завод\r\nКитай", 2, 0.0, 0.0});
    m_ws->document().setModified(true);
    m_session->prompts.queueFile(QStringLiteral("bar.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    const QStringList lines = TextFile::readLines(QStringLiteral("bar.txt"));
    QCOMPARE(lines.mid(14), QStringList{"00005|Болт M8/M10|A/B|Завод  Китай|2"});

    QVERIFY(m_ws->execute(ActionId::OrderClose));
    m_session->prompts.queueFile(QStringLiteral("bar.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(orderRows(m_ws->order()), QStringList{"5|Болт M8/M10|A/B|Завод  Китай|2|0|0"});
}

void TestOrderFile::saveAskForNameAndReopenGivesSameLines()
{
    m_ws->settings().customer = QStringLiteral("ООО \"Ромашка\"");
    loadPrice();
    addPart(42, 4);
    addPart(12, 3);
    addPart(7, 1);
    m_session->prompts.queueFile(QDir::current().filePath(QStringLiteral("заказ.txt")));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));

    const ScriptedPrompts::Record dialog = m_session->prompts.records().constLast();
    QCOMPARE(dialog.kind, QStringLiteral("save"));
    QCOMPARE(dialog.dialog.title, QStringLiteral("Сохранить файл заказа"));
    QCOMPARE(dialog.dialog.filter, QStringLiteral("Файл заказа (*.txt)|*.txt"));
    QCOMPARE(dialog.dialog.defaultExtension, QStringLiteral("txt"));
    QVERIFY(dialog.dialog.overwritePrompt);
    QCOMPARE(dialog.dialog.fileName,
             QStringLiteral("order ООО ''Ромашка'' ") + TextFile::shortDate(QDate::currentDate())
                 + QStringLiteral(".txt"));
    QVERIFY(m_ws->actions().isDone(ActionId::OrderFileSave));
    QVERIFY(!m_ws->document().isModified());
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: заказ.txt"));
    QVERIFY(readBytes(QStringLiteral("заказ.txt")).endsWith("|1\r\n"));

    // A second save goes to the same file without a dialog.
    m_session->prompts.clear();
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(m_session->prompts.records().isEmpty());

    QVERIFY(m_ws->execute(ActionId::OrderClose));
    m_session->prompts.queueFile(QDir::current().filePath(QStringLiteral("заказ.txt")));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    const ScriptedPrompts::Record open = m_session->prompts.records().constLast();
    QCOMPARE(open.kind, QStringLiteral("open"));
    QCOMPARE(open.dialog.title, QStringLiteral("Открыть файл заказа"));
    QCOMPARE(open.dialog.filter, QStringLiteral("Файл заказа (*.txt)|*.txt"));
    QCOMPARE(open.dialog.defaultExtension, QStringLiteral("txt"));
    QVERIFY(open.dialog.fileName.isEmpty());

    QCOMPARE(
        orderRows(m_ws->order()),
        (QStringList{"42|Гайка М8|OEM-42|Китай|4|0|0", "12|Болт М8|OEM-12|Россия|3|0|0", "7|Шайба||Тайвань|1|0|0"}));
    for (int r = 0; r < 3; ++r)
        QCOMPARE(m_ws->order().integerAt(r, OrderTable::AvailabilityFlag), 0);
    // Reading marks no price row.
    for (int r = 0; r < m_ws->price().rowCount(); ++r)
        QVERIFY(!Availability::isInOrder(m_ws->price().integerAt(r, 0)));
}

void TestOrderFile::saveAsCancelledKeepsName()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueFile(QStringLiteral("first.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    const QString first = m_ws->document().fileName();
    addPart(12, 4);

    m_session->prompts.queueFile(QString());
    QVERIFY(m_ws->execute(ActionId::OrderFileSaveAs));
    QCOMPARE(m_ws->document().fileName(), first);
    QVERIFY(m_ws->document().isModified());
    QVERIFY(!m_ws->actions().isDone(ActionId::OrderFileSave));

    m_session->prompts.queueFile(QStringLiteral("second.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSaveAs));
    QCOMPARE(m_ws->document().fileName(), QStringLiteral("second.txt"));
    QVERIFY(TextFile::readLines(QStringLiteral("second.txt")).constLast().endsWith(QLatin1String("|4")));
    QVERIFY(TextFile::readLines(QStringLiteral("first.txt")).constLast().endsWith(QLatin1String("|3")));
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: second.txt"));
}

void TestOrderFile::failedReplaceKeepsOldFileAndChangedState()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueFile(QStringLiteral("keep.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    const QByteArray old = readBytes(QStringLiteral("keep.txt"));
    addPart(42, 1);
    addPart(7, 2);
    {
        const FileSizeLimit limit(old.size() - 10);
        FILE_SIZE_LIMIT_OR_SKIP(limit);
        m_ws->actions().run(ActionId::OrderFileSave);
    }
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QCOMPARE(readBytes(QStringLiteral("keep.txt")), old);
    QVERIFY(m_ws->document().isModified());
    QVERIFY(!m_ws->actions().isDone(ActionId::OrderFileSave));
    QCOMPARE(m_ws->order().rowCount(), 3);
}

void TestOrderFile::unwritableTargetShowsErrorAndKeepsOrder()
{
    loadPrice();
    addPart(12, 3);
    writeBytes(QStringLiteral("plain"), "x");
    const QString target = QStringLiteral("plain/order.txt");
    m_session->prompts.queueFile(target);
    m_ws->actions().run(ActionId::OrderFileSave);
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QVERIFY(m_ws->orderOpen());
    QVERIFY(m_ws->document().isModified());
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ"));
    // The failed name is not kept: the next save asks for one again.
    QVERIFY(m_ws->document().fileName().isEmpty());
    m_ws->actions().run(ActionId::OrderFileSave);
    QCOMPARE(m_session->prompts.texts(QStringLiteral("save")).size(), 2);
}

void TestOrderFile::readOnlyFileIsNotReplaced()
{
    const QByteArray old = TextFile::encodeLines({"ЗАКАЗ:", "00012|Болт М8|||2"});
    writeBytes(QStringLiteral("ro.txt"), old);
    QVERIFY(QFile::setPermissions(QStringLiteral("ro.txt"), QFileDevice::ReadOwner));
    loadPrice();
    addPart(42, 1);
    // Chosen in the dialog: the order goes under another name or nowhere.
    m_session->prompts.queueFile(QStringLiteral("ro.txt"));
    m_session->prompts.queueAnswer(UserPrompts::Answer::Yes);
    m_session->prompts.queueFile(QStringLiteral("copy.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(m_ws->actions().isDone(ActionId::OrderFileSave));
    QCOMPARE(m_session->prompts.questions(), QStringList{OrderFile::writeProtectedQuestion(QStringLiteral("ro.txt"))});
    QCOMPARE(readBytes(QStringLiteral("ro.txt")), old);
}

void TestOrderFile::unreadableFileOpensNoOrder()
{
    loadPrice();
    m_session->prompts.queueFile(QStringLiteral("missing.txt"));
    m_ws->actions().run(ActionId::OrderFileOpen);
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(m_ws->document().fileName().isEmpty());
}

void TestOrderFile::openedFileIsSavedAndTitled()
{
    writeBytes(QStringLiteral("in.txt"),
               TextFile::encodeLines({"ЗАКАЗ:", "00012|Болт М8|||2", "junk|", "7 Шайба", "x"}));
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    m_ws->order().appendRow(QVariantList{0, 1, QString(), QString(), QString(), 1, 99.0, 99.0});
    m_ws->document().recount();
    m_session->prompts.queueFile(QDir::current().filePath(QStringLiteral("in.txt")));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(orderRows(m_ws->order()), QStringList{"12|Болт М8|||2|0|0"});
    QCOMPARE(m_ws->order().rowNumber(), 1);
    QCOMPARE(m_ws->document().total(), 0.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 0.00 р."));
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: in.txt"));
    QCOMPARE(m_ws->document().fileName(), QDir::current().filePath(QStringLiteral("in.txt")));
    QVERIFY(!m_ws->document().isModified());
}

QTEST_GUILESS_MAIN(TestOrderFile)
#include "tst_orderfile.moc"
