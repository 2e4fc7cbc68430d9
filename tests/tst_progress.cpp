#include <QtTest>

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QWindow>

#include "progress.h"
#include "scriptedprompts.h"
#include "textfile.h"

namespace
{
    // Counts the paint events a widget receives.
    class PaintCounter final : public QObject
    {
    public:
        int count = 0;

    protected:
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                ++count;
            return false;
        }
    };

    void postKey(QWidget *target, int key)
    {
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
    }
}

class TestProgress : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startShowsGeneralPercentage_data();
    void startShowsGeneralPercentage();
    void stepShowsTwoDecimals_data();
    void stepShowsTwoDecimals();
    void percentagesUseTheProgramsDecimalSeparator();
    void stepWhileHiddenChangesNothing();
    void stepPastMaximumShowsItAndHides();
    void repaintsOnlyWhenTheTextChanges();
    void waitCursorWhileVisibleAndRestoredAfter();
    void restartWhileVisibleKeepsOneWaitCursor();
    void escapeDuringALoopStopsIt();
    void inputDuringTheOperationIsHeldBack();
    void noStopWithoutEscape();
    void startShowsTheWindowPaintedAtOnce();
    void modalBoxOpenedDuringTheOperationCanBeAnswered_data();
    void modalBoxOpenedDuringTheOperationCanBeAnswered();

private:
    QMainWindow *m_owner = nullptr;
    TProgressDialog *m_progress = nullptr;
};

void TestProgress::init()
{
    Decimal::setSeparator(QLatin1Char('.'));
    m_owner = new QMainWindow;
    m_owner->resize(400, 300);
    m_owner->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_owner));
    m_progress = new TProgressDialog(m_owner);
}

void TestProgress::cleanup()
{
    delete m_progress;
    delete m_owner;
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    Decimal::setSeparator(QLatin1Char('.'));
}

void TestProgress::startShowsGeneralPercentage_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("percent");
    QTest::addColumn<int>("barMaximum");
    QTest::newRow("start at zero") << 0 << 100 << "0%" << 100;
    QTest::newRow("maximum 0 taken as 1") << 0 << 0 << "0%" << 1;
    QTest::newRow("a third, as many digits as needed") << 1 << 3 << "33.3333333333333%" << 3;
    QTest::newRow("no trailing zeros") << 50 << 200 << "25%" << 200;
    QTest::newRow("spreadsheet export starts at 1") << 1 << 100 << "1%" << 100;
}

void TestProgress::startShowsGeneralPercentage()
{
    QFETCH(int, position);
    QFETCH(int, maximum);
    QFETCH(QString, percent);
    QFETCH(int, barMaximum);
    m_progress->startProgress(QStringLiteral("Loading data..."), position, maximum);
    QVERIFY(m_progress->isVisible());
    QCOMPARE(m_progress->windowTitle(), QStringLiteral("Please wait..."));
    QCOMPARE(m_progress->findChild<QLabel *>(QStringLiteral("ProgType"))->text(), QStringLiteral("Loading data..."));
    QCOMPARE(m_progress->findChild<QLabel *>(QStringLiteral("Prog"))->text(), percent);
    QCOMPARE(m_progress->findChild<QProgressBar *>(QStringLiteral("ProgressBar"))->maximum(), barMaximum);
    QVERIFY(!m_progress->isModal());
}

void TestProgress::stepShowsTwoDecimals_data()
{
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("percent");
    QTest::newRow("55 of 100") << 100 << 55 << "55.00%";
    QTest::newRow("1 of 3 rounds down") << 3 << 1 << "33.33%";
    QTest::newRow("2 of 3 rounds up") << 3 << 2 << "66.67%";
    QTest::newRow("plug-in maximum") << 700 << 5 << "0.71%";
}

void TestProgress::stepShowsTwoDecimals()
{
    QFETCH(int, maximum);
    QFETCH(int, position);
    QFETCH(QString, percent);
    m_progress->startProgress(QStringLiteral("Comparing prices..."), 0, maximum);
    m_progress->stepProgress(position);
    QCOMPARE(m_progress->percentText(), percent);
    QCOMPARE(m_progress->position(), position);
    QVERIFY(m_progress->isVisible());
}

void TestProgress::percentagesUseTheProgramsDecimalSeparator()
{
    Decimal::setSeparator(QLatin1Char(','));
    m_progress->startProgress(QStringLiteral("Creating order..."), 1, 3);
    QCOMPARE(m_progress->percentText(), QStringLiteral("33,3333333333333%"));
    m_progress->stepProgress(2);
    QCOMPARE(m_progress->percentText(), QStringLiteral("66,67%"));
}

void TestProgress::stepWhileHiddenChangesNothing()
{
    m_progress->stepProgress(40);
    QVERIFY(!m_progress->isVisible());
    QCOMPARE(m_progress->position(), 0);
    QCOMPARE(m_progress->percentText(), QString());
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestProgress::stepPastMaximumShowsItAndHides()
{
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    m_progress->stepProgress(101);
    QCOMPARE(m_progress->percentText(), QStringLiteral("101.00%"));
    QCOMPARE(m_progress->position(), 100);
    QVERIFY(!m_progress->isVisible());
    QVERIFY(!m_progress->isRunning());
    QVERIFY(!QGuiApplication::overrideCursor());

    // The next operation starts afresh.
    m_progress->startProgress(QStringLiteral("Comparing prices..."), 0, 100);
    QVERIFY(m_progress->isVisible());
    QCOMPARE(m_progress->percentText(), QStringLiteral("0%"));
}

void TestProgress::repaintsOnlyWhenTheTextChanges()
{
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100000);
    QVERIFY(QTest::qWaitForWindowExposed(m_progress));
    PaintCounter counter;
    m_progress->installEventFilter(&counter);

    m_progress->stepProgress(5000);
    QVERIFY(counter.count > 0);
    const int afterChange = counter.count;
    // 5.00% and 5.004% give the same text: nothing is repainted.
    m_progress->stepProgress(5004);
    QCOMPARE(m_progress->percentText(), QStringLiteral("5.00%"));
    QCOMPARE(counter.count, afterChange);
    QCOMPARE(m_progress->position(), 5004);
    // A new text right after a paint may wait for the next step (a fast
    // load is not slowed by a hundred paints); a later one is painted.
    m_progress->stepProgress(5010);
    QCOMPARE(m_progress->percentText(), QStringLiteral("5.01%"));
    QTest::qWait(60);
    m_progress->stepProgress(5020);
    QCOMPARE(m_progress->percentText(), QStringLiteral("5.02%"));
    QVERIFY(counter.count > afterChange);
    m_progress->removeEventFilter(&counter);
}

void TestProgress::waitCursorWhileVisibleAndRestoredAfter()
{
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    m_progress->stepProgress(50);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    m_progress->stepProgress(101);
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestProgress::restartWhileVisibleKeepsOneWaitCursor()
{
    m_progress->startProgress(QStringLiteral("Loading old prices..."), 0, 100);
    m_progress->stepProgress(30);
    m_progress->startProgress(QStringLiteral("Comparing prices..."), 0, 100);
    QCOMPARE(m_progress->operationText(), QStringLiteral("Comparing prices..."));
    QCOMPARE(m_progress->percentText(), QStringLiteral("0%"));
    QCOMPARE(m_progress->position(), 0);
    m_progress->stepProgress(101);
    QVERIFY(!QGuiApplication::overrideCursor());
}

void TestProgress::escapeDuringALoopStopsIt()
{
    ScriptedPrompts prompts;
    const int steps = 2000;
    int done = 0;
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, steps);
    for (int i = 1; i <= steps; ++i) {
        // The user presses Escape a little after the operation began (not
        // by the clock: on a loaded machine the window may take longer to
        // show than a timer would wait).
        if (i == 20)
            postKey(m_owner, Qt::Key_Escape);
        if (m_progress->stopRequested()) {
            prompts.message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information, QString());
            break;
        }
        QThread::msleep(2);
        m_progress->stepProgress(i);
        done = i;
    }
    m_progress->stepProgress(steps + 1);

    QVERIFY2(done < steps, "the loop ran to its end");
    QVERIFY(done > 0);
    QCOMPARE(prompts.messages(), QStringList{QStringLiteral("Action stopped")});
    QVERIFY(!m_progress->isVisible());
    // Each press is reported once.
    QVERIFY(!m_progress->stopRequested());
}

void TestProgress::inputDuringTheOperationIsHeldBack()
{
    auto *edit = new QLineEdit(m_owner);
    m_owner->setCentralWidget(edit);
    edit->setFocus();
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    // The operation lets events through only while it polls.
    postKey(edit, Qt::Key_A);
    QVERIFY(!m_progress->stopRequested());
    m_progress->stepProgress(101);
    QCoreApplication::processEvents();
    QCOMPARE(edit->text(), QString());

    // Outside an operation the same keys arrive as usual.
    QTest::keyClick(edit, Qt::Key_B);
    QCOMPARE(edit->text(), QStringLiteral("b"));
}

void TestProgress::noStopWithoutEscape()
{
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    int polls = 0;
    for (int i = 0; i < 20; ++i) {
        if (m_progress->stopRequested())
            break;
        ++polls;
        QThread::msleep(5);
    }
    QCOMPARE(polls, 20);
    m_progress->stepProgress(101);
}

void TestProgress::startShowsTheWindowPaintedAtOnce()
{
    PaintCounter painted;
    m_progress->findChild<QLabel *>(QStringLiteral("ProgType"))->installEventFilter(&painted);
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    // The operation goes on at once, without the event loop: the window must
    // already be on the screen with its text drawn.
    QVERIFY(m_progress->windowHandle());
    QVERIFY(m_progress->windowHandle()->isExposed());
    QVERIFY(painted.count > 0);
    m_progress->stepProgress(100);
}

void TestProgress::modalBoxOpenedDuringTheOperationCanBeAnswered_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("answer");
    QTest::newRow("Enter") << "enter" << int(QMessageBox::Yes);
    QTest::newRow("Escape") << "escape" << int(QMessageBox::No);
    QTest::newRow("closing its window") << "close" << int(QMessageBox::No);
}

void TestProgress::modalBoxOpenedDuringTheOperationCanBeAnswered()
{
    QFETCH(QString, how);
    QFETCH(int, answer);
    m_progress->startProgress(QStringLiteral("Loading data..."), 0, 100);
    constexpr int Unanswered = -2;
    int result = -1;
    // A question asked from inside the operation (a catalogue plug-in's
    // question during a load) while the progress window polls.
    QTimer::singleShot(0, m_owner, [&] {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Question"), QStringLiteral("Добавить в заказ?"),
                        QMessageBox::Yes | QMessageBox::No, m_owner);
        box.setDefaultButton(QMessageBox::Yes);
        QTimer::singleShot(50, &box, [&box, how] {
            if (how == QLatin1String("enter"))
                QTest::keyClick(&box, Qt::Key_Return);
            else if (how == QLatin1String("escape"))
                QTest::keyClick(&box, Qt::Key_Escape);
            else
                box.close();
        });
        // Kept from hanging the test when the answer does not arrive.
        QTimer::singleShot(3000, &box, [&box] { box.done(Unanswered); });
        result = box.exec();
    });
    QElapsedTimer waited;
    waited.start();
    bool stopped = false;
    while (result == -1 && waited.elapsed() < 10000) {
        stopped = m_progress->stopRequested() || stopped;
        QThread::msleep(5);
    }
    QCOMPARE(result, answer);
    // An Escape that answered the box does not stop the operation.
    QVERIFY(!stopped);
    QVERIFY(!m_progress->stopRequested());
    m_progress->stepProgress(100);
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
