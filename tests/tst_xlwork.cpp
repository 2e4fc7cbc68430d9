#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "actionid.h"
#include "filesizelimit.h"
#include "ordertable.h"
#include "ordixerror.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "orderfixture.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"
#include "xl_work.h"

namespace
{
    using Line = OrderLine;

    // Three lines worth 1300 in all: 30 + 25 + 1245.
    const QList<Line> ThreeLines{
        {42, QStringLiteral("Болт М8х40"), QStringLiteral("OEM-42"), QStringLiteral("Россия"), 3, 10},
        {123456, QStringLiteral("Гайка М8"), QString(), QStringLiteral("Китай"), 10, 2.5},
        {7, QStringLiteral("Шайба"), QStringLiteral("W7"), QStringLiteral("Тайвань"), 1, 1245},
    };

    // Reads a workbook back with openpyxl and prints what the tests look at
    // as JSON: sheets, merged areas, widths, heights and every styled cell.
    const char *ReaderScript = R"PY(
import json, sys
import openpyxl

wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.worksheets[0]

def color(c):
    if c is None:
        return None
    if c.type == 'rgb':
        return c.rgb
    if c.type == 'auto' or c.auto:
        return 'auto'
    return '%s:%s' % (c.type, c.value)

def side(s):
    if s is None or s.style is None:
        return None
    return [s.style, color(s.color)]

out = {
    'sheets': wb.sheetnames,
    'merges': sorted(str(r) for r in ws.merged_cells.ranges),
    'defaultRowHeight': ws.sheet_format.defaultRowHeight,
    'widths': {},
    'heights': {},
    'cells': {},
}
for key, dim in ws.column_dimensions.items():
    out['widths'][key] = dim.width
for key, dim in ws.row_dimensions.items():
    if dim.customHeight and dim.height is not None:
        out['heights'][str(key)] = dim.height
for row in ws.iter_rows(min_row=1, max_row=ws.max_row, max_col=8):
    for c in row:
        b = c.border
        if type(c).__name__ == 'MergedCell':
            # Covered by a merged area: only its lines show.
            out['cells'][c.coordinate] = {
                'merged': True,
                'border': [side(b.left), side(b.top), side(b.right), side(b.bottom)],
            }
            continue
        if c.value is None and not c.has_style:
            continue
        f = c.font
        out['cells'][c.coordinate] = {
            'v': c.value,
            'font': [f.name, f.sz, bool(f.b), bool(f.i), f.u, color(f.color)],
            'fill': c.fill.fgColor.rgb if c.fill.fill_type == 'solid' else None,
            'align': c.alignment.horizontal,
            'fmt': c.number_format,
            'border': [side(b.left), side(b.top), side(b.right), side(b.bottom)],
        }
ps = ws.page_setup
fit = ws.sheet_properties.pageSetUpPr
out['page'] = {
    'paper': str(ps.paperSize),
    'fitToPage': bool(fit.fitToPage) if fit is not None else False,
    'fitWidth': str(ps.fitToWidth),
    'fitHeight': str(ps.fitToHeight),
    'titleRows': str(ws.print_title_rows),
    'area': str(ws.print_area),
}
print(json.dumps(out, ensure_ascii=False))
)PY";

    const QString LabelFont = QStringLiteral("Times New Roman Cyr");
    const QString Navy = QStringLiteral("FF000080");
    const QString Black = QStringLiteral("FF000000");

    QString todayText()
    {
        return QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    }
}

class TestXlWork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void actionIsShownAsXlsxExport();
    void saveDialogProposesSafeName();
    void cancelledDialogWritesNothing();

    void sheetLayout();
    void customerBlockAndTerms();
    void orderTable();
    void totals_data();
    void totals();
    void oneLineOrder();
    void longNameKeepsColumnAtMost42();
    void emptySettingsAndAwkwardTexts();
    void orderIsLeftAsItWas();
    void textsShowAsTyped_data();
    void textsShowAsTyped();
    void pageSetupForPaper();

    void unwritableTarget_data();
    void unwritableTarget();
    void failedReplacementKeepsOldFile();

private:
    void fillOrder(const QList<Line> &lines, float discount);
    QJsonObject exportAndRead();
    QJsonObject readWorkbook(const QString &path);
    static QJsonObject cell(const QJsonObject &book, const QString &address);
    static QJsonArray border(const QJsonObject &book, const QString &address, int side);
    // The column's width as the application shows it, in pixels: the file
    // keeps it in characters of 7 pixels with 5 pixels of padding.
    static int widthPixels(const QJsonObject &book, const QString &column);

    QString m_python;
    QTemporaryDir *m_dir = nullptr;
    Workspace *m_ws = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestXlWork::initTestCase()
{
    // The reader may sit in the system's Python rather than the first on the path.
    for (const QString &candidate : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        QProcess probe;
        probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
        if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) {
            m_python = candidate;
            break;
        }
    }
}

void TestXlWork::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);

    Settings &s = m_ws->settings();
    s.customer = QStringLiteral("ООО Ромашка");
    s.addr = QStringLiteral("г. Тула, ул. Ленина, 1");
    s.phone = QStringLiteral("(4872) 00-00-00");
    s.contact = QStringLiteral("Иванов И. И.");
    s.bank = QStringLiteral("Банк «Тульский»");
    s.bik = QStringLiteral("047003000");
    s.settlementAccount = QStringLiteral("40702810000000000001");
    s.correspondentAccount = QStringLiteral("30101810400000000225");
    s.inn = QStringLiteral("7100000000");
    s.delivery = QStringLiteral("yes");
    s.pack = QStringLiteral("no");
    s.payment = QStringLiteral("clearing");
}

void TestXlWork::cleanup()
{
    delete m_ws;
    m_ws = nullptr;
    delete m_dir;
    m_dir = nullptr;
}

void TestXlWork::fillOrder(const QList<Line> &lines, float discount)
{
    ::fillOrder(*m_ws, lines, discount);
}

QJsonObject TestXlWork::readWorkbook(const QString &path)
{
    QProcess reader;
    reader.start(m_python, {QStringLiteral("-c"), QString::fromUtf8(ReaderScript), path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        qWarning() << reader.readAllStandardError();
        return QJsonObject();
    }
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

QJsonObject TestXlWork::exportAndRead()
{
    if (m_python.isEmpty())
        return QJsonObject();
    const QString path = m_dir->filePath(QStringLiteral("order.xlsx"));
    m_prompts.queueFile(path);
    if (!m_ws->execute(ActionId::ExportExcel) || !QFileInfo::exists(path))
        return QJsonObject();
    // ORDIX_TEST_KEEP names a folder that keeps the workbooks for a look.
    const QString keep = qEnvironmentVariable("ORDIX_TEST_KEEP");
    if (!keep.isEmpty()) {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            name += QLatin1Char('-') + QString::fromUtf8(QTest::currentDataTag()).section(QLatin1Char(':'), 0, 0);
        QFile::remove(keep + QLatin1Char('/') + name + QStringLiteral(".xlsx"));
        QFile::copy(path, keep + QLatin1Char('/') + name + QStringLiteral(".xlsx"));
    }
    return readWorkbook(path);
}

QJsonObject TestXlWork::cell(const QJsonObject &book, const QString &address)
{
    return book.value(QStringLiteral("cells")).toObject().value(address).toObject();
}

QJsonArray TestXlWork::border(const QJsonObject &book, const QString &address, int side)
{
    return cell(book, address).value(QStringLiteral("border")).toArray().at(side).toArray();
}

int TestXlWork::widthPixels(const QJsonObject &book, const QString &column)
{
    const double width = book.value(QStringLiteral("widths")).toObject().value(column).toDouble();
    return int(std::lround(width * 7)) - 5;
}

namespace
{
    enum Side
    {
        Left,
        Top,
        Right,
        Bottom
    };

    QJsonArray fontOf(const QJsonObject &cell)
    {
        return cell.value(QStringLiteral("font")).toArray();
    }

    QJsonArray font(const QString &name, double size, bool bold, bool italic, bool underline, const QString &color)
    {
        return QJsonArray{name, size, bold, italic, underline ? QJsonValue(QStringLiteral("single")) : QJsonValue(),
                          color};
    }

    QJsonArray line(const QString &style, const QString &color)
    {
        return QJsonArray{style, color};
    }
}

#define SKIP_WITHOUT_READER()                                                                                          \
    do {                                                                                                               \
        if (m_python.isEmpty())                                                                                        \
            QSKIP("python3 with openpyxl is not installed: the workbook cannot be read back");                         \
    } while (false)

void TestXlWork::actionIsShownAsXlsxExport()
{
    const ActionList::Action &action = m_ws->actions().get(ActionId::ExportExcel);
    QVERIFY(action.visible);
    QCOMPARE(action.caption, QStringLiteral("В формат MS Excel (xlsx)"));
    QVERIFY(XL_Work::SpreadsheetInstalled());
    // Enabled only with order lines.
    QVERIFY(!m_ws->actions().isEnabled(ActionId::ExportExcel));
    fillOrder(ThreeLines, 0);
    QVERIFY(m_ws->actions().isEnabled(ActionId::ExportExcel));
}

void TestXlWork::saveDialogProposesSafeName()
{
    m_ws->settings().customer = QStringLiteral("Ромашка/Юг: филиал");
    fillOrder(ThreeLines, 0);
    QVERIFY(m_ws->execute(ActionId::ExportExcel));
    QCOMPARE(m_prompts.records().size(), 1);
    const ScriptedPrompts::Record &record = m_prompts.records().first();
    QCOMPARE(record.kind, QStringLiteral("save"));
    QCOMPARE(record.dialog.title, QStringLiteral("Экспорт заказа в формате MS Excel"));
    QCOMPARE(record.dialog.filter, QStringLiteral("Файл MS Excel (*.xlsx)|*.xlsx"));
    QCOMPARE(record.dialog.defaultExtension, QStringLiteral("xlsx"));
    QVERIFY(record.dialog.overwritePrompt);
    QCOMPARE(record.dialog.fileName,
             QStringLiteral("order Ромашка(Юг- филиал ") + todayText() + QStringLiteral(".xlsx"));
}

void TestXlWork::cancelledDialogWritesNothing()
{
    fillOrder(ThreeLines, 0);
    QVERIFY(m_ws->execute(ActionId::ExportExcel));
    QVERIFY(m_progress.texts().isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestXlWork::sheetLayout()
{
    SKIP_WITHOUT_READER();
    fillOrder(ThreeLines, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());

    QCOMPARE(book.value(QStringLiteral("sheets")).toArray(), QJsonArray{QStringLiteral("Заказ")});
    QCOMPARE(m_progress.texts(), QStringList{QStringLiteral("Экспорт в формат MS Excel")});
    QCOMPARE(m_progress.steps(), (QList<int>{90, 101}));
    QVERIFY(!m_progress.isVisible());

    // Title.
    const QJsonObject title = cell(book, QStringLiteral("B2"));
    QCOMPARE(title.value(QStringLiteral("v")).toString(), QStringLiteral("Заказ на ") + todayText());
    QCOMPARE(fontOf(title), font(LabelFont, 16, true, true, true, Navy));
    QCOMPARE(title.value(QStringLiteral("align")).toString(), QStringLiteral("center"));
    QCOMPARE(title.value(QStringLiteral("fill")).toString(), QStringLiteral("FFFFFFFF"));

    // Merged areas: title, nine values, the total.
    const QJsonArray merges = book.value(QStringLiteral("merges")).toArray();
    QCOMPARE(merges,
             (QJsonArray{"B2:G2", "C11:F11", "C13:F13", "C15:F15", "C17:F17", "C19:F19", "C21:F21", "C5:F5", "C7:F7",
                         "C9:F9", "E33:G33"}));

    // Heights: the whole sheet in Arial 8, the spacers, the larger fonts.
    QCOMPARE(book.value(QStringLiteral("defaultRowHeight")).toDouble(), 11.25);
    const QJsonObject heights = book.value(QStringLiteral("heights")).toObject();
    QCOMPARE(heights.value(QStringLiteral("2")).toDouble(), 20.25);
    QCOMPARE(heights.value(QStringLiteral("3")).toDouble(), 5.0);
    for (int row = 4; row <= 22; row += 2)
        QCOMPARE(heights.value(QString::number(row)).toDouble(), 4.5);
    QCOMPARE(heights.value(QStringLiteral("5")).toDouble(), 15.75);
    QCOMPARE(heights.value(QStringLiteral("23")).toDouble(), 4.5);
    QCOMPARE(heights.value(QStringLiteral("24")).toDouble(), 15.0);
    QCOMPARE(heights.value(QStringLiteral("25")).toDouble(), 4.5);
    QCOMPARE(heights.value(QStringLiteral("28")).toDouble(), 12.75);
    QCOMPARE(heights.value(QStringLiteral("29")).toDouble(11.25), 11.25);
    QVERIFY(!heights.contains(QStringLiteral("27")));
    QCOMPARE(heights.value(QStringLiteral("33")).toDouble(), 15.75);

    // Widths follow the table: column A's widest text is "123456" in Arial 8
    // (35.6 pixels) plus 3 pixels of room; E the header "Кол-во" in bold 10
    // (44.5 pixels) plus 3.
    QCOMPARE(widthPixels(book, QStringLiteral("A")), 39);
    QCOMPARE(widthPixels(book, QStringLiteral("E")), 48);
    const int name = widthPixels(book, QStringLiteral("B"));
    QVERIFY2(name > 200 && name <= 42 * 7, qPrintable(QString::number(name)));
}

void TestXlWork::customerBlockAndTerms()
{
    SKIP_WITHOUT_READER();
    fillOrder(ThreeLines, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());

    const QStringList labels{"Заказчик",       "Адрес",     "Телефон/факс", "Контактное лицо", "Банк", "БИК",
                             "Расчетный счет", "Кор. счет", "ИНН"};
    const QStringList values{"ООО Ромашка",          "г. Тула, ул. Ленина, 1", "(4872) 00-00-00",
                             "Иванов И. И.",         "Банк «Тульский»",        "047003000",
                             "40702810000000000001", "30101810400000000225",   "7100000000"};
    for (int i = 0; i < 9; ++i) {
        const QString row = QString::number(5 + 2 * i);
        const QJsonObject label = cell(book, QStringLiteral("B") + row);
        QCOMPARE(label.value(QStringLiteral("v")).toString(), labels.at(i));
        QCOMPARE(fontOf(label), font(LabelFont, 12, true, true, true, Navy));
        QCOMPARE(label.value(QStringLiteral("align")).toString(), QStringLiteral("right"));
        const QJsonObject value = cell(book, QStringLiteral("C") + row);
        QCOMPARE(value.value(QStringLiteral("v")).toString(), values.at(i));
        QCOMPARE(fontOf(value), font(LabelFont, 10, true, false, false, Black));
        QCOMPARE(value.value(QStringLiteral("align")).toString(), QStringLiteral("left"));
        QCOMPARE(value.value(QStringLiteral("fmt")).toString(), QStringLiteral("@"));
        QCOMPARE(border(book, QStringLiteral("C") + row, Bottom), line("thin", "auto"));
        QCOMPARE(border(book, QStringLiteral("F") + row, Bottom), line("thin", "auto"));
    }

    // The frame around B4:G22.
    QCOMPARE(border(book, QStringLiteral("B4"), Top), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("B4"), Left), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("G4"), Right), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("B13"), Left), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("G13"), Right), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("D22"), Bottom), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("G22"), Bottom), line("thin", Black));
    QVERIFY(border(book, QStringLiteral("D13"), Left).isEmpty());

    const QJsonObject delivery = cell(book, QStringLiteral("B24"));
    QCOMPARE(delivery.value(QStringLiteral("v")).toString(), QStringLiteral("Необходима доставка товара"));
    QCOMPARE(fontOf(delivery), font("Arial Cyr", 11, true, false, false, "FF808080"));
    QCOMPARE(delivery.value(QStringLiteral("align")).toString(), QStringLiteral("left"));
    const QJsonObject packing = cell(book, QStringLiteral("F24"));
    QCOMPARE(packing.value(QStringLiteral("v")).toString(), QStringLiteral("Упаковка товара не нужна"));
    QCOMPARE(packing.value(QStringLiteral("align")).toString(), QStringLiteral("right"));
    QCOMPARE(fontOf(packing), font("Arial Cyr", 11, true, false, false, "FF808080"));
    QCOMPARE(cell(book, QStringLiteral("B26")).value(QStringLiteral("v")).toString(),
             QStringLiteral("Способ оплаты: Безналичный расчет"));
    QCOMPARE(fontOf(cell(book, QStringLiteral("D25"))), font("Arial Cyr", 11, true, false, false, "FF808080"));
}

void TestXlWork::orderTable()
{
    SKIP_WITHOUT_READER();
    fillOrder(ThreeLines, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());

    const QStringList titles{"Код",  "Наименование / артикул производителя", "OEM номер", "Пр-во", "Кол-во", "Цена",
                             "Итого"};
    for (int c = 0; c < 7; ++c) {
        const QString address = QString(QChar('A' + c)) + QStringLiteral("28");
        const QJsonObject title = cell(book, address);
        QCOMPARE(title.value(QStringLiteral("v")).toString(), titles.at(c));
        QCOMPARE(fontOf(title), font("Arial Cyr", 10, true, false, false, Black));
        QCOMPARE(title.value(QStringLiteral("fill")).toString(), QStringLiteral("FFC0C0C0"));
        QCOMPARE(title.value(QStringLiteral("align")).toString(), QStringLiteral("center"));
        QCOMPARE(border(book, address, Top), line("thin", Black));
        QCOMPARE(border(book, address, Bottom), line("thin", "auto"));
    }
    QCOMPARE(border(book, QStringLiteral("A28"), Left), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("A28"), Right), line("dotted", "auto"));
    QCOMPARE(border(book, QStringLiteral("G28"), Right), line("thin", Black));

    const QList<QStringList> rows{
        {"00042", "Болт М8х40", "OEM-42", "Россия", "3", "10.00 р.", "30.00 р."},
        {"123456", "Гайка М8", "", "Китай", "10", "2.50 р.", "25.00 р."},
        {"00007", "Шайба", "W7", "Тайвань", "1", "1 245.00 р.", "1 245.00 р."},
    };
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 7; ++c) {
            const QString address = QString(QChar('A' + c)) + QString::number(29 + r);
            const QJsonObject value = cell(book, address);
            const QJsonValue text = value.value(QStringLiteral("v"));
            QCOMPARE(text.isNull() ? QString() : text.toString(), rows.at(r).at(c));
            QCOMPARE(fontOf(value), font("Arial Cyr", 8, false, false, false, Black));
            QCOMPARE(value.value(QStringLiteral("fmt")).toString(), QStringLiteral("@"));
            QCOMPARE(value.value(QStringLiteral("fill")).toString(), QStringLiteral("FFFFFFFF"));
            QCOMPARE(value.value(QStringLiteral("align")).toString(), c >= 4 ? QStringLiteral("right") : QString());
        }
    }
    // Frame outside, dotted lines inside.
    QCOMPARE(border(book, QStringLiteral("A29"), Left), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("A29"), Top), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("A29"), Right), line("dotted", "auto"));
    QCOMPARE(border(book, QStringLiteral("A29"), Bottom), line("dotted", "auto"));
    QCOMPARE(border(book, QStringLiteral("D30"), Left), line("dotted", "auto"));
    QCOMPARE(border(book, QStringLiteral("D30"), Top), line("dotted", "auto"));
    QCOMPARE(border(book, QStringLiteral("G30"), Right), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("G31"), Bottom), line("thin", Black));
    QCOMPARE(border(book, QStringLiteral("C31"), Bottom), line("thin", Black));
    // Nothing in the empty row below the table.
    QVERIFY(cell(book, QStringLiteral("A32")).isEmpty());
}

void TestXlWork::totals_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<QString>("payable");
    QTest::addColumn<QString>("rateCaption");
    QTest::addColumn<QJsonValue>("rate");
    QTest::addColumn<QString>("baseCaption");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QJsonArray>("merges");

    QTest::newRow("no discount: only the payable row")
        << 0.0f << "1 300.00 р." << QString() << QJsonValue() << QString() << QString() << QJsonArray{"E33:G33"};
    QTest::newRow("discount 5: rate and undiscounted total")
        << 5.0f << "1 235.00 р."
        << "Скидка:" << QJsonValue(0.05) << "Сумма без учета скидки:"
        << "1 300.00 р." << QJsonArray{"E33:G33", "E34:G34", "E35:G35"};
    QTest::newRow("markup 10: captions of a markup, rate without sign")
        << -10.0f << "1 430.00 р."
        << "Наценка:" << QJsonValue(0.1) << "Стоимость без наценки :"
        << "1 300.00 р." << QJsonArray{"E33:G33", "E34:G34", "E35:G35"};
    QTest::newRow("accumulative 150: no third row")
        << 150.0f << "1 300.00 р."
        << "Скидка:" << QJsonValue("Накопит.") << QString() << QString() << QJsonArray{"E33:G33", "E34:G34"};
}

void TestXlWork::totals()
{
    SKIP_WITHOUT_READER();
    QFETCH(float, discount);
    QFETCH(QString, payable);
    QFETCH(QString, rateCaption);
    QFETCH(QJsonValue, rate);
    QFETCH(QString, baseCaption);
    QFETCH(QString, base);
    QFETCH(QJsonArray, merges);

    fillOrder(ThreeLines, discount);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());

    const QJsonObject toPay = cell(book, QStringLiteral("D33"));
    QCOMPARE(toPay.value(QStringLiteral("v")).toString(), QStringLiteral("К оплате:"));
    QCOMPARE(fontOf(toPay), font(LabelFont, 12, true, true, true, Navy));
    QCOMPARE(toPay.value(QStringLiteral("align")).toString(), QStringLiteral("right"));
    const QJsonObject total = cell(book, QStringLiteral("E33"));
    QCOMPARE(total.value(QStringLiteral("v")).toString(), payable);
    QCOMPARE(fontOf(total), font(LabelFont, 12, true, false, false, Black));
    QCOMPARE(total.value(QStringLiteral("align")).toString(), QStringLiteral("right"));
    QCOMPARE(border(book, QStringLiteral("G33"), Bottom), line("thin", "auto"));

    QJsonArray allMerges = book.value(QStringLiteral("merges")).toArray();
    QJsonArray totalMerges;
    for (const QJsonValue &m : allMerges) {
        if (m.toString().startsWith(QLatin1Char('E')))
            totalMerges << m;
    }
    QCOMPARE(totalMerges, merges);

    if (rateCaption.isEmpty()) {
        QVERIFY(cell(book, QStringLiteral("D34")).isEmpty());
        QVERIFY(cell(book, QStringLiteral("E34")).isEmpty());
        return;
    }
    QCOMPARE(cell(book, QStringLiteral("D34")).value(QStringLiteral("v")).toString(), rateCaption);
    QCOMPARE(fontOf(cell(book, QStringLiteral("D34"))), font(LabelFont, 12, true, true, true, Navy));
    const QJsonObject rateCell = cell(book, QStringLiteral("E34"));
    QCOMPARE(rateCell.value(QStringLiteral("v")), rate);
    QCOMPARE(fontOf(rateCell), font(LabelFont, 12, true, false, false, Black));
    QCOMPARE(rateCell.value(QStringLiteral("fmt")).toString(),
             rate.isDouble() ? QStringLiteral("0.00%") : QStringLiteral("@"));
    QCOMPARE(border(book, QStringLiteral("F34"), Bottom), line("thin", "auto"));

    if (baseCaption.isEmpty()) {
        QVERIFY(cell(book, QStringLiteral("D35")).isEmpty());
        return;
    }
    QCOMPARE(cell(book, QStringLiteral("D35")).value(QStringLiteral("v")).toString(), baseCaption);
    QCOMPARE(cell(book, QStringLiteral("E35")).value(QStringLiteral("v")).toString(), base);
    QCOMPARE(cell(book, QStringLiteral("E35")).value(QStringLiteral("align")).toString(), QStringLiteral("right"));
}

void TestXlWork::oneLineOrder()
{
    SKIP_WITHOUT_READER();
    fillOrder({ThreeLines.first()}, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());

    QCOMPARE(cell(book, QStringLiteral("A29")).value(QStringLiteral("v")).toString(), QStringLiteral("00042"));
    // One row: the frame closes it on both sides, no inside horizontal line.
    for (const char *column : {"A", "D", "G"}) {
        const QString address = QLatin1String(column) + QStringLiteral("29");
        QCOMPARE(border(book, address, Top), line("thin", Black));
        QCOMPARE(border(book, address, Bottom), line("thin", Black));
    }
    QCOMPARE(border(book, QStringLiteral("D29"), Left), line("dotted", "auto"));
    QVERIFY(cell(book, QStringLiteral("A30")).isEmpty());
    QCOMPARE(cell(book, QStringLiteral("D31")).value(QStringLiteral("v")).toString(), QStringLiteral("К оплате:"));
    QCOMPARE(cell(book, QStringLiteral("E31")).value(QStringLiteral("v")).toString(), QStringLiteral("30.00 р."));
}

void TestXlWork::longNameKeepsColumnAtMost42()
{
    SKIP_WITHOUT_READER();
    QList<Line> lines = ThreeLines;
    lines[1].name = QString(200, QChar(u'Ж'));
    fillOrder(lines, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());
    QCOMPARE(cell(book, QStringLiteral("B30")).value(QStringLiteral("v")).toString(), QString(200, QChar(u'Ж')));
    QCOMPARE(widthPixels(book, QStringLiteral("B")), 42 * 7);
}

void TestXlWork::emptySettingsAndAwkwardTexts()
{
    SKIP_WITHOUT_READER();
    m_ws->settings() = Settings();
    m_ws->settings().delivery = QStringLiteral("Yes");
    QList<Line> lines = ThreeLines;
    lines[0].name = QStringLiteral("=SUM(A1:A2) <b>&amp;</b> \"кавычки\"");
    fillOrder(lines, 0);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());
    // Empty values still carry their format.
    const QJsonObject customer = cell(book, QStringLiteral("C5"));
    QVERIFY(customer.value(QStringLiteral("v")).isNull());
    QCOMPARE(border(book, QStringLiteral("C5"), Bottom), line("thin", "auto"));
    QCOMPARE(cell(book, QStringLiteral("B24")).value(QStringLiteral("v")).toString(),
             QStringLiteral("Доставка товара не нужна"));
    QCOMPARE(cell(book, QStringLiteral("F24")).value(QStringLiteral("v")).toString(),
             QStringLiteral("Необходима упаковка товара"));
    QCOMPARE(cell(book, QStringLiteral("B26")).value(QStringLiteral("v")).toString(),
             QStringLiteral("Способ оплаты: Наличный расчет"));
    // A text that looks like a formula stays text.
    QCOMPARE(cell(book, QStringLiteral("B29")).value(QStringLiteral("v")).toString(),
             QStringLiteral("=SUM(A1:A2) <b>&amp;</b> \"кавычки\""));
}

void TestXlWork::textsShowAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("an escape of the format") << "Болт _x0041_";
    QTest::newRow("an escaped underscore") << "a_x005F_b";
    QTest::newRow("small hex digits, two runs") << "_x00e9__x0042_";
    QTest::newRow("capital X") << "_X0041_";
    QTest::newRow("too short to be an escape") << "_x41_";
}

void TestXlWork::textsShowAsTyped()
{
    SKIP_WITHOUT_READER();
    QFETCH(QString, name);
    QList<Line> lines = ThreeLines;
    lines[0].name = name;
    fillOrder(lines, 0);
    QVERIFY(!exportAndRead().isEmpty());
    // The texts as a spreadsheet program shows them: each "_xHHHH_" read
    // once, left to right.
    const char *script = R"PY(
import json, re, sys, zipfile
import xml.etree.ElementTree as ET
ns = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
root = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('xl/sharedStrings.xml'))
texts = [''.join(t.text or '' for t in si.iter(ns + 't')) for si in root.iter(ns + 'si')]
print(json.dumps([re.sub('_x([0-9A-Fa-f]{4})_', lambda m: chr(int(m.group(1), 16)), t) for t in texts]))
)PY";
    QProcess reader;
    reader.start(m_python,
                 {QStringLiteral("-c"), QString::fromUtf8(script), m_dir->filePath(QStringLiteral("order.xlsx"))});
    QVERIFY(reader.waitForFinished(60000) && reader.exitCode() == 0);
    const QJsonArray shown = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    QVERIFY2(shown.contains(QJsonValue(name)),
             shown.toVariantList().isEmpty() ? "" : qPrintable(QJsonDocument(shown).toJson()));
}

void TestXlWork::pageSetupForPaper()
{
    SKIP_WITHOUT_READER();
    fillOrder(ThreeLines, 10);
    const QJsonObject book = exportAndRead();
    QVERIFY(!book.isEmpty());
    const QJsonObject page = book.value(QStringLiteral("page")).toObject();
    QCOMPARE(page.value(QStringLiteral("paper")).toString(), QStringLiteral("9"));
    QVERIFY(page.value(QStringLiteral("fitToPage")).toBool());
    // One page across is the format's default, which the file may leave out.
    QVERIFY(QStringList({"1", "None"}).contains(page.value(QStringLiteral("fitWidth")).toString()));
    QCOMPARE(page.value(QStringLiteral("fitHeight")).toString(), QStringLiteral("0"));
    QCOMPARE(page.value(QStringLiteral("titleRows")).toString(), QStringLiteral("$28:$28"));
    // Title (B2) to the last total (three lines: totals in rows 33 to 35).
    QVERIFY2(page.value(QStringLiteral("area")).toString().contains(QStringLiteral("$A$1:$G$35")),
             qPrintable(page.value(QStringLiteral("area")).toString()));
    // Nothing in the cells changed: the table and the totals are where they were.
    QCOMPARE(cell(book, QStringLiteral("D33")).value(QStringLiteral("v")).toString(), QStringLiteral("К оплате:"));
}

void TestXlWork::orderIsLeftAsItWas()
{
    fillOrder(ThreeLines, 5);
    m_ws->order().setRowNumber(2);
    m_ws->document().setModified(true);
    m_ws->document().setFileName(QStringLiteral("C:/orders/old.txt"));
    m_prompts.queueFile(m_dir->filePath(QStringLiteral("order.xlsx")));
    QVERIFY(m_ws->execute(ActionId::ExportExcel));
    QCOMPARE(m_ws->order().rowNumber(), 2);
    QCOMPARE(m_ws->order().rowCount(), 3);
    QVERIFY(!m_ws->order().viewsSuspended());
    QVERIFY(m_ws->document().isModified());
    QCOMPARE(m_ws->document().fileName(), QStringLiteral("C:/orders/old.txt"));
    QCOMPARE(m_ws->document().total(), 1300.0);
}

void TestXlWork::unwritableTarget_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("folder that does not exist") << QStringLiteral("missing/order.xlsx");
    QTest::newRow("name longer than the file system takes") << QString(300, QLatin1Char('x')) + QStringLiteral(".xlsx");
    QTest::newRow("name holding a zero character") << QStringLiteral("bad") + QChar(0) + QStringLiteral("name.xlsx");
    QTest::newRow("a folder in place of the file") << QStringLiteral("folder");
}

void TestXlWork::unwritableTarget()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    fillOrder(ThreeLines, 0);
    m_prompts.queueFile(m_dir->filePath(name));
    bool failed = false;
    try {
        m_ws->execute(ActionId::ExportExcel);
    } catch (const OrdixError &error) {
        failed = true;
        QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось")), qPrintable(error.message()));
    }
    QVERIFY(failed);
    QVERIFY(!m_progress.isVisible());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(m_ws->order().rowCount(), 3);
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestXlWork::failedReplacementKeepsOldFile()
{
    fillOrder(ThreeLines, 0);
    const QString path = m_dir->filePath(QStringLiteral("order.xlsx"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old workbook");
    }
    m_prompts.queueFile(path);
    bool failed = false;
    {
        FileSizeLimit limit(2048);
        FILE_SIZE_LIMIT_OR_SKIP(limit);
        try {
            m_ws->execute(ActionId::ExportExcel);
        } catch (const OrdixError &) {
            failed = true;
        }
    }
    QVERIFY(failed);
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old workbook"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("order.xlsx")});
    QVERIFY(!m_progress.isVisible());
}

QTEST_GUILESS_MAIN(TestXlWork)
#include "tst_xlwork.moc"
