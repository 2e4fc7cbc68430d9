#include <QtTest>

#include "actionid.h"
#include "cp1251.h"
#include "filesizelimit.h"
#include "ordertable.h"
#include "ordixerror.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "orderfixture.h"
#include "testworkspace.h"
#include "textexport.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Line = OrderLine;

    const Line Bolt{42, QStringLiteral("Болт М8х40"), QStringLiteral("OEM-42"), QStringLiteral("Россия"), 3, 100};
    const Line Washer{123456, QStringLiteral("Шайба"), QString(), QStringLiteral("Тайвань"), 2, 1234.5};

    const QByteArray Head = Cp1251::encode(
        u"Код\tНаименование / артикул производителя\tКаталожный номер\tПроизводство\tКоличество\tЦена за ед.\tИТОГО\n");

    QByteArray readFile(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray("<unreadable>");
        return file.readAll();
    }
}

class TestTextExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headerIsWindows1251();
    void exportFile_data();
    void exportFile();
    void dialogAndOrderStateUntouched();
    void cancelledDialogWritesNothing();
    void unwritableTarget_data();
    void unwritableTarget();
    void failedReplacementKeepsOldFile();

    void clipboardText_data();
    void clipboardText();
    void clipboardLeavesLastLineCurrent();
    void clipboardFollowsColumnOrder();

private:
    void fillOrder(const QList<Line> &lines, float discount);
    QString exportPath() const { return m_dir->filePath(QStringLiteral("export.txt")); }

    QTemporaryDir *m_dir = nullptr;
    Workspace *m_ws = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestTextExport::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
}

void TestTextExport::cleanup()
{
    delete m_ws;
    m_ws = nullptr;
    delete m_dir;
    m_dir = nullptr;
    Decimal::setSeparator(QLatin1Char('.'));
}

void TestTextExport::fillOrder(const QList<Line> &lines, float discount)
{
    ::fillOrder(*m_ws, lines, discount);
}

void TestTextExport::headerIsWindows1251()
{
    fillOrder({Bolt}, 0);
    m_prompts.queueFile(exportPath());
    QVERIFY(m_ws->execute(ActionId::ExportText));
    // "Код" and a TAB in Windows-1251.
    QVERIFY(readFile(exportPath()).startsWith(QByteArray("\xCA\xEE\xE4\t")));
}

void TestTextExport::exportFile_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<float>("rate");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QList<Line>>("lines");
    QTest::addColumn<QString>("body"); // after the head line; LF stands for CR LF

    QTest::newRow("discount 10: prices and total discounted")
        << 10.0f << 1.0f << QChar('.') << QList<Line>{Bolt}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t90.00\t270.00\n"
                          "\tВСЕГО\t\t\t\t\t270.00 р.\n");
    QTest::newRow("accumulative 150: undiscounted")
        << 150.0f << 1.0f << QChar('.') << QList<Line>{Bolt, Washer}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t100.00\t300.00\n"
                          "123456\tШайба\t\tТайвань\t2\t1234.50\t2469.00\n"
                          "\tВСЕГО\t\t\t\t\t2 769.00 р.\n");
    QTest::newRow("rate 2: prices halved, total in the currency")
        << 0.0f << 2.0f << QChar('.') << QList<Line>{Bolt, Washer}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t50.00\t150.00\n"
                          "123456\tШайба\t\tТайвань\t2\t617.25\t1234.50\n"
                          "\tВСЕГО\t\t\t\t\t1 384.50 $\n");
    QTest::newRow("markup 5 with decimal comma")
        << -5.0f << 1.0f << QChar(',') << QList<Line>{Bolt}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t105,00\t315,00\n"
                          "\tВСЕГО\t\t\t\t\t315,00 р.\n");
}

void TestTextExport::exportFile()
{
    QFETCH(float, discount);
    QFETCH(float, rate);
    QFETCH(QChar, separator);
    QFETCH(QList<Line>, lines);
    QFETCH(QString, body);

    Decimal::setSeparator(separator);
    if (rate != 1.0f)
        m_ws->settings().currentCurrency = RCurrency{rate, QStringLiteral("Доллар"), QStringLiteral("$")};
    fillOrder(lines, discount);
    m_prompts.queueFile(exportPath());
    QVERIFY(m_ws->execute(ActionId::ExportText));

    QByteArray expected = Head + Cp1251::encode(body);
    expected.replace("\n", "\r\n");
    const QByteArray written = readFile(exportPath());
    // Line by line first, readable on failure.
    QCOMPARE(Cp1251::decode(written).split(QStringLiteral("\r\n")),
             Cp1251::decode(expected).split(QStringLiteral("\r\n")));
    QCOMPARE(written, expected);
}

void TestTextExport::dialogAndOrderStateUntouched()
{
    fillOrder({Bolt, Washer}, 0);
    m_ws->order().setRowNumber(1);
    m_ws->document().setFileName(QStringLiteral("/orders/old.txt"));
    m_ws->document().setModified(true);
    m_ws->setLabel(Workspace::Label::OrderTitle, QStringLiteral("Заказ: old.txt"));
    m_prompts.queueFile(exportPath());
    QVERIFY(m_ws->execute(ActionId::ExportText));

    QCOMPARE(m_prompts.records().size(), 1);
    const UserPrompts::FileDialog &dialog = m_prompts.records().first().dialog;
    QCOMPARE(m_prompts.records().first().kind, QStringLiteral("save"));
    QCOMPARE(dialog.title, QStringLiteral("Экспорт заказа в виде текстового файла"));
    QCOMPARE(dialog.filter, QStringLiteral("Текстовый файл (*.txt)|*.txt"));
    QCOMPARE(dialog.defaultExtension, QStringLiteral("txt"));
    QCOMPARE(dialog.fileName, QString());
    QVERIFY(dialog.overwritePrompt);

    QCOMPARE(m_progress.texts(), QStringList{QStringLiteral("Creating order...")});
    QVERIFY(!m_progress.isVisible());
    QCOMPARE(m_ws->document().fileName(), QStringLiteral("/orders/old.txt"));
    QVERIFY(m_ws->document().isModified());
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: old.txt"));
    QCOMPARE(m_ws->order().rowNumber(), 1);
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestTextExport::cancelledDialogWritesNothing()
{
    fillOrder({Bolt}, 0);
    QVERIFY(m_ws->execute(ActionId::ExportText));
    QVERIFY(m_progress.texts().isEmpty());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files).isEmpty());
}

void TestTextExport::unwritableTarget_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("folder that does not exist") << QStringLiteral("missing/export.txt");
    QTest::newRow("name longer than the file system takes") << QString(300, QLatin1Char('x')) + QStringLiteral(".txt");
    QTest::newRow("name holding a zero character") << QStringLiteral("bad") + QChar(0) + QStringLiteral("name.txt");
    QTest::newRow("a folder in place of the file") << QStringLiteral("folder");
}

void TestTextExport::unwritableTarget()
{
    QFETCH(QString, name);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder")));
    fillOrder({Bolt}, 0);
    m_prompts.queueFile(m_dir->filePath(name));
    bool failed = false;
    try {
        m_ws->execute(ActionId::ExportText);
    } catch (const OrdixError &error) {
        failed = true;
        QVERIFY2(error.message().startsWith(QStringLiteral("Не удалось")), qPrintable(error.message()));
    }
    QVERIFY(failed);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(!m_progress.isVisible());
}

void TestTextExport::failedReplacementKeepsOldFile()
{
    QList<Line> lines;
    for (int i = 0; i < 100; ++i)
        lines << Line{i + 1, QString(200, QChar(u'Ж')), QString(), QString(), 1, 1};
    fillOrder(lines, 0);
    {
        QFile old(exportPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old export");
    }
    m_prompts.queueFile(exportPath());
    bool failed = false;
    {
        FileSizeLimit limit(4096);
        FILE_SIZE_LIMIT_OR_SKIP(limit);
        try {
            m_ws->execute(ActionId::ExportText);
        } catch (const OrdixError &) {
            failed = true;
        }
    }
    QVERIFY(failed);
    QCOMPARE(readFile(exportPath()), QByteArray("old export"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("export.txt")});
}

void TestTextExport::clipboardText_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<float>("rate");
    QTest::addColumn<QList<Line>>("lines");
    QTest::addColumn<QString>("text");

    QTest::newRow("two lines: one LF, none after the last")
        << 0.0f << 1.0f << QList<Line>{Bolt, Washer}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t100.00 р.\t300.00 р.\n"
                          "123456\tШайба\t\tТайвань\t2\t1 234.50 р.\t2 469.00 р.");
    QTest::newRow("one line: no LF at all")
        << 0.0f << 1.0f << QList<Line>{Bolt}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t100.00 р.\t300.00 р.");
    QTest::newRow("discount 10 and rate 2: stored prices with р.")
        << 10.0f << 2.0f << QList<Line>{Bolt}
        << QStringLiteral("00042\tБолт М8х40\tOEM-42\tРоссия\t3\t100.00 р.\t300.00 р.");
    QTest::newRow("no lines: empty") << 0.0f << 1.0f << QList<Line>{} << QString();
}

void TestTextExport::clipboardText()
{
    QFETCH(float, discount);
    QFETCH(float, rate);
    QFETCH(QList<Line>, lines);
    QFETCH(QString, text);
    if (rate != 1.0f)
        m_ws->settings().currentCurrency = RCurrency{rate, QStringLiteral("Доллар"), QStringLiteral("$")};
    fillOrder(lines, discount);
    const QString got = TextExport::clipboardText(*m_ws);
    QCOMPARE(got, text);
    QCOMPARE(got.count(QLatin1Char('\n')), std::max(int(lines.size()) - 1, 0));
}

void TestTextExport::clipboardLeavesLastLineCurrent()
{
    fillOrder({Bolt, Washer, Bolt}, 0);
    m_ws->order().setRowNumber(1);
    TextExport::clipboardText(*m_ws);
    QCOMPARE(m_ws->order().rowNumber(), 3);
    QVERIFY(!m_ws->order().viewsSuspended());
}

void TestTextExport::clipboardFollowsColumnOrder()
{
    fillOrder({Bolt}, 0);
    // The user dragged the amount column in front of the name.
    GridLayout &grid = m_ws->grid(Workspace::Grid::Order);
    grid.columns.move(8, 3);
    QCOMPARE(TextExport::clipboardText(*m_ws),
             QStringLiteral("00042\t300.00 р.\tБолт М8х40\tOEM-42\tРоссия\t3\t100.00 р."));
}

QTEST_GUILESS_MAIN(TestTextExport)
#include "tst_textexport.moc"
