#include <QtTest>

#include <sys/stat.h>

#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include "actionid.h"
#include "applicationwindows.h"
#include "listrep.h"
#include "main.h"
#include "reportpainter.h"
#include "scriptedprompts.h"
#include "textexport.h"
#include "cp1251.h"
#include "textfile.h"
#include "workspace.h"

// Runs the built ordix-cli on small files and compares what it prints and
// writes with what the window shows and writes on the same files.
class TestCli final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void help_data();
    void help();
    void usageErrors_data();
    void usageErrors();
    void failures_data();
    void failures();
    void unwritableOut_data();
    void unwritableOut();

    void priceGrid_data();
    void priceGrid();
    void manyRowsComeOutInOrder();
    void orderGrid_data();
    void orderGrid();
    void skippedLinesOnStderr_data();
    void skippedLinesOnStderr();
    void folderOption();
    void find_data();
    void find();
    void folderLeftAsFound();
    void readerStoppingEarlyLeavesNoSchemaFile();
    void schemaFilesNeverGoThroughLinks();

    void supplierLists_data();
    void supplierLists();

    void repricedSumMatchesTheWindow_data();
    void repricedSumMatchesTheWindow();
    void exportsMatchTheWindow_data();
    void exportsMatchTheWindow();

private:
    struct Result
    {
        int code = -1;
        QString out;
        QString err;
    };

    // Runs ordix-cli in `workingDir` (the test folder when empty).
    Result cli(const QStringList &arguments, const QString &workingDir = QString()) const;
    QString path(const QString &name) const { return m_dir->filePath(name); }
    void write(const QString &name, const QStringList &lines) const;
    void writePriceList(const QString &name = QStringLiteral("prices.txt")) const;
    void writeOrder(const QString &name = QStringLiteral("order.txt")) const;
    QStringList folderEntries() const;
    static QString findProgram(const QStringList &candidates, const QStringList &probe);

    QTemporaryDir *m_dir = nullptr;
};

namespace
{
    const QString PriceTitles =
        QStringLiteral("№\t...\tКод\tНаименование / артикул производителя\tOEM номер\tПроизводство\tУпаковка\t");
    const QString OrderTitles =
        QStringLiteral("Код\tНаименование / артикул производителя\tOEM номер\tПр-во\tКол-во\tЦена\tИтого");

    QStringList outputLines(const QString &text)
    {
        QStringList lines = text.split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
}

void TestCli::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    // Saved layouts of suppliers' lists stay in the test's folder.
    qputenv("ORDIX_LAYOUT_DIR", m_dir->filePath(QStringLiteral("layouts")).toLocal8Bit());
}

void TestCli::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
    Decimal::setSeparator(QLatin1Char('.'));
}

TestCli::Result TestCli::cli(const QStringList &arguments, const QString &workingDir) const
{
    QProcess process;
    process.setWorkingDirectory(workingDir.isEmpty() ? m_dir->path() : workingDir);
    process.start(QStringLiteral(ORDIX_CLI_PATH), arguments);
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestCli::write(const QString &name, const QStringList &lines) const
{
    TextFile::writeLines(path(name), lines);
}

void TestCli::writePriceList(const QString &name) const
{
    write(name,
          {QStringLiteral("Прайс-лист на 01.12.2026"),
           QStringLiteral(
               "Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|ЦенаОпт|Статус|Каталоги|Аналоги(Коды)"),
           QStringLiteral("42|Болт М8|B-8|Завод А|10|12.50|11.00|1|Крепёж|43"),
           QStringLiteral("43|Гайка М8||Завод Б|20|3.20|2.90|2|Крепёж|42"),
           QStringLiteral("1234567|Амортизатор передний|AM-1|Завод В|1|1234567.50|1200000|3|Подвеска|"),
           QStringLiteral("44|Шайба")});
}

void TestCli::writeOrder(const QString &name) const
{
    write(name,
          {QStringLiteral("Заказ на 01.12.2026"), QStringLiteral("Заказчик: ООО Ромашка"), QStringLiteral("ЗАКАЗ:"),
           QStringLiteral("00042|Болт (старое имя)|OLD|Старый завод|3"), QStringLiteral("43|Гайка М8|||10"),
           QStringLiteral("777|Нет в прайсе|X|Y|2")});
}

QStringList TestCli::folderEntries() const
{
    return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QString TestCli::findProgram(const QStringList &candidates, const QStringList &probe)
{
    for (const QString &candidate : candidates) {
        QProcess process;
        process.start(candidate, probe);
        if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return candidate;
    }
    return QString();
}

// --- the command line itself --------------------------------------------

void TestCli::find_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("found"); // code and the last column of each row
    QTest::newRow("part number as typed otherwise, then its analogue")
        << QStringList{QStringLiteral("find"), QStringLiteral("b 8"), QStringLiteral("--price"),
                       QStringLiteral("prices.txt")}
        << 0 << QStringList{QStringLiteral("00042 артикул"), QStringLiteral("00043 аналог 42")};
    QTest::newRow("limit, other layout, default list")
        << QStringList{QStringLiteral("find"), QStringLiteral("ufqrf"), QStringLiteral("--limit"), QStringLiteral("1")}
        << 0 << QStringList{QStringLiteral("00043 раскладка")};
    QTest::newRow("nothing found") << QStringList{QStringLiteral("find"), QStringLiteral("карбюратор")} << 1
                                   << QStringList();
    QTest::newRow("bad limit") << QStringList{QStringLiteral("find"), QStringLiteral("x"), QStringLiteral("--limit=0")}
                               << 2 << QStringList();
}

void TestCli::find()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QStringList, found);
    writePriceList();
    writePriceList(QStringLiteral("ZOLT.TXT"));
    const Result result = cli(arguments);
    QCOMPARE(result.code, code);
    const QStringList lines = outputLines(result.out);
    QStringList shown;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QStringList fields = lines.at(i).split(QLatin1Char('\t'));
        shown << fields.at(2) + QLatin1Char(' ') + fields.last();
    }
    QCOMPARE(shown, found);
    if (!found.isEmpty())
        QVERIFY(lines.first().startsWith(PriceTitles) && lines.first().endsWith(QStringLiteral("\tНайдено")));
}

void TestCli::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");
    const QString price = QStringLiteral("ordix-cli [--dir DIR] price FILE");
    const QString order = QStringLiteral("ordix-cli [--dir DIR] order FILE");
    const QString exporting = QStringLiteral("ordix-cli [--dir DIR] export ORDERFILE --to xlsx|pdf|txt|order -o OUT");
    QTest::newRow("--help") << QStringList{"--help"} << QStringList{price, order, exporting} << QStringList();
    QTest::newRow("-h after --dir") << QStringList{"--dir", "x", "-h"} << QStringList{price, order, exporting}
                                    << QStringList();
    QTest::newRow("price --help") << QStringList{"price", "--help"} << QStringList{price, "--compare OLDFILE"}
                                  << QStringList{order, exporting};
    QTest::newRow("export --help beside other arguments") << QStringList{"export", "o.txt", "--to", "pdf", "--help"}
                                                          << QStringList{exporting} << QStringList{price, order};
}

void TestCli::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    const Result result = cli(arguments);
    QCOMPARE(result.code, 0);
    QVERIFY(result.err.isEmpty());
    QVERIFY(result.out.startsWith(QStringLiteral("Usage:\n")));
    for (const QString &text : present)
        QVERIFY2(result.out.contains(text), qPrintable(text));
    for (const QString &text : absent)
        QVERIFY2(!result.out.contains(text), qPrintable(text));
}

void TestCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");
    QTest::newRow("nothing") << QStringList() << "no command given";
    QTest::newRow("only --dir") << QStringList{"--dir", "."} << "no command given";
    QTest::newRow("unknown command") << QStringList{"list", "prices.txt"} << "unknown command list";
    QTest::newRow("unknown option") << QStringList{"price", "prices.txt", "--bogus"}
                                    << "unknown option --bogus for price";
    QTest::newRow("option of another command")
        << QStringList{"order", "order.txt", "--mode", "1"} << "unknown option --mode for order";
    QTest::newRow("--dir after the command")
        << QStringList{"price", "prices.txt", "--dir", "."} << "unknown option --dir for price";
    QTest::newRow("option without its value")
        << QStringList{"price", "prices.txt", "--sort"} << "option --sort needs a value";
    QTest::newRow("--dir without its value") << QStringList{"--dir"} << "option --dir needs a value";
    QTest::newRow("empty --dir") << QStringList{"--dir=", "price", "prices.txt"} << "--dir names no folder";
    QTest::newRow("mode 3") << QStringList{"price", "prices.txt", "--mode", "3"} << "--mode takes 1 or 2, not 3";
    QTest::newRow("mode given twice") << QStringList{"price", "prices.txt", "--mode", "1", "--mode=2"}
                                      << "option --mode given twice";
    QTest::newRow("--desc without --sort") << QStringList{"price", "prices.txt", "--desc"} << "--desc needs --sort";
    QTest::newRow("--desc with a value") << QStringList{"price", "prices.txt", "--sort", "Name", "--desc=yes"}
                                         << "option --desc takes no value";
    QTest::newRow("no file") << QStringList{"price", "--mode", "2"} << "price needs FILE";
    QTest::newRow("two files") << QStringList{"order", "a.txt", "b.txt"} << "unexpected argument b.txt";
    QTest::newRow("empty file name") << QStringList{"order", ""} << "FILE is empty";
    QTest::newRow("export without --to") << QStringList{"export", "order.txt", "-o", "x.txt"} << "export needs --to";
    QTest::newRow("export without -o") << QStringList{"export", "order.txt", "--to", "txt"} << "export needs -o OUT";
    QTest::newRow("export to xls") << QStringList{"export", "order.txt", "--to", "xls", "-o", "x.xls"}
                                   << "--to takes xlsx, pdf, txt or order, not xls";
    QTest::newRow("export without ORDERFILE")
        << QStringList{"export", "--to", "txt", "-o", "x.txt"} << "export needs ORDERFILE";
}

void TestCli::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    writePriceList();
    writeOrder();
    const Result result = cli(arguments);
    QCOMPARE(result.code, 2);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith(QStringLiteral("ordix-cli: ") + problem + QStringLiteral("\n\nUsage:\n")),
             qPrintable(result.err));
    QVERIFY(result.err.contains(QStringLiteral("ordix-cli [--dir DIR] export ORDERFILE")));
}

void TestCli::failures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing price list") << QStringList{"price", "nosuch.txt"}
                                        << "Не удалось открыть файл прайс-листа nosuch.txt";
    QTest::newRow("missing old price list")
        << QStringList{"price", "prices.txt", "--compare", "nosuch.txt"} << "Не удалось прочитать файл nosuch.txt: ";
    QTest::newRow("missing order file") << QStringList{"order", "nosuch.txt"}
                                        << "Не удалось прочитать файл nosuch.txt: ";
    QTest::newRow("missing price list of the order") << QStringList{"order", "order.txt", "--price", "nosuch.txt"}
                                                     << "Не удалось открыть файл прайс-листа nosuch.txt";
    QTest::newRow("missing folder") << QStringList{"--dir", "nosuch", "price", "prices.txt"}
                                    << "no such folder: nosuch";
    QTest::newRow("refused filter") << QStringList{"price", "prices.txt", "--filter", "Name LIKE"}
                                    << "the filter was refused: ";
    QTest::newRow("filter on an unknown field")
        << QStringList{"price", "prices.txt", "--filter", "Colour='red'"} << "the filter was refused: ";
    QTest::newRow("sort by an unknown field")
        << QStringList{"price", "prices.txt", "--sort", "Colour"} << "the price list has no field Colour";
    QTest::newRow("sort by the old price")
        << QStringList{"price", "prices.txt", "--sort", "OldPrice"} << "the price list cannot be sorted by OldPrice";
    QTest::newRow("export of an order without lines")
        << QStringList{"export", "empty.txt", "--to", "txt", "-o", "out.txt"}
        << "the order empty.txt has no lines: out.txt not written";
}

void TestCli::failures()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    writePriceList();
    writeOrder();
    write(QStringLiteral("empty.txt"), {QStringLiteral("ЗАКАЗ:")});
    const QStringList before = folderEntries();

    const Result result = cli(arguments);
    QCOMPARE(result.code, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith(QStringLiteral("ordix-cli: ") + message), qPrintable(result.err));
    QVERIFY2(result.err.endsWith(QLatin1Char('\n')) && result.err.count(QLatin1Char('\n')) == 1,
             qPrintable(result.err));
    QCOMPARE(folderEntries(), before);
}

void TestCli::unwritableOut_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("message");
    const QString noFolder = QStringLiteral("ordix-cli: Не удалось записать файл nosuch/out: ");
    QTest::newRow("xlsx into a missing folder") << "xlsx"
                                                << "nosuch/out" << noFolder;
    QTest::newRow("txt into a missing folder") << "txt"
                                               << "nosuch/out" << noFolder;
    QTest::newRow("order into a missing folder") << "order"
                                                 << "nosuch/out" << noFolder;
    QTest::newRow("pdf into a missing folder") << "pdf"
                                               << "nosuch/out"
                                               << "ordix-cli: Не удалось создать файл nosuch/out: ";
    QTest::newRow("txt onto a folder") << "txt"
                                       << "folder"
                                       << "ordix-cli: Не удалось записать файл folder: ";
    QTest::newRow("pdf onto a folder") << "pdf"
                                       << "folder"
                                       << "ordix-cli: Не удалось создать файл folder: ";
    // A FIFO (or a device) in OUT's place is left as it is, its reader not
    // kept waiting.
    const QString fifo = QStringLiteral(": это именованный канал, а не обычный файл; он не заменяется");
    QTest::newRow("xlsx onto a FIFO") << "xlsx"
                                      << "fifo"
                                      << "ordix-cli: Не удалось записать файл fifo" + fifo;
    QTest::newRow("txt onto a FIFO") << "txt"
                                     << "fifo"
                                     << "ordix-cli: Не удалось записать файл fifo" + fifo;
    QTest::newRow("order onto a FIFO") << "order"
                                       << "fifo"
                                       << "ordix-cli: Не удалось записать файл fifo" + fifo;
    QTest::newRow("pdf onto a FIFO") << "pdf"
                                     << "fifo"
                                     << "ordix-cli: Не удалось создать файл fifo" + fifo;
    // A file marked read-only is never replaced unasked.
    QTest::newRow("order onto a read-only file")
        << "order"
        << "readonly.txt"
        << "ordix-cli: unexpected question from the program: Файл заказа readonly.txt защищён от записи";
    QTest::newRow("txt through a link to a FIFO") << "txt"
                                                  << "fifolink"
                                                  << "ordix-cli: Не удалось записать файл fifolink" + fifo;
}

void TestCli::unwritableOut()
{
    // Running as root, permissions would not stop the write: a missing
    // folder and a folder in the file's place do.
    QFETCH(QString, target);
    QFETCH(QString, out);
    QFETCH(QString, message);
    writePriceList();
    writeOrder();
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    QVERIFY(mkfifo(QFile::encodeName(path(QStringLiteral("fifo"))).constData(), 0600) == 0);
    QVERIFY(QFile::link(QStringLiteral("fifo"), path(QStringLiteral("fifolink"))));
    writeOrder(QStringLiteral("readonly.txt"));
    QVERIFY(QFile::setPermissions(path(QStringLiteral("readonly.txt")), QFileDevice::ReadOwner));
    const QStringList before = folderEntries();

    const Result result = cli({"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", out});
    QVERIFY(QFileInfo(path(QStringLiteral("fifo"))).isSymLink() == false);
    struct stat fifoState
    { };
    QVERIFY(stat(QFile::encodeName(path(QStringLiteral("fifo"))).constData(), &fifoState) == 0
            && S_ISFIFO(fifoState.st_mode));
    QCOMPARE(result.code, 1);
    QVERIFY(result.out.isEmpty());
    QVERIFY2(result.err.startsWith(message), qPrintable(result.err));
    QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
    QCOMPARE(folderEntries(), before);
    QVERIFY(QDir(path(QStringLiteral("folder"))).isEmpty());
}

// --- what the commands print --------------------------------------------

void TestCli::priceGrid_data()
{
    QTest::addColumn<QStringList>("userIni");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");

    const QString small = QStringLiteral("Цена (мелкооптовая)\tГруппа");
    const QString special = QStringLiteral("Цена (специальная)\tГруппа");
    const QString shock = QStringLiteral("Амортизатор передний\tAM-1\tЗавод В\t1\t");
    const QString bolt = QStringLiteral("00042\tБолт М8\tB-8\tЗавод А\t10\t");
    const QString nut = QStringLiteral("00043\tГайка М8\t\tЗавод Б\t20\t");
    const QString washer = QStringLiteral("\t\t00044\tШайба\t\t\t\t\t");

    QTest::newRow("name order, unset fields empty")
        << QStringList() << QStringList{"price", "prices.txt"}
        << QStringList{PriceTitles + small, "1\t3\t1234567\t" + shock + "1 234 567.50 р.\tПодвеска",
                       "2\t1\t" + bolt + "12.50 р.\tКрепёж", "3\t2\t" + nut + "3.20 р.\tКрепёж", "4" + washer};
    QTest::newRow("special prices from user.ini")
        << QStringList{"UserWSL=2"} << QStringList{"price", "prices.txt", "--filter", "Price>=10"}
        << QStringList{PriceTitles + special, "1\t3\t1234567\t" + shock + "1 200 000.00 р.\tПодвеска",
                       "2\t1\t" + bolt + "11.00 р.\tКрепёж"};
    QTest::newRow("--mode overrides user.ini")
        << QStringList{"UserWSL=2"} << QStringList{"price", "prices.txt", "--mode", "1", "--filter", "Code=42"}
        << QStringList{PriceTitles + small, "1\t1\t" + bolt + "12.50 р.\tКрепёж"};
    QTest::newRow("filter ignores letter case, sorted by code descending")
        << QStringList()
        << QStringList{"price", "prices.txt", "--filter", "Name LIKE '%м8%'", "--sort", "code", "--desc"}
        << QStringList{PriceTitles + small, "1\t2\t" + nut + "3.20 р.\tКрепёж", "2\t1\t" + bolt + "12.50 р.\tКрепёж"};
    QTest::newRow("sorted by price, unset first")
        << QStringList() << QStringList{"price", "prices.txt", "--sort=Price"}
        << QStringList{PriceTitles + small, "1" + washer, "2\t2\t" + nut + "3.20 р.\tКрепёж",
                       "3\t1\t" + bolt + "12.50 р.\tКрепёж", "4\t3\t1234567\t" + shock + "1 234 567.50 р.\tПодвеска"};
    QTest::newRow("comparison with the old list")
        << QStringList() << QStringList{"price", "prices.txt", "--compare", "old.txt"}
        << QStringList{PriceTitles + small + "\tСтарая цена",
                       "1\t3\t1234567\t" + shock + "1 234 567.50 р.\tПодвеска\t1 234 567.50 р.",
                       "2\t1\t" + bolt + "12.50 р.\tКрепёж\t10.00 р.", "3\t2\t" + nut + "3.20 р.\tКрепёж\t3.20 р.",
                       "4" + washer + "\t0.00 р."};
    QTest::newRow("comparison only fills the rows, the filter comes after")
        << QStringList() << QStringList{"price", "prices.txt", "--compare", "old.txt", "--filter", "Code=42"}
        << QStringList{PriceTitles + small + "\tСтарая цена", "1\t1\t" + bolt + "12.50 р.\tКрепёж\t10.00 р."};
    // Rows whose text fields are all unset: sorting by a text field compares
    // empty texts (this runs under the sanitizers too).
    const QString unset = QStringLiteral("\t\t\t\t\t\t");
    QTest::newRow("empty texts, sorted by name")
        << QStringList() << QStringList{"price", "lower.txt", "--sort", "Name"}
        << QStringList{PriceTitles + small, "1\t\t00043" + unset, "2\t\t00042" + unset};
    QTest::newRow("empty texts, sorted by catalogue number descending")
        << QStringList() << QStringList{"price", "lower.txt", "--sort", "CatalogID", "--desc"}
        << QStringList{PriceTitles + small, "1\t\t00042" + unset, "2\t\t00043" + unset};
    QTest::newRow("a filter that keeps nothing")
        << QStringList() << QStringList{"price", "prices.txt", "--filter", "Code=5"}
        << QStringList{PriceTitles + small};
}

void TestCli::priceGrid()
{
    QFETCH(QStringList, userIni);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    writePriceList();
    write(QStringLiteral("old.txt"),
          {QStringLiteral("Код|Наименование|ЦенаМелОпт|ЦенаОпт"), QStringLiteral("42|Болт М8|10.00|9.00"),
           QStringLiteral("43|Гайка М8|0|0")});
    write(QStringLiteral("lower.txt"),
          {QStringLiteral("Код|Наименование|Артикул|Производитель|Цена"), QStringLiteral("43||||"),
           QStringLiteral("42||||")});
    if (!userIni.isEmpty())
        write(QStringLiteral("user.ini"), userIni);

    const Result result = cli(arguments);
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QVERIFY(result.err.isEmpty());
    QVERIFY(result.out.endsWith(QLatin1Char('\n')));
    QCOMPARE(outputLines(result.out), expected);
}

void TestCli::manyRowsComeOutInOrder()
{
    // Enough rows to be written from both cores: every line once, numbered
    // and ordered as the grid shows them.
    QStringList lines{QStringLiteral("Код|Наименование|Цена")};
    const int count = 30000;
    for (int code = 1; code <= count; ++code)
        lines << QStringLiteral("%1|Деталь %2|%3.5").arg(code).arg(count - code, 5, 10, QLatin1Char('0')).arg(code);
    write(QStringLiteral("many.txt"), lines);
    const Result result = cli({QStringLiteral("price"), QStringLiteral("many.txt")});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    const QStringList out = outputLines(result.out);
    QCOMPARE(out.size(), count + 1);
    for (int row = 1; row <= count; ++row) {
        const QStringList fields = out.at(row).split(QLatin1Char('\t'));
        QCOMPARE(fields.at(0), QString::number(row));
        QCOMPARE(fields.at(2), QStringLiteral("%1").arg(count + 1 - row, 5, 10, QLatin1Char('0')));
    }
}

void TestCli::orderGrid_data()
{
    QTest::addColumn<QStringList>("userIni");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected");

    const QString missing = QStringLiteral("00777\tНет в прайсе\tX\tY\t2\t0.00 р.\t0.00 р.");
    const QStringList repriced{OrderTitles, QStringLiteral("00042\tБолт М8\tB-8\tЗавод А\t3\t12.50 р.\t37.50 р."),
                               QStringLiteral("00043\tГайка М8\t\tЗавод Б\t10\t3.20 р.\t32.00 р."), missing};

    QTest::newRow("read without a price list")
        << QStringList{"Discount=10.00"} << QStringList{"order", "order.txt"}
        << QStringList{OrderTitles,
                       QStringLiteral("00042\tБолт (старое имя)\tOLD\tСтарый завод\t3\t0.00 р.\t0.00 р."),
                       QStringLiteral("00043\tГайка М8\t\t\t10\t0.00 р.\t0.00 р."),
                       missing,
                       QStringLiteral("Сумма: 0.00 р."),
                       QStringLiteral("Сумма без учета скидки: 0.00 р.")};
    QTest::newRow("re-priced with a discount")
        << QStringList{"Discount=10.00"} << QStringList{"order", "order.txt", "--price", "prices.txt"}
        << repriced
            + QStringList{QStringLiteral("Сумма: 62.55 р."), QStringLiteral("Сумма без учета скидки: 69.50 р.")};
    QTest::newRow("re-priced with a markup")
        << QStringList{"Discount=-10.00"} << QStringList{"order", "order.txt", "--price", "prices.txt"}
        << repriced
            + QStringList{QStringLiteral("Сумма: 76.45 р."), QStringLiteral("Стоимость без наценки : 69.50 р.")};
    QTest::newRow("accumulative discount, no hint")
        << QStringList{"Discount=111.00"} << QStringList{"order", "order.txt", "--price", "prices.txt"}
        << repriced + QStringList{QStringLiteral("Сумма: 69.50 р.")};
    QTest::newRow("special prices") << QStringList{"UserWSL=2"}
                                    << QStringList{"order", "order.txt", "--price", "prices.txt"}
                                    << QStringList{
                                           OrderTitles,
                                           QStringLiteral("00042\tБолт М8\tB-8\tЗавод А\t3\t11.00 р.\t33.00 р."),
                                           QStringLiteral("00043\tГайка М8\t\tЗавод Б\t10\t2.90 р.\t29.00 р."), missing,
                                           QStringLiteral("Сумма: 62.00 р.")};
    QTest::newRow("a price list in dollars")
        << QStringList{"DefaultCurrency=$"} << QStringList{"order", "order.txt", "--price", "dollars.txt"}
        << repriced + QStringList{QStringLiteral("Сумма: 34.75 $")};
    QTest::newRow("an order without lines")
        << QStringList() << QStringList{"order", "empty.txt", "--price", "prices.txt"}
        << QStringList{OrderTitles, QStringLiteral("Сумма: 0.00 р.")};
    QTest::newRow("parts hidden by a price filter are re-priced too")
        << QStringList() << QStringList{"order", "order.txt", "--price", "prices.txt", "--filter", "Code=777"}
        << repriced + QStringList{QStringLiteral("Сумма: 69.50 р.")};
    QTest::newRow("own file read with the separator ;")
        << QStringList{"defaultPriceSeparator=;"} << QStringList{"order", "order.txt"}
        << QStringList{OrderTitles, QStringLiteral("00042\tБолт (старое имя)\tOLD\tСтарый завод\t3\t0.00 р.\t0.00 р."),
                       QStringLiteral("00043\tГайка М8\t\t\t10\t0.00 р.\t0.00 р."), missing,
                       QStringLiteral("Сумма: 0.00 р.")};
    QTest::newRow("CR CR LF line ends and blank lines")
        << QStringList() << QStringList{"order", "doubled.txt", "--price", "prices.txt"}
        << repriced + QStringList{QStringLiteral("Сумма: 69.50 р.")};
}

void TestCli::orderGrid()
{
    QFETCH(QStringList, userIni);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    writePriceList();
    writeOrder();
    write(QStringLiteral("empty.txt"), {QStringLiteral("ЗАКАЗ:")});
    QStringList dollars = TextFile::readLines(path(QStringLiteral("prices.txt")));
    dollars.prepend(QStringLiteral("курс|2|Доллар|$"));
    write(QStringLiteral("dollars.txt"), dollars);
    QFile doubled(path(QStringLiteral("doubled.txt")));
    QVERIFY(doubled.open(QIODevice::WriteOnly));
    QByteArray bytes = TextFile::encodeLines(TextFile::readLines(path(QStringLiteral("order.txt"))));
    doubled.write(bytes.replace("\r\n", "\r\r\n\r\r\n"));
    doubled.close();
    if (!userIni.isEmpty())
        write(QStringLiteral("user.ini"), userIni);

    const Result result = cli(arguments);
    QVERIFY2(result.code == 0, qPrintable(result.err));
    // Coordinated, the line the price list lacks is named on stderr.
    const bool coordinated =
        arguments.contains(QStringLiteral("--price")) && !expected.filter(QStringLiteral("00777")).isEmpty();
    QCOMPARE(result.err,
             coordinated ? QStringLiteral("Согласовано: 2 строк, не найдено в прайс-листе: 1\n"
                                          "ordix-cli: Нет в текущем прайс-листе: 00777 Нет в прайсе\n")
                         : QString());
    QCOMPARE(outputLines(result.out), expected);
}

void TestCli::skippedLinesOnStderr_data()
{
    QTest::addColumn<QStringList>("userIni");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err");

    // user.ini's comma separator: the prices written with a point do not
    // convert, and those rows are dropped as the loader drops them.
    QTest::newRow("price rows that do not convert")
        << QStringList{"defaultDecimalSeparator=,"} << QStringList{"price", "prices.txt"} << 0
        << QStringList{PriceTitles + QStringLiteral("Цена (мелкооптовая)\tГруппа"), "1\t\t00044\tШайба\t\t\t\t\t"}
        << "ordix-cli: Прайс-лист загружен. Пропущено строк с ошибками: 3\n";
    QTest::newRow("price list that yields no row")
        << QStringList{"defaultDecimalSeparator=,"} << QStringList{"price", "points.txt"} << 1 << QStringList()
        << "ordix-cli: В прайс-листе points.txt нет ни одной строки, которую можно прочитать\n";
    QTest::newRow("analogue list longer than its field")
        << QStringList() << QStringList{"price", "long.txt"} << 0
        << QStringList{PriceTitles + QStringLiteral("Цена (мелкооптовая)\tГруппа"), "1\t\t00038\tВтулка\t\t\t\t\t"}
        << "ordix-cli: Прайс-лист загружен. Аналоги обрезаны: 1 строк\n";
    QTest::newRow("order lines that do not read")
        << QStringList() << QStringList{"order", "bad.txt"} << 0
        << QStringList{OrderTitles, QStringLiteral("00043\tГайка М8\t\t\t10\t0.00 р.\t0.00 р."),
                       QStringLiteral("Сумма: 0.00 р.")}
        << "ordix-cli: Заказ загружен. Пропущено строк с ошибками: 4\n";
}

void TestCli::skippedLinesOnStderr()
{
    QFETCH(QStringList, userIni);
    QFETCH(QStringList, arguments);
    QFETCH(int, code);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    writePriceList();
    write(QStringLiteral("points.txt"),
          {QStringLiteral("Код|Наименование|Цена"), QStringLiteral("42|Болт М8|12.50"),
           QStringLiteral("43|Гайка М8|3.20")});
    write(QStringLiteral("long.txt"),
          {QStringLiteral("Код|Наименование|Аналоги(Коды)"),
           QStringLiteral("38|Втулка|") + QStringLiteral("12000,").repeated(40)});
    write(QStringLiteral("bad.txt"),
          {QStringLiteral("ЗАКАЗ:"), QStringLiteral("42|Болт|||0"), QString(), QStringLiteral("42|Болт|||-3"),
           QStringLiteral("43|Гайка М8|||10"), QStringLiteral("42|Болт|||+3"), QStringLiteral("x|Болт|||3")});
    write(QStringLiteral("user.ini"), userIni);

    const Result result = cli(arguments);
    QCOMPARE(result.code, code);
    QCOMPARE(result.err, err);
    QCOMPARE(outputLines(result.out), out);
}

void TestCli::folderOption()
{
    // user.ini and every relative name are taken from DIR, not from where
    // the program runs; OUT is written there too.
    writePriceList();
    writeOrder();
    write(QStringLiteral("user.ini"), {QStringLiteral("Discount=10.00")});
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    TextFile::writeLines(elsewhere.filePath(QStringLiteral("user.ini")), {QStringLiteral("Discount=50.00")});

    const Result printed =
        cli({"--dir", m_dir->path(), "order", "order.txt", "--price", "prices.txt"}, elsewhere.path());
    QVERIFY2(printed.code == 0, qPrintable(printed.err));
    QCOMPARE(outputLines(printed.out).mid(4),
             (QStringList{QStringLiteral("Сумма: 62.55 р."), QStringLiteral("Сумма без учета скидки: 69.50 р.")}));

    const Result exported = cli({QStringLiteral("--dir=") + m_dir->path(), "export", "order.txt", "--price",
                                 "prices.txt", "--to", "txt", "-o", "out.txt"},
                                elsewhere.path());
    QVERIFY2(exported.code == 0, qPrintable(exported.err));
    QVERIFY(exported.out.isEmpty());
    QCOMPARE(TextFile::readLines(path(QStringLiteral("out.txt"))).last(), QStringLiteral("\tВСЕГО\t\t\t\t\t62.55 р."));
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{QStringLiteral("user.ini")});
}

void TestCli::folderLeftAsFound()
{
    writePriceList();
    writeOrder();
    write(QStringLiteral("old.txt"), {QStringLiteral("Код|Наименование|Цена"), QStringLiteral("42|Болт М8|1.00")});
    const QStringList before = folderEntries();
    QVERIFY(cli({"price", "prices.txt", "--compare", "old.txt"}).code == 0);
    QVERIFY(cli({"order", "order.txt", "--price", "prices.txt"}).code == 0);
    QCOMPARE(folderEntries(), before);

    for (const QString target : {"xlsx", "pdf", "txt", "order"}) {
        const QString out = QStringLiteral("out.") + target;
        const Result result = cli({"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", out});
        QVERIFY2(result.code == 0, qPrintable(result.err));
        QStringList expected = before + QStringList{out};
        expected.sort();
        QCOMPARE(folderEntries(), expected);
        QVERIFY(QFile::remove(path(out)));
    }

    // A schema file that was there before keeps its contents.
    QFile schema(path(QStringLiteral("DStruct.xml")));
    QVERIFY(schema.open(QIODevice::WriteOnly));
    schema.write("kept as it was");
    schema.close();
    QVERIFY(cli({"price", "prices.txt"}).code == 0);
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QCOMPARE(schema.readAll(), QByteArray("kept as it was"));
}

void TestCli::readerStoppingEarlyLeavesNoSchemaFile()
{
    // Like "ordix-cli price … | head -1": the reader goes away while the
    // program still prints.
    QStringList lines{QStringLiteral("Код|Наименование|Цена")};
    for (int code = 1; code <= 20000; ++code)
        lines << QStringLiteral("%1|Деталь номер %1 с длинным названием для объёма|%1.25").arg(code);
    write(QStringLiteral("big.txt"), lines);

    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(ORDIX_CLI_PATH), {QStringLiteral("price"), QStringLiteral("big.txt")});
    QVERIFY(process.waitForReadyRead(60000));
    process.closeReadChannel(QProcess::StandardOutput);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(folderEntries(), QStringList{QStringLiteral("big.txt")});
}

void TestCli::schemaFilesNeverGoThroughLinks()
{
    // Links in the schema files' places in the folder, one to a file that
    // does not exist, one to a file that does: the program writes its
    // schema files elsewhere and touches neither.
    QTemporaryDir outside;
    const QString existing = outside.filePath(QStringLiteral("kept.xml"));
    TextFile::writeBytes(existing, "kept");
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("made.xml")), path(QStringLiteral("DStruct.xml"))));
    QVERIFY(QFile::link(existing, path(QStringLiteral("RModels.xml"))));
    writePriceList();
    writeOrder();
    const QStringList before = folderEntries();

    QCOMPARE(cli({"--dir", m_dir->path(), "price", "prices.txt", "--sort", "Name"}).code, 0);
    QCOMPARE(cli({"export", "order.txt", "--price", "prices.txt", "--to", "txt", "-o", "out.txt"}).code, 0);

    QStringList expected = before + QStringList{"out.txt"};
    expected.sort();
    QCOMPARE(folderEntries(), expected);
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"kept.xml"});
    QFile kept(existing);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("kept"));
    QVERIFY(QFileInfo(path(QStringLiteral("DStruct.xml"))).isSymLink());
    QVERIFY(QFileInfo(path(QStringLiteral("RModels.xml"))).isSymLink());
}

// --- the same files through the window ----------------------------------

void TestCli::repricedSumMatchesTheWindow_data()
{
    QTest::addColumn<QStringList>("userIni");
    QTest::addColumn<QStringList>("priceList");
    const QStringList header{QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|ЦенаМелОпт|ЦенаОпт|Статус")};
    const QStringList points{QStringLiteral("42|Болт М8|B-8|Завод А|13.10|12.50|11.00|1"),
                             QStringLiteral("43|Гайка М8||Завод Б|3.33|3.20|2.90|7"),
                             QStringLiteral("15|Лишняя строка|||1|1|1|0")};
    QTest::newRow("discount 12.5") << QStringList{"Customer=ООО Ромашка", "Discount=12.50"} << header + points;
    QTest::newRow("markup, comma separator, special prices")
        << QStringList{"Discount=-7,25", "UserWSL=2", "defaultDecimalSeparator=,"}
        << header
            + QStringList{QStringLiteral("42|Болт М8|B-8|Завод А|13,10|12,50|11,03|1"),
                          QStringLiteral("43|Гайка М8||Завод Б|3,33|3,20|2,97|2")};
    QTest::newRow("dollars, semicolon separator, old order layout")
        << QStringList{"Discount=3.00", "DefaultCurrency=$", "defaultPriceSeparator=;"}
        << QStringList{QStringLiteral("курс;28.5;Доллар;$;32.1;Евро;€"),
                       // The header's markers carry "|" whatever the separator.
                       QStringLiteral("Код;Наименование;Артикул;Производитель;Цена;Код|Наименование"),
                       QStringLiteral("42;Болт М8;B-8;Завод А;1234.56"), QStringLiteral("43;Гайка М8;;Завод Б;99.99")};
}

void TestCli::repricedSumMatchesTheWindow()
{
    QFETCH(QStringList, userIni);
    QFETCH(QStringList, priceList);
    write(QStringLiteral("user.ini"), userIni);
    write(QStringLiteral("prices.txt"), priceList);
    // The older two-line layout, then the current one, which a separator
    // other than "|" makes the reader skip in pairs.
    write(QStringLiteral("order.txt"),
          {QStringLiteral("ЗАКАЗ:"), QStringLiteral("42 Болт"), QStringLiteral("7"), QStringLiteral("43 Гайка"),
           QStringLiteral("13"), QStringLiteral("42|Болт|||2"), QStringLiteral("99|Нет в прайсе|||1")});

    const Result result = cli({"order", "order.txt", "--price", "prices.txt"});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    const QStringList printed = outputLines(result.out);

    const QString previous = QDir::currentPath();
    const auto back = qScopeGuard([&previous] { QDir::setCurrent(previous); });
    QVERIFY(QDir::setCurrent(m_dir->path()));
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    Workspace &ws = form.workspace();
    ws.setPrompts(&prompts);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    prompts.queueFile(path(QStringLiteral("order.txt")));
    form.updateActions();
    form.action(ActionId::OrderFileOpen)->trigger();
    prompts.queueFile(path(QStringLiteral("prices.txt")));
    prompts.queueAnswer(UserPrompts::Answer::No); // no old list to compare with
    form.updateActions();
    form.action(ActionId::PriceDataOpen)->trigger();
    prompts.queueAnswer(UserPrompts::Answer::Yes); // "Вы хотите согласовать заказ сейчас?"
    form.updateActions();
    QVERIFY(form.action(ActionId::CoordinateOrder)->isEnabled());
    QTest::keyClick(&form, Qt::Key_F9);
    // No error: at most the list of the lines the price list lacks.
    for (const QString &message : prompts.messages())
        QVERIFY2(message.startsWith(QStringLiteral("Строк заказа нет в текущем прайс-листе: ")), qPrintable(message));
    QVERIFY(prompts.allAnswersUsed());
    QCOMPARE(prompts.questions().last(), QStringLiteral("Вы хотите согласовать заказ сейчас?"));

    auto *summ = form.findChild<QLabel *>(QStringLiteral("SUMM"));
    QVERIFY(summ);
    QVERIFY(summ->text().startsWith(QStringLiteral("Сумма: ")));
    QVERIFY(summ->text() != QStringLiteral("Сумма: 0.00 р."));
    QStringList shown{summ->text()};
    if (!summ->toolTip().isEmpty())
        shown << summ->toolTip();
    QCOMPARE(printed.mid(printed.size() - shown.size()), shown);
    // The lines above the sum are the window's clipboard text.
    const QString lines = TextExport::clipboardText(ws);
    QCOMPARE(printed.mid(1, printed.size() - 1 - shown.size()), lines.split(QLatin1Char('\n')));
}

void TestCli::exportsMatchTheWindow_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("workbook") << "xlsx";
    QTest::newRow("printed report") << "pdf";
    QTest::newRow("text export") << "txt";
    QTest::newRow("order file") << "order";
}

void TestCli::exportsMatchTheWindow()
{
    QFETCH(QString, target);
    QString reader;
    QStringList readerArguments;
    if (target == QLatin1String("xlsx")) {
        // Every part of the workbook but its creation time.
        reader = findProgram({QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")},
                             {QStringLiteral("-c"), QStringLiteral("import zipfile")});
        if (reader.isEmpty())
            QSKIP("python3 is not installed: the workbook cannot be read back");
        readerArguments = {QStringLiteral("-c"),
                           QStringLiteral("import sys, zipfile\n"
                                          "z = zipfile.ZipFile(sys.argv[1])\n"
                                          "for n in sorted(z.namelist()):\n"
                                          "    if not n.startswith('docProps/'):\n"
                                          "        print(n); print(z.read(n).decode('utf-8'))\n")};
    } else if (target == QLatin1String("pdf")) {
        reader = findProgram({QStringLiteral("pdftotext")}, {QStringLiteral("-v")});
        if (reader.isEmpty())
            QSKIP("pdftotext is not installed: the PDF cannot be read back");
        readerArguments = {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8")};
    }
    const auto contents = [&](const QString &file) {
        if (reader.isEmpty()) {
            QFile raw(file);
            return raw.open(QIODevice::ReadOnly) ? raw.readAll() : QByteArray();
        }
        QProcess process;
        QStringList arguments = readerArguments;
        arguments << file;
        if (target == QLatin1String("pdf"))
            arguments << QStringLiteral("-");
        process.start(reader, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            return QByteArray();
        return process.readAllStandardOutput();
    };

    write(QStringLiteral("user.ini"),
          {QStringLiteral("Customer=ООО \"Ромашка\""), QStringLiteral("Discount=5.00"), QStringLiteral("Pack=yes"),
           QStringLiteral("Delivery=yes"), QStringLiteral("Payment=clearing"), QStringLiteral("Addr=г. Тула"),
           QStringLiteral("Phone=123"), QStringLiteral("Contact=Иванов"), QStringLiteral("INN=7100000000")});
    writePriceList();
    QStringList order{QStringLiteral("ЗАКАЗ:")};
    for (int i = 0; i < 30; ++i)
        order << QStringLiteral("42|Болт|||%1").arg(i + 1) << QStringLiteral("43|Гайка|||2")
              << QStringLiteral("1234567|Амортизатор|||1");
    write(QStringLiteral("order.txt"), order);

    const QString cliOut = path(QStringLiteral("cli.") + target);
    const Result result = cli({"export", "order.txt", "--price", "prices.txt", "--to", target, "-o", cliOut});
    QVERIFY2(result.code == 0, qPrintable(result.err));
    QVERIFY(result.out.isEmpty() && result.err.isEmpty());

    const QString previous = QDir::currentPath();
    const auto back = qScopeGuard([&previous] { QDir::setCurrent(previous); });
    QVERIFY(QDir::setCurrent(m_dir->path()));
    ApplicationWindows windows;
    TMakeOrderForm &form = windows.mainForm();
    ScriptedPrompts prompts;
    Workspace &ws = form.workspace();
    ws.setPrompts(&prompts);
    prompts.queueFile(path(QStringLiteral("order.txt")));
    QVERIFY(ws.execute(ActionId::OrderFileOpen));
    prompts.queueFile(path(QStringLiteral("prices.txt")));
    QVERIFY(ws.execute(ActionId::PriceDataOpen));
    prompts.queueAnswer(UserPrompts::Answer::Yes);
    QVERIFY(ws.execute(ActionId::CoordinateOrder));

    const QString windowOut = path(QStringLiteral("window.") + target);
    if (target == QLatin1String("pdf")) {
        QPrinter printer(QPrinter::HighResolution);
        ReportPainter::setUpPage(&printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(windowOut);
        QVERIFY(windows.listForm().printTo(&printer));
    } else {
        prompts.queueFile(windowOut);
        const QString action = target == QLatin1String("xlsx") ? ActionId::ExportExcel
            : target == QLatin1String("txt")                   ? ActionId::ExportText
                                                               : ActionId::OrderFileSaveAs;
        QVERIFY(ws.execute(action));
    }
    QVERIFY(prompts.allAnswersUsed());
    QVERIFY(prompts.messages().isEmpty());

    const QByteArray fromCli = contents(cliOut);
    QVERIFY(fromCli.size() > 200);
    QCOMPARE(fromCli, contents(windowOut));
    if (target == QLatin1String("pdf"))
        QVERIFY(QString::fromUtf8(fromCli).contains(QStringLiteral("Page 2")));
}

void TestCli::supplierLists_data()
{
    QTest::addColumn<QList<QStringList>>("commands"); // the last one is checked
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err"); // a part of stderr

    const QString item = QStringLiteral("1\t1\tКолодки\t2101-3501090\tВАЗ\t\t1 234.50 р.\tТормоза");
    QTest::newRow("a guess by the header's words is read, and said")
        << QList<QStringList>{{"price", "yug.csv"}} << 0 << QStringList{item} << "угаданы по заголовку";
    QTest::newRow("an unsure guess fails with the command that saves it")
        << QList<QStringList>{{"price", "unsure.csv"}} << 1 << QStringList()
        << "ordix-cli layout save unsure.csv unsure --set code=- --set name=B --set partNumber=A";
    QTest::newRow("a layout saved by column letter reads with no note")
        << QList<QStringList>{{"layout", "save", "unsure.csv", "Север", "--set", "price=Сумма"},
                              {"price", "unsure.csv", "--layout", "Север"}}
        << 0 << QStringList{"1\t1\tБолт\tAB-1\t\t\t1 200.50 р.\t"} << QString();
    QTest::newRow("layout show counts the kinds of rows")
        << QList<QStringList>{{"layout", "show", "yug.csv"}} << 0
        << QStringList{"Строк «над заголовком»\t1", "Строк «заголовок»\t1", "Строк «товар»\t1", "Строк «группа»\t1"}
        << QString();
}

void TestCli::supplierLists()
{
    QFETCH(QList<QStringList>, commands);
    QFETCH(int, code);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    QFile yug(path(QStringLiteral("yug.csv")));
    QVERIFY(yug.open(QIODevice::WriteOnly));
    yug.write(Cp1251::encode(QStringLiteral("Прайс ООО Юг\nАртикул;Номенклатура;Бренд;Цена, руб.\nТормоза\n"
                                            "2101-3501090;Колодки;ВАЗ;\"1 234,50\"\n")));
    yug.close();
    QFile unsure(path(QStringLiteral("unsure.csv")));
    QVERIFY(unsure.open(QIODevice::WriteOnly));
    unsure.write("Артикул;Наименование;Сумма\nAB-1;Болт;1 200,50\nAB-2;Гайка;300,25\n");
    unsure.close();

    Result result;
    for (const QStringList &command : commands)
        result = cli(command);
    QCOMPARE(result.code, code);
    QVERIFY2(result.err.contains(err), qPrintable(result.err));
    const QStringList lines = outputLines(result.out);
    for (const QString &line : out)
        QVERIFY2(lines.contains(line), qPrintable(result.out));
}

QTEST_MAIN(TestCli)
#include "tst_cli.moc"
