#include <QtTest>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include "actionid.h"
#include "listrep.h"
#include "orderreport.h"
#include "ordixerror.h"
#include "ordertable.h"
#include "reportpainter.h"
#include "filesizelimit.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "orderfixture.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Line = OrderLine;

    // Three lines worth 1300 in all.
    const QList<Line> ThreeLines{
        {42, QStringLiteral("Болт М8х40"), QStringLiteral("OEM-42"), QStringLiteral("Россия"), 3, 10},
        {123456, QStringLiteral("Гайка М8"), QString(), QStringLiteral("Китай"), 10, 2.5},
        {7, QStringLiteral("Шайба"), QStringLiteral("W7"), QStringLiteral("Тайвань"), 1, 1245},
    };

    QList<Line> manyLines(int count)
    {
        QList<Line> lines;
        for (int i = 1; i <= count; ++i)
            lines << Line{
                i, QStringLiteral("Деталь %1").arg(i), QStringLiteral("OEM%1").arg(i), QStringLiteral("Завод"), 1, 10};
        return lines;
    }

    // Five units a character: widths that the tests can add up by hand.
    double fiveUnitsEach(const QString &text, OrderReport::Font)
    {
        return 5.0 * text.size();
    }

    QString todayText()
    {
        return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    }
}

class TestListRep : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void columnLayoutFromContentWidths();
    void tooWideColumnsLeaveNameReadable();
    void bandIsSharedByContent_data();
    void bandIsSharedByContent();
    void pagination_data();
    void pagination();
    void summaryValuesShareOneLeftEdge_data();
    void summaryValuesShareOneLeftEdge();
    void termsTexts_data();
    void termsTexts();

    void pdfHoldsTitleCustomerTermsAndLines();
    void pdfSummary_data();
    void pdfSummary();
    void pdfThreePages();
    void pdfOfEmptyOrderIsNotWritten();
    void pdfIntoMissingFolderFailsCleanly();
    void pdfWithoutWindowForGivenDay();
    void failedPdfKeepsOldFile();

    void previewShowsAllPages();
    void printDialogCarriesJobTitle();
    void printToPdfProposesWholeTitleInWorkingFolder();
    void clipboardGetsGridText();
    void pdfTableStaysInsideTheBand();
    void statusLineSaysWhatWasDone_data();
    void statusLineSaysWhatWasDone();

private:
    void fillOrder(const QList<Line> &lines, float discount);
    QString printPdf(const QString &name = QStringLiteral("order.pdf"));
    QString pdfText(const QString &path);
    // The words of a PDF's first page with their right and left edges in
    // points, from pdftotext's box listing.
    struct Word
    {
        QString text;
        double left = 0;
        double right = 0;
    };
    QList<Word> pdfWords(const QString &path);

    QString m_pdftotext;
    QTemporaryDir *m_dir = nullptr;
    Workspace *m_ws = nullptr;
    TListForm *m_form = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestListRep::initTestCase()
{
    m_pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
}

void TestListRep::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    m_form = new TListForm;
    m_form->installActions(*m_ws);

    Settings &s = m_ws->settings();
    s.customer = QStringLiteral("ООО Ромашка");
    s.addr = QStringLiteral("г. Тула, ул. Ленина, 1");
    s.phone = QStringLiteral("(4872) 11-22-33");
    s.contact = QStringLiteral("Иванов И. И.");
    s.bank = QStringLiteral("Тульский банк");
    s.bik = QStringLiteral("047003000");
    s.settlementAccount = QStringLiteral("40702810000000000001");
    s.correspondentAccount = QStringLiteral("30101810400000000225");
    s.inn = QStringLiteral("7100000000");
    s.delivery = QStringLiteral("yes");
    s.pack = QStringLiteral("no");
    s.payment = QStringLiteral("clearing");
}

void TestListRep::cleanup()
{
    delete m_form;
    m_form = nullptr;
    delete m_ws;
    m_ws = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

void TestListRep::fillOrder(const QList<Line> &lines, float discount)
{
    ::fillOrder(*m_ws, lines, discount);
}

QString TestListRep::printPdf(const QString &name)
{
    const QString path = m_dir->filePath(name);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    if (!m_form->printTo(&printer))
        return QString();
    // ORDIX_TEST_KEEP names a folder that keeps the PDF files for a look.
    const QString keep = qEnvironmentVariable("ORDIX_TEST_KEEP");
    if (!keep.isEmpty()) {
        QString kept = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            kept += QLatin1Char('-') + QString::fromUtf8(QTest::currentDataTag());
        QFile::remove(keep + QLatin1Char('/') + kept + QStringLiteral(".pdf"));
        QFile::copy(path, keep + QLatin1Char('/') + kept + QStringLiteral(".pdf"));
    }
    return path;
}

QString TestListRep::pdfText(const QString &path)
{
    QProcess process;
    process.start(
        m_pdftotext,
        {QStringLiteral("-layout"), QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

QList<TestListRep::Word> TestListRep::pdfWords(const QString &path)
{
    QProcess process;
    process.start(m_pdftotext,
                  {QStringLiteral("-bbox"), QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                   QStringLiteral("1"), path, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(process.readAllStandardOutput());
    static const QRegularExpression word(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" "
                                                        "xMax=\"([0-9.]+)\" yMax=\"[0-9.]+\">([^<]*)</word>"));
    QList<Word> words;
    for (QRegularExpressionMatchIterator it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        words << Word{match.captured(3), match.captured(1).toDouble(), match.captured(2).toDouble()};
    }
    return words;
}

#define SKIP_WITHOUT_PDFTOTEXT()                                                                                       \
    do {                                                                                                               \
        if (m_pdftotext.isEmpty())                                                                                     \
            QSKIP("pdftotext is not installed: the PDF cannot be read back");                                          \
    } while (false)

void TestListRep::columnLayoutFromContentWidths()
{
    // Titles at 5 units a character; the widest text wins where larger.
    const QList<OrderReport::GridColumnInput> grid{
        {QStringLiteral("Код"), 54}, // 54 beats 15
        {QStringLiteral("Наименование / артикул производителя"), 500},
        {QStringLiteral("OEM номер"), 81}, // 81 beats 45
        {QStringLiteral("Пр-во"), 18},     // the title's 25 beats 18
        {QStringLiteral("Кол-во"), 36},    // 36 beats 30
        {QStringLiteral("Цена"), 90},      // 90
        {QStringLiteral("Итого"), 90.9},   // rounds up to 91
    };
    const QList<OrderReport::Column> columns = OrderReport::layColumns(grid, 1, fiveUnitsEach);
    QCOMPARE(columns.size(), 7);
    QList<double> widths;
    QList<double> lefts;
    QList<bool> right;
    for (const OrderReport::Column &c : columns) {
        widths << c.width;
        lefts << c.left;
        right << c.rightAligned;
    }
    // The table runs from 1 to 574 with six gaps of 4: the name takes
    // 575 − 2 − 24 − (54 + 81 + 25 + 36 + 90 + 91) = 172.
    QCOMPARE(widths, (QList<double>{54, 172, 81, 25, 36, 90, 91}));
    QCOMPARE(lefts, (QList<double>{1, 59, 235, 320, 349, 389, 483}));
    QCOMPARE(columns.last().left + columns.last().width, OrderReport::BandWidth - 1);
    QCOMPARE(right, (QList<bool>{false, false, false, false, true, true, true}));
    QCOMPARE(columns.at(1).title, QStringLiteral("Наименование / артикул производителя"));
}

void TestListRep::tooWideColumnsLeaveNameReadable()
{
    // An OEM column 700 pixels wide would leave the name a negative width.
    const QList<OrderReport::GridColumnInput> grid{
        {QStringLiteral("Код"), 54},   {QStringLiteral("Наименование"), 270}, {QStringLiteral("OEM номер"), 630},
        {QStringLiteral("Пр-во"), 18}, {QStringLiteral("Кол-во"), 36},        {QStringLiteral("Цена"), 90},
        {QStringLiteral("Итого"), 90},
    };
    const QList<OrderReport::Column> columns = OrderReport::layColumns(grid, 1, fiveUnitsEach);
    double total = 0;
    for (const OrderReport::Column &c : columns) {
        QVERIFY(c.width > 0);
        total += c.width;
    }
    QCOMPARE(columns.at(1).width >= 40, true);
    QCOMPARE(total, 549.0);
    QVERIFY(columns.last().left + columns.last().width <= OrderReport::BandWidth - 1);
}

void TestListRep::bandIsSharedByContent_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("producer");
    QTest::addColumn<bool>("nameWhole");
    QTest::newRow("a long name beside a short maker") << QString(62, QChar(u'Д')) << "Китай" << true;
    QTest::newRow("a long maker") << QString(50, QChar(u'Д')) << "Республика Корея" << true;
    QTest::newRow("a name longer than the band") << QString(120, QChar(u'Д')) << "Китай" << false;
}

void TestListRep::bandIsSharedByContent()
{
    QFETCH(QString, name);
    QFETCH(QString, producer);
    QFETCH(bool, nameWhole);
    fillOrder({{42, name, QStringLiteral("OEM1"), producer, 1, 10},
               {7, QStringLiteral("Шайба"), QString(), QStringLiteral("Тайвань"), 3, 2}},
              0);
    const OrderReport report = OrderReport::prepare(*m_ws, QDate(2026, 12, 8), fiveUnitsEach);
    QCOMPARE(report.columns.size(), 7);
    // Every column but the name is as wide as its title or its widest text.
    double others = 0;
    for (int c = 0; c < report.columns.size(); ++c) {
        if (c == 1)
            continue;
        double widest = fiveUnitsEach(report.columns.at(c).title, OrderReport::Font::ColumnTitle);
        for (const QStringList &line : report.lines)
            widest = qMax(widest, fiveUnitsEach(line.at(c), OrderReport::Font::Detail));
        QCOMPARE(report.columns.at(c).width, widest);
        others += widest;
    }
    // The name has the rest of the band, and is cut only when that is short.
    QCOMPARE(report.columns.at(1).width, OrderReport::BandWidth - 2 - 6 * 4 - others);
    QCOMPARE(report.columns.at(1).width >= fiveUnitsEach(name, OrderReport::Font::Detail), nameWhole);
}

void TestListRep::pagination_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("pages"); // per page: lines, "+S" when the summary follows

    QTest::newRow("empty order: nothing") << 0 << "";
    QTest::newRow("one line") << 1 << "1+S";
    QTest::newRow("30 lines leave room for the summary") << 30 << "30+S";
    QTest::newRow("31 lines push the summary over") << 31 << "31 0+S";
    QTest::newRow("34 lines fill the first page") << 34 << "34 0+S";
    QTest::newRow("35 lines") << 35 << "34 1+S";
    QTest::newRow("three pages") << 100 << "34 50 16+S";
}

void TestListRep::pagination()
{
    QFETCH(int, lines);
    QFETCH(QString, pages);
    QStringList got;
    int next = 0;
    for (const OrderReport::Page &page : OrderReport::paginate(lines)) {
        QCOMPARE(page.number, got.size() + 1);
        QCOMPARE(page.hasTitle, page.number == 1);
        QCOMPARE(page.firstLine, next);
        next += page.lineCount;
        got << QString::number(page.lineCount) + (page.hasSummary ? QStringLiteral("+S") : QString());
    }
    QCOMPARE(got.join(QLatin1Char(' ')), pages);
}

void TestListRep::summaryValuesShareOneLeftEdge_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<double>("valueLeft");

    // The widest value at 5 units a character ends 4 units before 575.
    QTest::newRow("no discount") << 0.0f << QStringList{"К оплате:=1 300.00 р."} << 516.0;
    QTest::newRow("discount 12.5") << 12.5f
                                   << QStringList{"К оплате:=1 137.50 р.", "Скидка:=12.50%",
                                                  "Сумма без учета скидки:=1 300.00 р."}
                                   << 516.0;
    QTest::newRow("markup 3") << -3.0f
                              << QStringList{"К оплате:=1 339.00 р.", "Наценка:=3.00%",
                                             "Стоимость без наценки :=1 300.00 р."}
                              << 516.0;
    QTest::newRow("accumulative 100") << 100.0f << QStringList{"К оплате:=1 300.00 р.", "Скидка:=Накопит"} << 516.0;
    QTest::newRow("markup 7.5, short totals")
        << -7.5f << QStringList{"К оплате:=32.25 р.", "Наценка:=7.50%", "Стоимость без наценки :=30.00 р."} << 531.0;
}

void TestListRep::summaryValuesShareOneLeftEdge()
{
    QFETCH(float, discount);
    QFETCH(QStringList, rows);
    QFETCH(double, valueLeft);
    fillOrder(discount == -7.5f ? QList<Line>{ThreeLines.first()} : ThreeLines, discount);
    const OrderReport report = OrderReport::prepare(*m_ws, QDate(2026, 12, 8), fiveUnitsEach);
    QStringList got;
    for (const OrderReport::Row &row : report.summary)
        got << row.caption + QLatin1Char('=') + row.value;
    QCOMPARE(got, rows);
    QCOMPARE(report.summaryValueLeft, valueLeft);
    QCOMPARE(report.title, QStringLiteral("Заказ на 08.12.2026"));
    QCOMPARE(report.printedText, QStringLiteral("Printed 08.12.2026"));
}

void TestListRep::termsTexts_data()
{
    QTest::addColumn<QString>("delivery");
    QTest::addColumn<QString>("pack");
    QTest::addColumn<QString>("payment");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("yes, yes, clearing") << "yes"
                                        << "yes"
                                        << "clearing"
                                        << QStringList{"Необходима доставка товара", "Необходима упаковка товара",
                                                       "Безналичный расчет"};
    QTest::newRow("capital Yes counts as no")
        << "Yes"
        << "YES"
        << "Clearing" << QStringList{"Доставка товара не нужна", "Упаковка товара не нужна", "Наличный расчет"};
    QTest::newRow("empty settings") << ""
                                    << ""
                                    << ""
                                    << QStringList{"Доставка товара не нужна", "Упаковка товара не нужна",
                                                   "Наличный расчет"};
}

void TestListRep::termsTexts()
{
    QFETCH(QString, delivery);
    QFETCH(QString, pack);
    QFETCH(QString, payment);
    QFETCH(QStringList, texts);
    m_ws->settings().delivery = delivery;
    m_ws->settings().pack = pack;
    m_ws->settings().payment = payment;
    fillOrder(ThreeLines, 0);
    const OrderReport report = OrderReport::prepare(*m_ws, QDate(2026, 12, 8), fiveUnitsEach);
    QCOMPARE((QStringList{report.deliveryText, report.packingText, report.paymentText}), texts);
}

void TestListRep::pdfHoldsTitleCustomerTermsAndLines()
{
    SKIP_WITHOUT_PDFTOTEXT();
    QList<Line> lines = ThreeLines;
    lines[2].name = QStringLiteral("Шайба ") + QString(194, QLatin1Char('W'));
    fillOrder(lines, 0);
    const QString path = printPdf();
    QVERIFY(!path.isEmpty());
    const QString text = pdfText(path);
    QVERIFY(!text.isEmpty());

    QVERIFY(text.contains(QStringLiteral("Заказ на ") + todayText()));
    const QStringList customer{
        "Заказчик:\\s+ООО Ромашка",
        "Адрес:\\s+г. Тула, ул. Ленина, 1",
        "Банк:\\s+Тульский банк",
        "БИК:\\s+047003000",
        "Расчетный счет:\\s+40702810000000000001",
        // The caption's second word starts with a Latin "c".
        "Кор. cчет:\\s+30101810400000000225",
        "ИНН:\\s+7100000000",
        "Телефон/факс:\\s+\\(4872\\) 11-22-33",
        "Контактное лицо:\\s+Иванов И. И.",
    };
    int previous = -1;
    for (const QString &row : customer) {
        const QRegularExpressionMatch match = QRegularExpression(row).match(text);
        QVERIFY2(match.hasMatch(), qPrintable(row));
        QVERIFY2(match.capturedStart() > previous, qPrintable(row + QStringLiteral(" out of order")));
        previous = int(match.capturedStart());
    }
    QVERIFY(QRegularExpression(QStringLiteral("Необходима доставка товара\\s+Упаковка товара не нужна"))
                .match(text)
                .hasMatch());
    QVERIFY(text.contains(QStringLiteral("Способ оплаты: Безналичный расчет")));

    QVERIFY(QRegularExpression(QStringLiteral("Код\\s+Наименование / артикул производителя\\s+OEM номер\\s+Пр-во\\s+"
                                              "Кол-во\\s+Цена\\s+Итого"))
                .match(text)
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("00042\\s+Болт М8х40\\s+OEM-42\\s+Россия\\s+3\\s+10.00 р.\\s+30.00 р."))
                .match(text)
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("123456\\s+Гайка М8\\s+Китай\\s+10\\s+2.50 р.\\s+25.00 р."))
                .match(text)
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("00007\\s+Шайба W+")).match(text).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("1 245.00 р.\\s+1 245.00 р.")).match(text).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("К оплате:\\s+1 300.00 р.")).match(text).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("Printed ") + todayText() + QStringLiteral("\\s+Page 1"))
                .match(text)
                .hasMatch());
    QCOMPARE(text.count(QLatin1Char('\f')), 1);
}

void TestListRep::pdfSummary_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("no discount") << 0.0f << QStringList{"К оплате:\\s+1 300.00 р."}
                                 << QStringList{"Скидка:", "Наценка:", "Сумма без учета", "Стоимость без"};
    QTest::newRow("discount 12.5") << 12.5f
                                   << QStringList{"К оплате:\\s+1 137.50 р.", "Скидка:\\s+12.50%",
                                                  "Сумма без учета скидки:\\s+1 300.00 р."}
                                   << QStringList{"Наценка:"};
    QTest::newRow("markup 3") << -3.0f
                              << QStringList{"К оплате:\\s+1 339.00 р.", "Наценка:\\s+3.00%",
                                             "Стоимость без наценки :\\s+1 300.00 р."}
                              << QStringList{"Скидка:"};
    QTest::newRow("accumulative 100") << 100.0f << QStringList{"К оплате:\\s+1 300.00 р.", "Скидка:\\s+Накопит"}
                                      << QStringList{"Сумма без учета", "%"};
    QTest::newRow("accumulative 250") << 250.0f << QStringList{"К оплате:\\s+1 300.00 р.", "Скидка:\\s+Накопит"}
                                      << QStringList{"Сумма без учета", "%"};
}

void TestListRep::pdfSummary()
{
    SKIP_WITHOUT_PDFTOTEXT();
    QFETCH(float, discount);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    fillOrder(ThreeLines, discount);
    const QString text = pdfText(printPdf());
    QVERIFY(!text.isEmpty());
    for (const QString &pattern : present)
        QVERIFY2(QRegularExpression(pattern).match(text).hasMatch(), qPrintable(pattern));
    for (const QString &pattern : absent)
        QVERIFY2(!QRegularExpression(pattern).match(text).hasMatch(), qPrintable(pattern));
}

void TestListRep::pdfThreePages()
{
    SKIP_WITHOUT_PDFTOTEXT();
    fillOrder(manyLines(100), 0);
    m_ws->order().setRowNumber(40);
    const QString text = pdfText(printPdf());
    QVERIFY(!text.isEmpty());
    const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    QCOMPARE(pages.size(), 3);
    for (int p = 0; p < 3; ++p) {
        const QString &page = pages.at(p);
        QVERIFY(page.contains(QStringLiteral("Наименование / артикул производителя")));
        QVERIFY(QRegularExpression(QStringLiteral("Printed ") + todayText() + QStringLiteral("\\s+Page ")
                                   + QString::number(p + 1))
                    .match(page)
                    .hasMatch());
        QCOMPARE(page.contains(QStringLiteral("Заказчик:")), p == 0);
        QCOMPARE(page.contains(QStringLiteral("К оплате:")), p == 2);
    }
    // Every line, each on its page: 34, then 50, then 16.
    for (int i = 1; i <= 100; ++i) {
        const int page = i <= 34 ? 0 : i <= 84 ? 1 : 2;
        const QRegularExpression line(QStringLiteral("%1\\s+Деталь %2\\s+OEM%2\\s+Завод\\s+1\\s+10.00 р.\\s+10.00 р.")
                                          .arg(i, 5, 10, QLatin1Char('0'))
                                          .arg(i));
        QVERIFY2(line.match(pages.at(page)).hasMatch(), qPrintable(QString::number(i)));
    }
    QVERIFY(QRegularExpression(QStringLiteral("К оплате:\\s+1 000.00 р.")).match(pages.at(2)).hasMatch());
    // Printing leaves the order where it was.
    QCOMPARE(m_ws->order().rowNumber(), 40);
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestListRep::pdfOfEmptyOrderIsNotWritten()
{
    fillOrder({}, 0);
    QVERIFY(printPdf().isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestListRep::pdfIntoMissingFolderFailsCleanly()
{
    fillOrder(ThreeLines, 0);
    bool failed = false;
    try {
        printPdf(QStringLiteral("missing/order.pdf"));
    } catch (const OrdixError &error) {
        failed = true;
        QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось создать файл ")), qPrintable(error.message()));
    }
    QVERIFY(failed);
    QVERIFY(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestListRep::pdfWithoutWindowForGivenDay()
{
    SKIP_WITHOUT_PDFTOTEXT();
    fillOrder(ThreeLines, 0);
    const QString path = m_dir->filePath(QStringLiteral("cli.pdf"));
    QVERIFY(ReportPainter::writePdf(*m_ws, QDate(2026, 12, 8), path));
    const QString text = pdfText(path);
    QVERIFY(text.contains(QStringLiteral("Заказ на 08.12.2026")));
    QVERIFY(QRegularExpression(QStringLiteral("Printed 08.12.2026\\s+Page 1")).match(text).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("К оплате:\\s+1 300.00 р.")).match(text).hasMatch());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("cli.pdf")});
}

void TestListRep::failedPdfKeepsOldFile()
{
    fillOrder(manyLines(100), 0);
    const QString path = m_dir->filePath(QStringLiteral("order.pdf"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old report");
    }
    bool failed = false;
    {
        FileSizeLimit limit(4096);
        FILE_SIZE_LIMIT_OR_SKIP(limit);
        try {
            printPdf();
        } catch (const OrdixError &error) {
            failed = true;
            QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось записать файл ")),
                     qPrintable(error.message()));
        }
    }
    QVERIFY(failed);
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old report"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("order.pdf")});
}

void TestListRep::previewShowsAllPages()
{
    fillOrder(manyLines(100), 5);
    m_ws->order().setRowNumber(7);
    int pageCount = -1;
    QString title;
    bool suspendedMeanwhile = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->printer()->docName();
        suspendedMeanwhile = m_ws->order().viewsSuspended();
        if (auto *preview = dialog->findChild<QPrintPreviewWidget *>()) {
            preview->updatePreview();
            pageCount = preview->pageCount();
        }
        dialog->reject();
    });
    QVERIFY(m_ws->execute(ActionId::PrinterPreviewOrder));
    QCOMPARE(pageCount, 3);
    QCOMPARE(title, QStringLiteral("Заказ на ") + todayText());
    QVERIFY(suspendedMeanwhile);
    QCOMPARE(m_ws->order().rowNumber(), 7);
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestListRep::printDialogCarriesJobTitle()
{
    fillOrder(ThreeLines, 0);
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->printer()->docName();
        dialog->reject();
    });
    QVERIFY(m_ws->execute(ActionId::PrinterPrintOrder));
    QCOMPARE(title, QStringLiteral("Заказ на ") + todayText());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestListRep::printToPdfProposesWholeTitleInWorkingFolder()
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    const auto back = qScopeGuard([previous] { QDir::setCurrent(previous); });
    fillOrder(ThreeLines, 0);
    const QString expected =
        QDir(m_dir->path()).absoluteFilePath(QStringLiteral("Заказ на ") + todayText() + QStringLiteral(".pdf"));
    QString proposed;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("filename")))
            proposed = name->text();
        // Print to the file as proposed.
        if (auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers")))
            printers->setCurrentIndex(printers->count() - 1);
        dialog->accept();
    });
    QVERIFY(m_ws->execute(ActionId::PrinterPrintOrder));
    QCOMPARE(proposed, QDir::toNativeSeparators(expected));
    QVERIFY(QFile::exists(expected));
    QCOMPARE(m_ws->label(Workspace::Label::Status),
             QStringLiteral("Заказ напечатан в PDF: ") + QDir::toNativeSeparators(expected));
}

void TestListRep::pdfTableStaysInsideTheBand()
{
    SKIP_WITHOUT_PDFTOTEXT();
    QList<Line> lines = ThreeLines;
    lines[0].name = QStringLiteral("Амортизатор передний левый газомасляный серия большая усиленная");
    lines[0].catalogId = QStringLiteral("DT-2821E");
    lines[0].price = 10691.44;
    lines[0].count = 50;
    fillOrder(lines, 0);
    const QString path = printPdf();
    QVERIFY(!path.isEmpty());
    const QList<Word> words = pdfWords(path);
    QVERIFY(!words.isEmpty());

    // Nothing runs past the right margin of 10 mm.
    const double bandRight = (OrderReport::PageWidthMm - OrderReport::MarginMm) / 25.4 * 72;
    for (const Word &word : words)
        QVERIFY2(word.right <= bandRight + 0.5, qPrintable(word.text + QStringLiteral(" ends at %1").arg(word.right)));

    // The long name is cut with "…" and ends before the OEM number.
    const auto at = [&words](const QString &text) {
        for (const Word &word : words) {
            if (word.text.contains(text))
                return word;
        }
        return Word{};
    };
    const Word cut = at(QStringLiteral("…"));
    const Word oem = at(QStringLiteral("DT-2821E"));
    QVERIFY(!cut.text.isEmpty());
    QCOMPARE(oem.text, QStringLiteral("DT-2821E"));
    QVERIFY(cut.right < oem.left);
    QVERIFY(at(QStringLiteral("Амортизатор")).right < oem.left);
}

void TestListRep::statusLineSaysWhatWasDone_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("status");
    QTest::newRow("save") << "OrderFileSave"
                          << "Мой заказ.txt"
                          << "Заказ сохранён: %1";
    QTest::newRow("text export") << "ExportText"
                                 << "заказ.txt"
                                 << "Экспорт в текстовый файл: %1";
    QTest::newRow("workbook export") << "ExportExcel"
                                     << "заказ.xlsx"
                                     << "Экспорт в MS Excel: %1";
    QTest::newRow("clipboard") << "ExportClipboard"
                               << ""
                               << "Заказ скопирован в буфер обмена";
}

void TestListRep::statusLineSaysWhatWasDone()
{
    QFETCH(QString, action);
    QFETCH(QString, file);
    QFETCH(QString, status);
    fillOrder(ThreeLines, 0);
    m_ws->setLabel(Workspace::Label::Status, QStringLiteral("Список моделей загружен"));
    const QString path = m_dir->filePath(file);
    if (!file.isEmpty())
        m_prompts.queueFile(path);
    QVERIFY(m_ws->execute(action));
    QVERIFY(m_prompts.messages().isEmpty());
    QCOMPARE(m_ws->label(Workspace::Label::Status),
             file.isEmpty() ? status : status.arg(QDir::toNativeSeparators(path)));

    // Nothing done, nothing said: a cancelled dialog leaves the line alone.
    if (!file.isEmpty()) {
        m_ws->document().setFileName(QString());
        m_ws->setLabel(Workspace::Label::Status, QString());
        QVERIFY(m_ws->execute(action));
        QCOMPARE(m_ws->label(Workspace::Label::Status), QString());
    }
}

void TestListRep::clipboardGetsGridText()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    fillOrder({ThreeLines.at(0), ThreeLines.at(2)}, 10);
    QVERIFY(m_ws->execute(ActionId::ExportClipboard));
    QCOMPARE(clipboard->text(),
             QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t10.00 р.\t30.00 р.\n"
                            "00007\tШайба\tW7\tТайвань\t1\t1 245.00 р.\t1 245.00 р."));
    QCOMPARE(m_ws->order().rowNumber(), 2);

    // An open order without lines leaves the clipboard as it was.
    fillOrder({}, 0);
    clipboard->setText(QStringLiteral("before"));
    m_form->ExportClipboardExecute();
    QCOMPARE(clipboard->text(), QStringLiteral("before"));
}

QTEST_MAIN(TestListRep)
#include "tst_listrep.moc"
