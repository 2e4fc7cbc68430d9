#include <QtTest>

#include <QAction>
#include <QClipboard>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QToolTip>

#include "actionid.h"
#include "availabilitydelegate.h"
#include "availableicons.h"
#include "gridheader.h"
#include "orderfixture.h"
#include "gridcontroller.h"
#include "main.h"
#include "moneydelegate.h"
#include "pricefields.h"
#include "priceloader.h"
#include "recordtablemodel.h"
#include "silentprogress.h"
#include "textfile.h"

namespace
{
    constexpr int PriceColumn = 7;

    void writeFile(const QString &path, const QStringList &lines)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
    }

    QImage blank()
    {
        QImage image(18, 20, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        return image;
    }
}

class TestPriceGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void availabilityPictures_data();
    void availabilityPictures();
    void priceArrowsAndHint_data();
    void priceArrowsAndHint();
    void titleDoubleClickSortsThenReverses();
    void rowNumberTitleDoesNotSort();
    void sideScrollBarRangeFollowsTheFilter();
    void sideScrollBarMovesTheCurrentRow();
    void copyCell();
    void fitColumnUsesPreferredWidth();
    void moneyCellsShowDiscountAndCurrency();
    void moneyCellsShowEveryDigit_data();
    void moneyCellsShowEveryDigit();
    void priceArrowNeverCoversTheText_data();
    void priceArrowNeverCoversTheText();
    void longTitlesEndInEllipsisWithToolTip();
    void oneRowInOrOutKeepsTheOthers_data();
    void oneRowInOrOutKeepsTheOthers();

private:
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    TMakeOrderForm *m_form = nullptr;
    SilentProgress m_progress;

    Workspace &ws() { return m_form->workspace(); }
    GridController *grid() { return m_form->priceGridController(); }
    void load(const QStringList &lines);
    QModelIndex cell(int code, int column);
};

void TestPriceGrid::init()
{
    m_dir = new QTemporaryDir;
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    m_form = new TMakeOrderForm;
    ws().setProgress(&m_progress);
    m_form->resize(1000, 700);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form));
}

void TestPriceGrid::cleanup()
{
    delete m_form;
    m_form = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
}

void TestPriceGrid::load(const QStringList &lines)
{
    writeFile(QStringLiteral("prices.txt"), lines);
    PriceLoader::loadFile(ws(), QStringLiteral("prices.txt"));
    ws().setPanelVisible(Workspace::Panel::Price, true);
    QCoreApplication::processEvents();
}

QModelIndex TestPriceGrid::cell(int code, int column)
{
    RecordTableModel *model = grid()->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        if (ws().price().integerAt(r, 1) == code)
            return model->index(r, column);
    }
    return QModelIndex();
}

void TestPriceGrid::availabilityPictures_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<int>("sheet");
    QTest::addColumn<bool>("tick");
    for (int flag = 0; flag <= 9; ++flag)
        QTest::addRow("flag %d", flag) << flag << flag % 5 << (flag >= 5);
    QTest::newRow("flag 12 draws like 2 with the tick") << 12 << 2 << true;
}

void TestPriceGrid::availabilityPictures()
{
    QFETCH(int, flag);
    QFETCH(int, sheet);
    QFETCH(bool, tick);
    load({"Код|Наименование|Статус", QStringLiteral("1|A|%1").arg(flag)});
    const QModelIndex index = cell(1, 1);
    QVERIFY(index.isValid());

    const QList<QPixmap> &icons = AvailableIcons::all();
    QCOMPARE(icons.size(), 8);
    AvailabilityDelegate delegate(icons);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 1, 18, 18);
    option.palette.setColor(QPalette::Button, Qt::white);
    QImage drawn = blank();
    {
        QPainter painter(&drawn);
        delegate.paint(&painter, option, index);
    }
    QImage expected = blank();
    {
        QPainter painter(&expected);
        painter.drawPixmap(QPoint(0, 0), icons.at(sheet));
        if (tick)
            painter.drawPixmap(QPoint(0, 0), icons.at(5));
    }
    QCOMPARE(drawn, expected);
}

void TestPriceGrid::priceArrowsAndHint_data()
{
    QTest::addColumn<QString>("oldPrice");
    QTest::addColumn<int>("arrow");
    QTest::addColumn<QString>("hint");
    QTest::newRow("price fell") << "120" << -1 << "Старая цена: 120.00 р.; изменение цены: -20.00 р.";
    QTest::newRow("price rose") << "80" << 1 << "Старая цена: 80.00 р.; изменение цены: 20.00 р.";
    QTest::newRow("unchanged") << "100" << 0 << "";
    QTest::newRow("no comparison") << "" << 0 << "";
}

void TestPriceGrid::priceArrowsAndHint()
{
    QFETCH(QString, oldPrice);
    QFETCH(int, arrow);
    QFETCH(QString, hint);
    load({"Код|Наименование|Цена", "1|A|100"});
    RecordTable &table = ws().price();
    if (!oldPrice.isEmpty()) {
        table.edit();
        table.setString(9, oldPrice);
        table.post();
    }
    const QModelIndex index = cell(1, PriceColumn);
    QCOMPARE(MoneyDelegate::arrowOf(index, 200, 60), arrow);
    // A column narrower than the text width + 16 shows no arrow.
    QCOMPARE(MoneyDelegate::arrowOf(index, 75, 60), 0);

    grid()->view()->setCurrentIndex(index);
    QCOMPARE(grid()->currentHint(), hint);
    grid()->view()->setCurrentIndex(cell(1, 3));
    QCOMPARE(grid()->currentHint(), QString());
}

void TestPriceGrid::titleDoubleClickSortsThenReverses()
{
    load({"Код|Наименование|Цена", "1|B|30", "2|A|10", "3|C|20"});
    QCOMPARE(ws().grid(Workspace::Grid::Price).sortMark, 4);
    grid()->titleClicked(PriceColumn);
    grid()->titleDoubleClicked(PriceColumn);
    QCOMPARE(ws().price().indexName(), QStringLiteral("PrePrice"));
    QCOMPARE(ws().grid(Workspace::Grid::Price).sortMark, 8);
    QCOMPARE(grid()->model()->index(0, 2).data().toString(), QStringLiteral("00002"));
    QCOMPARE(grid()->view()->horizontalHeader()->sortIndicatorSection(), PriceColumn);

    grid()->titleClicked(PriceColumn);
    grid()->titleDoubleClicked(PriceColumn);
    QCOMPARE(ws().price().indexName(), QStringLiteral("RevPrice"));
    QCOMPARE(ws().grid(Workspace::Grid::Price).sortMark, -8);
    QCOMPARE(grid()->model()->index(0, 2).data().toString(), QStringLiteral("00001"));
    QCOMPARE(grid()->view()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // A double-click without a title click first sorts nothing.
    grid()->titleDoubleClicked(2);
    QCOMPARE(ws().price().indexName(), QStringLiteral("RevPrice"));
}

void TestPriceGrid::rowNumberTitleDoesNotSort()
{
    load({"Код|Наименование|Цена", "1|B|30", "2|A|10"});
    grid()->titleClicked(0);
    grid()->titleDoubleClicked(0);
    QCOMPARE(ws().price().indexName(), QStringLiteral("PreName"));
    QCOMPARE(ws().grid(Workspace::Grid::Price).sortMark, 4);
    QCOMPARE(ws().grid(Workspace::Grid::Price).pendingTitleClick, 0);
}

void TestPriceGrid::sideScrollBarRangeFollowsTheFilter()
{
    QStringList lines{"Код|Наименование|Цена"};
    for (int i = 1; i <= 40; ++i)
        lines.append(QStringLiteral("%1|N%2|1").arg(i).arg(i, 2, 10, QLatin1Char('0')));
    load(lines);
    QScrollBar *bar = m_form->sideScrollBar();
    grid()->layoutSideBar();
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->maximum(), 40 * 18 + bar->height() - 1);

    ws().price().setFilter(QStringLiteral("Code=3 or Code=4 or Code=5"));
    ws().price().setFiltered(true);
    grid()->layoutSideBar();
    QCOMPARE(bar->maximum(), 54 + bar->height() - 1);
}

void TestPriceGrid::sideScrollBarMovesTheCurrentRow()
{
    QStringList lines{"Код|Наименование|Цена"};
    for (int i = 1; i <= 40; ++i)
        lines.append(QStringLiteral("%1|N%2|1").arg(i).arg(i, 2, 10, QLatin1Char('0')));
    load(lines);
    QSignalSpy status(grid(), &GridController::statusText);
    QScrollBar *bar = m_form->sideScrollBar();
    bar->setSliderPosition(5 * 18 + 3);
    bar->triggerAction(QAbstractSlider::SliderMove);
    QCOMPARE(ws().price().rowNumber(), 6);
    QCOMPARE(grid()->view()->currentIndex().row(), 5);
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toString(), QStringLiteral(" Row: 6"));

    ws().price().setRowNumber(10);
    QCOMPARE(bar->value(), 9 * 18);
}

void TestPriceGrid::copyCell()
{
    load({"Код|Наименование|Производитель|Цена", "42|Болт||1234.5"});
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    m_form->gridPrice()->setFocus();

    grid()->view()->setCurrentIndex(cell(42, 5)); // empty producer
    m_form->action(ActionId::CopyCell)->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("before"));

    grid()->view()->setCurrentIndex(cell(42, 2));
    m_form->action(ActionId::CopyCell)->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("00042"));

    grid()->view()->setCurrentIndex(cell(42, 3));
    m_form->action(ActionId::CopyCell)->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("Болт"));
}

void TestPriceGrid::fitColumnUsesPreferredWidth()
{
    load({"Код|Наименование|Цена", "1|Очень длинное наименование детали|1"});
    const int preferred = ws().grid(Workspace::Grid::Price).columns.at(3).preferredWidth;
    QCOMPARE(preferred, 7 * 33 + 4);
    grid()->fitColumn(3);
    QCOMPARE(grid()->view()->columnWidth(3), preferred);
}

void TestPriceGrid::moneyCellsShowDiscountAndCurrency()
{
    load({"Код|Наименование|Цена", "1|A|100"});
    const QModelIndex index = cell(1, PriceColumn);
    QCOMPARE(index.data().toString(), QStringLiteral("100.00 р."));
    ws().settings().discount = 5;
    QCOMPARE(index.data().toString(), QStringLiteral("95.00 р."));
    ws().settings().discount = -10;
    QCOMPARE(index.data().toString(), QStringLiteral("110.00 р."));
    ws().settings().discount = 150;
    QCOMPARE(index.data().toString(), QStringLiteral("100.00 р."));
    ws().settings().discount = 0;
    ws().settings().currentCurrency = RCurrency{2.0f, QStringLiteral("Доллар"), QStringLiteral("$")};
    QCOMPARE(index.data().toString(), QStringLiteral("50.00 $"));
}

void TestPriceGrid::moneyCellsShowEveryDigit_data()
{
    QTest::addColumn<bool>("order");
    QTest::addColumn<double>("price");
    QTest::addColumn<int>("count");
    QTest::addColumn<float>("discount");
    QTest::newRow("order: price of five digits") << true << 10691.44 << 1 << 0.0f;
    QTest::newRow("order: 5 × 281.59") << true << 281.59 << 5 << 0.0f;
    QTest::newRow("order: eight digits with a markup") << true << 99999.99 << 100 << -50.0f;
    QTest::newRow("price grid: five digits") << false << 10691.44 << 1 << 0.0f;
    QTest::newRow("price grid: six digits with a markup") << false << 123456.78 << 1 << -10.0f;
}

void TestPriceGrid::moneyCellsShowEveryDigit()
{
    QFETCH(bool, order);
    QFETCH(double, price);
    QFETCH(int, count);
    QFETCH(float, discount);
    Decimal::setSeparator(QLatin1Char('.'));
    ws().settings().discount = discount;
    load({"Код|Наименование|Цена", QStringLiteral("1|A|%1").arg(price, 0, 'f', 2)});
    GridController *controller = grid();
    if (order) {
        fillOrder(ws(), {OrderLine{1, QStringLiteral("A"), QString(), QString(), count, price}}, discount);
        controller = m_form->orderGridController();
    }
    QCoreApplication::processEvents();
    QTableView *view = controller->view();
    const QFontMetrics metrics(view->font());
    int checked = 0;
    for (int c = 0; c < view->model()->columnCount(); ++c) {
        const QModelIndex index = view->model()->index(0, c);
        if (!index.data(RecordTableModel::MoneyRole).isValid())
            continue;
        // The cell as the grid hands it to the delegate: the column less its
        // grid line.
        const QString text = index.data().toString();
        const QRect cell(0, 0, view->columnWidth(c) - 1, view->verticalHeader()->defaultSectionSize());
        QCOMPARE(MoneyDelegate::place(cell, metrics, text, 0).text, text);
        ++checked;
    }
    QCOMPARE(checked, order ? 2 : 1);
}

void TestPriceGrid::priceArrowNeverCoversTheText_data()
{
    QTest::addColumn<int>("room"); // the cell's width less the text's
    for (const int room : {-20, 0, 4, 12, 15, 16, 17, 18, 19, 20, 24, 40})
        QTest::addRow("text width %+d", room) << room;
}

void TestPriceGrid::priceArrowNeverCoversTheText()
{
    QFETCH(int, room);
    Decimal::setSeparator(QLatin1Char('.'));
    load({"Код|Наименование|Цена", "1|A|1234.56"});
    RecordTable &table = ws().price();
    table.edit();
    table.setString(9, QStringLiteral("2000"));
    table.post();
    const QModelIndex index = cell(1, PriceColumn);
    const QString text = index.data().toString();
    QStyleOptionViewItem option;
    option.font = grid()->view()->font();
    option.palette.setColor(QPalette::Base, Qt::white);
    option.palette.setColor(QPalette::Text, Qt::black);
    const int width = QFontMetrics(option.font).horizontalAdvance(text) + room;
    option.rect = QRect(0, 0, width, 20);

    // The same cell drawn without and with the arrow pictures.
    const auto draw = [&](const QPixmap &down, const QPixmap &up) {
        QImage image(width, 20, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        MoneyDelegate(down, up).paint(&painter, option, index);
        return image;
    };
    const QImage plain = draw(QPixmap(), QPixmap());
    const QImage arrowed = draw(AvailableIcons::all().at(6), AvailableIcons::all().at(7));
    int textLeft = width;
    int arrowRight = -1;
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < 20; ++y) {
            if (plain.pixel(x, y) != qRgb(255, 255, 255))
                textLeft = qMin(textLeft, x);
            if (arrowed.pixel(x, y) != plain.pixel(x, y))
                arrowRight = qMax(arrowRight, x);
        }
    }
    QVERIFY(textLeft < width); // the text is drawn
    // The arrow never covers the text, and shows whenever it fits beside it.
    if (arrowRight >= 0)
        QVERIFY2(arrowRight < textLeft,
                 qPrintable(QStringLiteral("arrow to %1, text from %2").arg(arrowRight).arg(textLeft)));
    QCOMPARE(arrowRight >= 0, room >= MoneyDelegate::ArrowWidth + MoneyDelegate::Margin);
    // A cell too narrow for the text cuts it at its end, never its first digits.
    const QString shown = MoneyDelegate::place(option.rect, QFontMetrics(option.font), text, 0).text;
    QCOMPARE(shown == text, room >= 2 * MoneyDelegate::Margin);
    QVERIFY(shown == text || (shown.endsWith(QStringLiteral("…")) && text.startsWith(shown.chopped(1))));
}

void TestPriceGrid::longTitlesEndInEllipsisWithToolTip()
{
    load({"Код|Наименование|Цена", "1|A|1"});
    QTableView *view = grid()->view();
    auto *header = qobject_cast<GridHeader *>(view->horizontalHeader());
    QVERIFY(header);
    const QString title = QStringLiteral("Наименование / артикул производителя");
    QCOMPARE(view->model()->headerData(3, Qt::Horizontal).toString(), title);

    view->setColumnWidth(3, 70);
    const QString shown = header->shownTitle(3);
    QVERIFY2(shown.endsWith(QStringLiteral("…")) && title.startsWith(shown.chopped(1)), qPrintable(shown));
    QVERIFY(header->fontMetrics().horizontalAdvance(shown) < 70);
    view->setColumnWidth(3, 400);
    QCOMPARE(header->shownTitle(3), title);

    // Resting the pointer on a title shows the whole title.
    view->setColumnWidth(3, 70);
    view->horizontalScrollBar()->setValue(0);
    const QPoint at(header->sectionViewportPosition(3) + 10, header->height() / 2);
    QHelpEvent help(QEvent::ToolTip, at, header->viewport()->mapToGlobal(at));
    QApplication::sendEvent(header->viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), title);
    QToolTip::hideText();
}

void TestPriceGrid::oneRowInOrOutKeepsTheOthers_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("resets");
    QTest::newRow("a row appended") << "append" << 1 << 0 << 0;
    QTest::newRow("the current row leaves the filter") << "leave" << 0 << 1 << 0;
    QTest::newRow("the current row deleted") << "delete" << 0 << 1 << 0;
    QTest::newRow("another order") << "order" << 0 << 0 << 1;
}

void TestPriceGrid::oneRowInOrOutKeepsTheOthers()
{
    QFETCH(QString, change);
    QFETCH(int, inserted);
    QFETCH(int, removed);
    QFETCH(int, resets);
    QStringList lines{"Код|Наименование|Цена"};
    for (int i = 1; i <= 6; ++i)
        lines.append(QStringLiteral("%1|N%1|%1").arg(i));
    load(lines);
    RecordTable &table = ws().price();
    table.setFilter(QStringLiteral("Code=1 or Code=2 or Code=3 or Code=4 or Code=7"));
    table.setFiltered(true);
    table.setRowNumber(3);
    RecordTableModel *model = grid()->model();
    QSignalSpy insertions(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removals(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resetSpy(model, &QAbstractItemModel::modelReset);

    if (change == QLatin1String("append")) {
        table.appendRow(QVariantList{0, 7, QStringLiteral("N0"), QString(), QString(), QString(), 0.5});
    } else if (change == QLatin1String("leave")) {
        table.edit();
        table.setInteger(PriceFields::Code, 9);
        table.post();
    } else if (change == QLatin1String("delete")) {
        table.deleteRow();
    } else {
        table.setIndexName(QStringLiteral("RevName"));
    }

    QCOMPARE(insertions.size(), inserted);
    QCOMPARE(removals.size(), removed);
    QCOMPARE(resetSpy.size(), resets);
    QCOMPARE(model->rowCount(), table.rowCount());
    for (int r = 0; r < table.rowCount(); ++r)
        QCOMPARE(model->displayText(r, 3), table.displayTextAt(r, PriceFields::Name));
    QCOMPARE(grid()->view()->currentIndex().row(), table.rowNumber() - 1);
}

QTEST_MAIN(TestPriceGrid)
#include "tst_pricegrid.moc"
