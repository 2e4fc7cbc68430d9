#include <QtTest>

#include <QApplication>
#include <QClipboard>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QToolTip>

#include "actionid.h"
#include "main.h"
#include "missinglinedelegate.h"
#include "missinglines.h"
#include "orderfile.h"
#include "orderfixture.h"
#include "orderrecovery.h"
#include "priceloader.h"
#include "silentprogress.h"
#include "testdesktop.h"
#include "textfile.h"

// The five order features in the real main window: the menu entries and
// their keys, a quick order pasted with Ctrl+Shift+V, undo and redo by key,
// the picture of a line missing from the price list, and the recovery of an
// order after the program was killed.
namespace
{

    // Answers the next `count` message boxes (Yes where there is one,
    // otherwise OK) and keeps their texts.
    void answerBoxes(QStringList *texts, int count = 1)
    {
        auto *timer = new QTimer;
        timer->setInterval(10);
        auto last = std::make_shared<QPointer<QMessageBox>>();
        QObject::connect(timer, &QTimer::timeout, [timer, texts, count, last] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box == last->data())
                return;
            *last = box;
            texts->append(box->text());
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
            if (texts->size() >= count) {
                timer->stop();
                timer->deleteLater();
            }
        });
        timer->start();
    }

    // Runs the event loop until it is idle, as between two key presses; the
    // window updates the enabled states then.
    void idle()
    {
        QEventLoop loop;
        QTimer::singleShot(30, &loop, &QEventLoop::quit);
        loop.exec();
    }

    void showAndActivate(TMakeOrderForm &form)
    {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(activateTestWindow(&form));
        idle();
    }

    QImage cellImage(QTableView *grid, int row, int column)
    {
        const QRect rect = grid->visualRect(grid->model()->index(row, column));
        return grid->viewport()->grab(rect).toImage();
    }

    // The program killed after an edit: a window with the recovery on, a
    // quick order pasted by key, then waiting to be killed.
    int runKilledChild()
    {
        QDir::setCurrent(qEnvironmentVariable("ORDIX_RECOVERY_CHILD"));
        TMakeOrderForm form;
        const auto settled = settleOnExit(form);
        Workspace &ws = form.workspace();
        SilentProgress progress;
        ws.setProgress(&progress);
        OrderRecovery::enable(ws);
        PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
        QGuiApplication::clipboard()->setText(QStringLiteral("12\t3\n42\t2\n"));
        form.show();
        if (!QTest::qWaitForWindowExposed(&form) || !activateTestWindow(&form))
            return 3;
        idle();
        QStringList report;
        answerBoxes(&report);
        QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QTextStream(stdout) << "edited " << ws.order().rowCount() << Qt::endl;
        return QApplication::exec();
    }
}

class TestOrderExtrasGui : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void orderMenuAndKeys();
    void pasteUndoRedoByKey();
    void missingLineHasItsOwnPicture();
    void orderOfferedAgainAfterKill();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
};

void TestOrderExtrasGui::init()
{
    m_oldCurrent = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    Decimal::setSeparator(QLatin1Char('.'));
    TextFile::writeLines(QStringLiteral("prices.txt"), StandardPrice);
}

void TestOrderExtrasGui::cleanup()
{
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestOrderExtrasGui::orderMenuAndKeys()
{
    TMakeOrderForm form;
    const auto settled = settleOnExit(form);
    QMenu *order = form.findChild<QMenu *>(QStringLiteral("MIOrder"));
    QVERIFY(order);
    for (const QLatin1StringView name : {ActionId::OrderPasteClipboard, ActionId::OrderUndo, ActionId::OrderRedo})
        QVERIFY2(order->actions().contains(form.action(name)), name.data());
    QCOMPARE(form.action(ActionId::OrderPasteClipboard)->shortcuts(),
             QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Shift+V"))});
    QCOMPARE(form.action(ActionId::OrderUndo)->shortcuts(),
             QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Z"))});
    QCOMPARE(
        form.action(ActionId::OrderRedo)->shortcuts(),
        (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))}));
    // No key runs two commands.
    QHash<QKeySequence, QString> owners;
    for (QAction *action : form.actions()) {
        for (const QKeySequence &key : action->shortcuts()) {
            QVERIFY2(!owners.contains(key),
                     qPrintable(key.toString() + QLatin1Char(' ') + owners.value(key) + QLatin1Char(' ')
                                + action->objectName()));
            owners.insert(key, action->objectName());
        }
    }
    form.updateActions();
    QVERIFY(!form.action(ActionId::OrderPasteClipboard)->isEnabled());
    QVERIFY(!form.action(ActionId::OrderUndo)->isEnabled());
    QCOMPARE(form.action(ActionId::OrderUndo)->text(), QStringLiteral("Отменить"));
}

void TestOrderExtrasGui::pasteUndoRedoByKey()
{
    TMakeOrderForm form;
    const auto settled = settleOnExit(form);
    Workspace &ws = form.workspace();
    SilentProgress progress;
    ws.setProgress(&progress);
    PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
    showAndActivate(form);
    QGuiApplication::clipboard()->setText(QStringLiteral("12\t3\n42\t2\n99\t1\n"));

    QStringList report;
    answerBoxes(&report);
    QTest::keyClick(&form, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(report, QStringList{"Добавлено: 2; изменено: 0; не найдено в прайс-листе: 1 (коды 99)"});
    // The offscreen platform gives the activation back to no window by itself.
    showAndActivate(form);
    QTableView *grid = form.gridOrder();
    QCOMPARE(grid->model()->rowCount(), 2);
    auto *summ = form.findChild<QLabel *>(QStringLiteral("SUMM"));
    QCOMPARE(summ->text(), QStringLiteral("Сумма: 35.00 р."));
    form.updateActions();
    QCOMPARE(form.action(ActionId::OrderUndo)->text(), QStringLiteral("Отменить: вставка заказа из буфера"));

    idle();
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(grid->model()->rowCount(), 0);
    QCOMPARE(summ->text(), QStringLiteral("Сумма: 0.00 р."));
    form.updateActions();
    QCOMPARE(form.action(ActionId::OrderRedo)->text(), QStringLiteral("Повторить: вставка заказа из буфера"));
    idle();
    QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(grid->model()->rowCount(), 2);
    idle();
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
    idle();
    QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(summ->text(), QStringLiteral("Сумма: 35.00 р."));
    QVERIFY(ws.document().isModified());
}

void TestOrderExtrasGui::missingLineHasItsOwnPicture()
{
    TextFile::writeLines(QStringLiteral("o.txt"), {"ЗАКАЗ:", "00042|Гайка|||4", "00099|Фильтр масляный|X|Y|2"});
    TMakeOrderForm form;
    const auto settled = settleOnExit(form);
    Workspace &ws = form.workspace();
    SilentProgress progress;
    ws.setProgress(&progress);
    PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
    OrderFile::read(ws, QStringLiteral("o.txt"));
    showAndActivate(form);
    QTableView *grid = form.gridOrder();
    const QImage plainBefore = cellImage(grid, 1, 1);

    QStringList boxes;
    answerBoxes(&boxes, 2);
    QTest::keyClick(&form, Qt::Key_F9);
    QTRY_COMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0), QStringLiteral("Вы хотите согласовать заказ сейчас?"));
    QVERIFY(boxes.at(1).contains(QStringLiteral("00099 Фильтр масляный")));
    QCOMPARE(form.statusLabel()->text(), QStringLiteral("Согласовано: 1 строк, не найдено в прайс-листе: 1"));
    idle();

    // The missing line shows its own picture, the found one its usual sheet.
    QVERIFY(qobject_cast<MissingLineDelegate *>(grid->itemDelegateForColumn(1)));
    const QImage missing = cellImage(grid, 1, 1);
    QVERIFY(missing != plainBefore);
    QVERIFY(cellImage(grid, 0, 1) != missing);
    // The hint over the picture, and none over the found line's.
    const QPoint missingCell = grid->visualRect(grid->model()->index(1, 1)).center();
    QHelpEvent help(QEvent::ToolTip, missingCell, grid->viewport()->mapToGlobal(missingCell));
    QApplication::sendEvent(grid->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), QStringLiteral("Нет в текущем прайс-листе"));
    const QPoint foundCell = grid->visualRect(grid->model()->index(0, 1)).center();
    QHelpEvent other(QEvent::ToolTip, foundCell, grid->viewport()->mapToGlobal(foundCell));
    QApplication::sendEvent(grid->viewport(), &other);
    QTRY_VERIFY(QToolTip::text() != QStringLiteral("Нет в текущем прайс-листе"));
    QCOMPARE(MissingLines::hint(), QStringLiteral("Нет в текущем прайс-листе"));
}

void TestOrderExtrasGui::orderOfferedAgainAfterKill()
{
    QTemporaryDir data;
    QVERIFY(data.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    env.insert(QStringLiteral("ORDIX_RECOVERY_CHILD"), m_dir->path());
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT(
        (output += child.readAllStandardOutput()).contains("edited 2") || child.state() != QProcess::Running, 20000);
    QVERIFY2(child.state() == QProcess::Running, child.readAllStandardError().constData());

    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QCoreApplication::setApplicationName(QStringLiteral("ZOLT Ordix 3"));
    const QString folder = OrderRecovery::defaultFolder();
    QVERIFY(folder.startsWith(data.path()));
    const auto written = [&folder] {
        return QDir(folder).entryList({QStringLiteral("order*.txt")}, QDir::Files).size();
    };
    QTRY_COMPARE_WITH_TIMEOUT(written(), 1, 5000);
    child.kill(); // SIGKILL: no chance to clean up
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    QCOMPARE(written(), 1);

    // The next start offers the order.
    TMakeOrderForm form;
    const auto settled = settleOnExit(form);
    Workspace &ws = form.workspace();
    SilentProgress progress;
    ws.setProgress(&progress);
    OrderRecovery::enable(ws);
    PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
    QStringList boxes;
    answerBoxes(&boxes);
    showAndActivate(form);
    QTRY_COMPARE(boxes.size(), 1);
    const QString question = boxes.constFirst();
    QVERIFY2(question.startsWith(QStringLiteral("Восстановить несохранённый заказ от ")), qPrintable(question));
    QVERIFY2(question.contains(QStringLiteral(" (2 строк) из папки ")), qPrintable(question));
    QTRY_COMPARE(form.gridOrder()->model()->rowCount(), 2);
    QVERIFY(ws.document().isModified());
    QCOMPARE(form.findChild<QLabel *>(QStringLiteral("SUMM"))->text(), QStringLiteral("Сумма: 35.00 р."));
    qunsetenv("XDG_DATA_HOME");
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("ORDIX_RECOVERY_CHILD"))
        return runKilledChild();
    TestOrderExtrasGui test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_orderextrasgui.moc"
