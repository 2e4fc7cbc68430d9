#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScrollBar>
#include <QTableView>

#include "actionid.h"
#include "addtoorder.h"
#include "applicationwindows.h"
#include "gridcontroller.h"
#include "gridheader.h"
#include "lookupgridprice.h"
#include "main.h"
#include "progress.h"
#include "testdesktop.h"
#include "textfile.h"
#include "workspace.h"

// The main window as the program builds it, on a price list loaded at
// start-up, driven by keys and the wheel sent to the window as the window
// system delivers them (to whatever has the focus). Run on the offscreen
// platform and on a real X server.
namespace
{
    constexpr int CodeColumn = 2;
    constexpr int NameColumn = 3;
    constexpr int PriceColumn = 7;
    constexpr int GroupColumn = 8;

    // Answers the windows that the program opens modally, as the user
    // would: "Нет" to each question, and the quantity dialog is counted and
    // cancelled.
    class ModalAnswers final : public QObject
    {
    public:
        ModalAnswers()
        {
            m_timer.setInterval(20);
            connect(&m_timer, &QTimer::timeout, this, [this] {
                QWidget *modal = QApplication::activeModalWidget();
                if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    ++questions;
                    if (QAbstractButton *no = box->button(QMessageBox::No))
                        no->click();
                    else
                        box->reject();
                } else if (auto *quantity = qobject_cast<TAddToOrderForm *>(modal)) {
                    ++quantityDialogs;
                    quantity->reject();
                }
            });
            m_timer.start();
        }

        int questions = 0;
        int quantityDialogs = 0;

    private:
        QTimer m_timer;
    };

    void writePriceList(int rows)
    {
        const QStringList names = {
            QStringLiteral("Болт М%1"), QStringLiteral("Гайка М%1"), QStringLiteral("Амортизатор передний %1"),
            QStringLiteral("Шайба %1"), QStringLiteral("Втулка %1"), QStringLiteral("Фильтр масляный %1")};
        const QStringList groups = {QStringLiteral("ВАЗ"), QStringLiteral("ГАЗ"), QStringLiteral("УАЗ")};
        QStringList lines = {QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус|Каталоги")};
        for (int i = 0; i < rows; ++i) {
            lines.append(QStringLiteral("%1|%2|OEM-%1|Завод %3|%4|1|%5")
                             .arg(1000 + i)
                             .arg(names.at(i % names.size()).arg(i))
                             .arg(i % 7)
                             .arg(10 + i)
                             .arg(groups.at(i % groups.size())));
        }
        // With the previous edition beside it: the load asks about comparing.
        for (const char *name : {"ZOLT.TXT", "ZOLT_OLD.TXT"}) {
            QFile file(QString::fromLatin1(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TextFile::encodeLines(lines));
        }
    }

    // Keys as the window system sends them: to the window, and from there to
    // the widget with the focus.
    void typeInto(QWindow *window, const QString &text)
    {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, window, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
    }

    void wheel(QWidget *viewport, int angle)
    {
        const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
        QWheelEvent event(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(viewport, &event);
    }
}

class TestGridInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { applyTestDesktop(); }
    void init();
    void cleanup();

    void keysWorkOnTheGridAfterALoad_data();
    void keysWorkOnTheGridAfterALoad();
    void incrementalSearchTypedInTheWindow_data();
    void incrementalSearchTypedInTheWindow();
    void fixedColumnsStayWhileTheGridScrollsSideways();
    void wheelMovesTheCurrentRow_data();
    void wheelMovesTheCurrentRow();
    void currentColumnStaysAfterANewView_data();
    void currentColumnStaysAfterANewView();
    void fixedColumnsFollowANewView_data();
    void fixedColumnsFollowANewView();
    void fixedColumnsRepaintWithTheGrid_data();
    void fixedColumnsRepaintWithTheGrid();
    void columnsFitTheGridFont_data();
    void columnsFitTheGridFont();

private:
    void activate();
    void activateAgain();
    QTableView *grid() const { return m_windows->mainForm().findChild<QTableView *>(QStringLiteral("GridPrice")); }
    GridController *controller() const { return m_windows->mainForm().priceGridController(); }
    Workspace &ws() const { return m_windows->mainForm().workspace(); }
    QWindow *window() const { return m_windows->mainForm().windowHandle(); }

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    ApplicationWindows *m_windows = nullptr;
    ModalAnswers *m_answers = nullptr;
};

void TestGridInput::init()
{
    m_oldCurrent = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
    Decimal::setSeparator(QLatin1Char('.'));
    writePriceList(300);
    TextFile::writeLines(QStringLiteral("user.ini"),
                         {QStringLiteral("AutoLoadPrice=yes"), QStringLiteral("ShowLegend=no")});

    m_answers = new ModalAnswers;
    m_windows = new ApplicationWindows;
    TMakeOrderForm &form = m_windows->mainForm();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    activate();
    // The first activation loads the price list.
    QTRY_VERIFY_WITH_TIMEOUT(ws().priceNotEmpty(), 15000);
    QTRY_VERIFY(!m_windows->progressDialog().isRunning());
    QVERIFY(m_answers->questions > 0);
    activateAgain();
    // The price panel laid out in the window.
    QTRY_VERIFY(grid()->viewport()->height() > 200);
}

void TestGridInput::activate()
{
    // A window manager may keep the focus where it was when a new window
    // appears: ask for it.
    activateTestWindow(&m_windows->mainForm());
}

void TestGridInput::activateAgain()
{
    QTRY_VERIFY(!QApplication::activeModalWidget());
    activate();
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        QTRY_VERIFY(m_windows->mainForm().isActiveWindow());
}

void TestGridInput::cleanup()
{
    delete m_windows;
    m_windows = nullptr;
    delete m_answers;
    m_answers = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestGridInput::keysWorkOnTheGridAfterALoad_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("automatic load at start-up") << false;
    QTest::newRow("Ctrl+O") << true;
}

void TestGridInput::keysWorkOnTheGridAfterALoad()
{
    QFETCH(bool, reopen);
    if (reopen) {
        m_windows->mainForm().setFocus();
        const int asked = m_answers->questions;
        QTest::keyClick(window(), Qt::Key_O, Qt::ControlModifier);
        QTRY_VERIFY(!m_windows->progressDialog().isRunning());
        QVERIFY(ws().priceNotEmpty());
        QVERIFY(m_answers->questions > asked);
        activateAgain();
    }
    QTRY_COMPARE(m_windows->mainForm().focusWidget(), grid());
    QCOMPARE(ws().price().rowNumber(), 1);
    QTest::keyClick(window(), Qt::Key_Down);
    QTest::keyClick(window(), Qt::Key_Down);
    QCOMPARE(ws().price().rowNumber(), 3);
}

void TestGridInput::incrementalSearchTypedInTheWindow_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::newRow("by name") << NameColumn << "Амор";
    QTest::newRow("by code") << CodeColumn << "1014";
}

void TestGridInput::incrementalSearchTypedInTheWindow()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QTableView *view = grid();
    // A click on a cell of the column, as the user starts.
    const QModelIndex cell = view->model()->index(0, column);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(cell).center());
    QTRY_COMPARE(view->currentIndex().column(), column);

    typeInto(window(), typed);
    auto *box = view->findChild<LookupGridPrice *>(QStringLiteral("LookupGridPrice"));
    QVERIFY(box);
    QTRY_VERIFY(box->isVisible());
    QCOMPARE(box->text(), typed);
    QCOMPARE(m_windows->mainForm().focusWidget(), box);
    // The letters search; they do not move the cell.
    QCOMPARE(view->currentIndex().column(), column);
    RecordTable &price = ws().price();
    QVERIFY2(price.asString(price.fieldByName(box->lookupField())).startsWith(typed),
             qPrintable(controller()->selectedCellText()));

    // The first Enter asks for the quantity of the part found.
    QTest::keyClick(window(), Qt::Key_Return);
    QTRY_COMPARE(m_answers->quantityDialogs, 1);
    QVERIFY(!box->isVisible());
}

void TestGridInput::fixedColumnsStayWhileTheGridScrollsSideways()
{
    QTableView *view = grid();
    // Columns too wide for the window: the grid scrolls sideways.
    view->setColumnWidth(NameColumn, 2 * view->viewport()->width());
    QTRY_VERIFY(view->horizontalScrollBar()->maximum() > 0);
    controller()->setSelectedColumn(PriceColumn);
    QTRY_VERIFY(view->horizontalScrollBar()->value() > 0);

    auto *fixed = view->findChild<QTableView *>(QStringLiteral("GridPriceFixed"));
    QVERIFY(fixed);
    QVERIFY(fixed->isVisible());
    const int fixedWidth = view->columnWidth(0) + view->columnWidth(1);
    QCOMPARE(fixed->width(), fixedWidth);
    // What the user sees at the grid's left edge is "№" and the picture.
    const QRect area = view->viewport()->geometry();
    for (int x : {area.left() + 2, area.left() + fixedWidth - 2}) {
        const QPoint at(x, area.top() + 2);
        QWidget *shown = view->childAt(at);
        QVERIFY(shown == fixed->viewport());
        QCOMPARE(fixed->indexAt(fixed->viewport()->mapFrom(view, at)).column(),
                 x < area.left() + view->columnWidth(0) ? 0 : 1);
    }
    QCOMPARE(fixed->horizontalHeader()->sectionSize(0), view->columnWidth(0));

    // The current cell is never hidden under them.
    controller()->setSelectedColumn(CodeColumn);
    QVERIFY(view->columnViewportPosition(CodeColumn) >= fixedWidth);
    controller()->setSelectedColumn(PriceColumn);
    QVERIFY(view->columnViewportPosition(PriceColumn) >= fixedWidth);

    // Their rows follow the grid's rows.
    QTest::keyClick(window(), Qt::Key_PageDown);
    QTest::keyClick(window(), Qt::Key_PageDown);
    QVERIFY(view->verticalScrollBar()->value() > 0);
    QCOMPARE(fixed->verticalScrollBar()->value(), view->verticalScrollBar()->value());
}

void TestGridInput::wheelMovesTheCurrentRow_data()
{
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("angle");
    QTest::addColumn<int>("row");
    QTest::newRow("three notches down") << 1 << -360 << 4;
    QTest::newRow("one notch up") << 10 << 120 << 9;
    QTest::newRow("half notches add up") << 5 << -60 << 6;
    QTest::newRow("up at the top stays") << 1 << 240 << 1;
}

void TestGridInput::wheelMovesTheCurrentRow()
{
    QFETCH(int, startRow);
    QFETCH(int, angle);
    QFETCH(int, row);
    RecordTable &price = ws().price();
    price.setRowNumber(startRow);
    QWidget *viewport = grid()->viewport();
    if (qAbs(angle) < 120) {
        wheel(viewport, angle);
        QCOMPARE(price.rowNumber(), startRow);
    }
    wheel(viewport, angle);
    QCOMPARE(price.rowNumber(), row);
    QCOMPARE(grid()->currentIndex().row(), row - 1);
    auto *sideBar = m_windows->mainForm().findChild<QScrollBar *>(QStringLiteral("zzzz"));
    QVERIFY(sideBar);
    QCOMPARE(sideBar->value(), (row - 1) * GridController::ScrollUnitsPerRow);
}

void TestGridInput::currentColumnStaysAfterANewView_data()
{
    QTest::addColumn<QString>("rebuild");
    QTest::newRow("F3 on a group") << "filter";
    QTest::newRow("sort by a title") << "sort";
}

void TestGridInput::currentColumnStaysAfterANewView()
{
    QFETCH(QString, rebuild);
    RecordTable &price = ws().price();
    price.setRowNumber(2);
    controller()->setSelectedColumn(GroupColumn);
    if (rebuild == QLatin1String("filter")) {
        QTest::keyClick(window(), Qt::Key_F3);
        QTRY_COMPARE(price.rowCount(), 100);
    } else {
        controller()->titleClicked(NameColumn);
        controller()->titleDoubleClicked(NameColumn);
    }
    QCOMPARE(grid()->currentIndex().column(), GroupColumn);
    QCOMPARE(controller()->selectedFieldName(), QStringLiteral("Group"));
}

void TestGridInput::fixedColumnsFollowANewView_data()
{
    QTest::addColumn<bool>("filterOff");
    QTest::newRow("F3 on a group") << false;
    QTest::newRow("Ctrl+F3 takes the filter off") << true;
}

void TestGridInput::fixedColumnsFollowANewView()
{
    QFETCH(bool, filterOff);
    RecordTable &price = ws().price();
    QTableView *view = grid();
    auto *fixed = view->findChild<QTableView *>(QStringLiteral("GridPriceFixed"));
    QVERIFY(fixed);
    controller()->setSelectedColumn(GroupColumn);
    if (filterOff) {
        QTest::keyClick(window(), Qt::Key_F3);
        QTRY_COMPARE(price.rowCount(), 100);
        price.setRowNumber(95);
        QTest::keyClick(window(), Qt::Key_F3, Qt::ControlModifier);
        QTRY_COMPARE(price.rowCount(), 300);
    } else {
        price.setRowNumber(290);
        QTest::keyClick(window(), Qt::Key_F3);
        QTRY_COMPARE(price.rowCount(), 100);
    }
    // The current part is far down the new view: the grid has scrolled.
    QTRY_VERIFY(view->rowAt(0) > 10);
    QCoreApplication::processEvents();
    // "№", the pictures and the in-order marks beside it are those of the
    // same rows, without a scroll of the grid.
    QTRY_COMPARE(fixed->rowAt(0), view->rowAt(0));
    QCOMPARE(fixed->verticalScrollBar()->value(), view->verticalScrollBar()->value());
    const QModelIndex current = view->currentIndex();
    const QRect cell = fixed->visualRect(current.siblingAtColumn(0));
    QCOMPARE(cell.top(), view->visualRect(current).top());
    QCOMPARE(current.siblingAtColumn(0).data().toString(), QString::number(price.rowNumber()));
}

void TestGridInput::fixedColumnsRepaintWithTheGrid_data()
{
    QTest::addColumn<QString>("move");
    QTest::newRow("Ctrl+End") << "end";
    QTest::newRow("PageDown") << "page";
    QTest::newRow("wheel on the fixed columns") << "wheel";
}

void TestGridInput::fixedColumnsRepaintWithTheGrid()
{
    QFETCH(QString, move);
    auto *fixed = grid()->findChild<QTableView *>(QStringLiteral("GridPriceFixed"));
    QVERIFY(fixed && fixed->isVisible());
    if (move == QLatin1String("wheel"))
        wheel(fixed->viewport(), -120 * 100);
    else
        QTest::keyClick(window(), move == QLatin1String("end") ? Qt::Key_End : Qt::Key_PageDown,
                        move == QLatin1String("end") ? Qt::ControlModifier : Qt::NoModifier);
    QTRY_VERIFY(grid()->rowAt(0) > 0);
    // What the window shows of the fixed columns is what they paint now.
    QWidget *cells = fixed->viewport();
    const QRect area(cells->mapTo(&m_windows->mainForm(), QPoint()), cells->size());
    const auto shown = [&] {
        const QPixmap pixels =
            window()->screen()->grabWindow(window()->winId(), area.x(), area.y(), area.width(), area.height());
        return pixels.toImage().convertToFormat(QImage::Format_RGB32);
    };
    if (shown().isNull())
        QSKIP("The window system gives a program no window's pixels.");
    QTRY_COMPARE(shown(), cells->grab().toImage().convertToFormat(QImage::Format_RGB32));
}

void TestGridInput::columnsFitTheGridFont_data()
{
    QTest::addColumn<int>("points");
    QTest::newRow("9 pt") << 9;
    QTest::newRow("12 pt") << 12;
    QTest::newRow("16 pt") << 16;
}

void TestGridInput::columnsFitTheGridFont()
{
    QFETCH(int, points);
    // The desktop's font, as a platform theme sets it, before the windows
    // are made.
    const QFont before = QApplication::font();
    cleanup();
    const auto restore = qScopeGuard([before] { QApplication::setFont(before); });
    QFont font = before;
    font.setPointSize(points);
    QApplication::setFont(font);
    init();
    QVERIFY(ws().execute(ActionId::OrderNew));

    QTableView *order = m_windows->mainForm().findChild<QTableView *>(QStringLiteral("GridOrder"));
    QVERIFY(order);
    for (QTableView *view : {grid(), order}) {
        QCOMPARE(view->font().pointSize(), points);
        auto *header = qobject_cast<GridHeader *>(view->horizontalHeader());
        QVERIFY(header);
        for (const QString &title : {QStringLiteral("Код"), QStringLiteral("Итого")}) {
            int column = 0;
            while (column < view->model()->columnCount()
                   && view->model()->headerData(column, Qt::Horizontal).toString() != title)
                ++column;
            if (column == view->model()->columnCount())
                continue; // the price grid has no "Итого"
            QCOMPARE(header->shownTitle(column), title);
        }
    }
    // A code of five digits is shown whole, as the grid draws its cells.
    QTableView *view = grid();
    const QString code = view->model()->index(0, CodeColumn).data().toString();
    QCOMPARE(code.size(), 5);
    const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    QVERIFY2(view->columnWidth(CodeColumn) >= view->fontMetrics().horizontalAdvance(code) + 2 * margin + 1,
             qPrintable(QStringLiteral("%1 px for %2").arg(view->columnWidth(CodeColumn)).arg(code)));
}

QTEST_MAIN(TestGridInput)
#include "tst_gridinput.moc"
