#include <QtTest>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>

#include "actionid.h"
#include "addtoorder.h"
#include "gridcontroller.h"
#include "legendpanel.h"
#include "lookupgridprice.h"
#include "orderlines.h"
#include "ordergui.h"
#include "ordixapplication.h"
#include "partsearchfield.h"
#include "ordertable.h"
#include "priceloader.h"
#include "readablecolour.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "testdesktop.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    // Questions answered from a script; the quantity through the real dialog.
    class DialogPrompts final : public UserPrompts
    {
    public:
        explicit DialogPrompts(TAddToOrderForm *form)
            : m_form(form)
        { }

        ScriptedPrompts script;
        int quantityAsked = 0;

        Answer askYesNo(const QString &text) override { return script.askYesNo(text); }
        Answer askYesNoCancel(const QString &text) override { return script.askYesNoCancel(text); }
        void message(const QString &text, Icon icon, const QString &title) override
        {
            script.message(text, icon, title);
        }
        Answer askRetryCancel(const QString &title, const QString &text) override
        {
            return script.askRetryCancel(title, text);
        }
        QString openFile(const FileDialog &dialog) override { return script.openFile(dialog); }
        QString saveFile(const FileDialog &dialog) override { return script.saveFile(dialog); }
        bool askQuantity(const QuantityRequest &request, int *quantity) override
        {
            ++quantityAsked;
            return m_form->ask(request, quantity);
        }

    private:
        TAddToOrderForm *m_form;
    };

    // Types text character by character, Cyrillic letters included.
    void typeText(QWidget *widget, const QString &text)
    {
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
    }

    // Runs `step` on the quantity dialog once it is shown modally and active;
    // a dialog still open afterwards (a failed check) is cancelled so that
    // the test goes on.
    void whenDialogShows(TAddToOrderForm *form, std::function<void()> step)
    {
        QTimer::singleShot(0, form, [form, step] {
            const auto close = qScopeGuard([form] {
                if (form->isVisible())
                    form->reject();
            });
            QTRY_VERIFY(form->isVisible());
            QVERIFY(QTest::qWaitForWindowExposed(form));
            QVERIFY(activateTestWindow(form));
            step();
        });
    }

    // The contrast of a text as drawn: the pixels that change when the text is taken away are the text's;
    // the colour most of them show without it is its background.
    double drawnContrast(QWidget *widget, QObject *holder, const char *property)
    {
        const QImage with = widget->grab().toImage();
        holder->setProperty(property, QString());
        const QImage without = widget->grab().toImage();
        QHash<QRgb, int> under;
        QList<QRgb> drawn;
        for (int y = 0; y < with.height(); ++y) {
            for (int x = 0; x < with.width(); ++x) {
                if (with.pixel(x, y) != without.pixel(x, y) && ++under[without.pixel(x, y)])
                    drawn << with.pixel(x, y);
            }
        }
        const QList<int> counts = under.values();
        const QColor background(under.key(counts.isEmpty() ? 0 : *std::max_element(counts.begin(), counts.end())));
        double best = 1;
        for (const QRgb pixel : std::as_const(drawn))
            best = qMax(best, contrastRatio(QColor(pixel), background));
        return best;
    }

    void typeQuantityAndConfirm(TAddToOrderForm *form, const QString &text)
    {
        whenDialogShows(form, [form, text] {
            QSpinBox *num = form->quantityEdit();
            QVERIFY(num->hasFocus());
            QCOMPARE(num->findChild<QLineEdit *>()->selectedText(), num->text());
            QTest::keyClicks(num, text); // replaces the selected text
            QTest::keyClick(num, Qt::Key_Return);
        });
    }
}

class TestOrderGui : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        applyTestDesktop();
        m_desktopPalette = QApplication::palette();
    }
    void init();
    void cleanup();

    void maskText_data();
    void maskText();
    void dialogControlsAndLiveSum();
    void dialogCancelAddsNothing();
    void dialogKeys_data();
    void dialogKeys();
    void dialogTellsTheLineCost_data();
    void dialogTellsTheLineCost();
    void quantityByPacks_data();
    void quantityByPacks();

    void enterAndDoubleClickInPriceGridAdd();
    void enterEditsAndDeleteRemovesInOrderGrid();
    void incrementalSearchByName();
    void incrementalSearchInCodeColumn();
    void enterInTheSearchBoxAddsOnlyWhatTheTextNames_data();
    void enterInTheSearchBoxAddsOnlyWhatTheTextNames();
    void searchBoxPlacement_data();
    void searchBoxPlacement();
    void keyboardNeverLeftOnTheHiddenBox_data();
    void keyboardNeverLeftOnTheHiddenBox();
    void selfColouredTextsAreReadable_data();
    void selfColouredTextsAreReadable();
    void tabMovesToNextColumn();
    void orderGridColumnsSortAndMoney();

private:
    // The first letter typed on the price grid in that column: the search box
    // that it opens.
    LookupGridPrice *startLookup(int column, const QString &first)
    {
        m_priceGrid->setSelectedColumn(column);
        m_priceGrid->view()->setFocus();
        typeText(m_priceGrid->view(), first);
        return m_gui->lookup();
    }

    QPalette m_desktopPalette;
    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    Workspace *m_ws = nullptr;
    SilentProgress m_progress;
    QWidget *m_window = nullptr;
    TAddToOrderForm *m_form = nullptr;
    DialogPrompts *m_prompts = nullptr;
    GridController *m_priceGrid = nullptr;
    GridController *m_orderGrid = nullptr;
    OrderGui *m_gui = nullptr;
};

void TestOrderGui::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));

    m_window = new QWidget;
    m_window->resize(900, 600);
    auto *layout = new QVBoxLayout(m_window);
    auto *priceView = new QTableView(m_window);
    priceView->setObjectName(QStringLiteral("GridPrice"));
    auto *orderView = new QTableView(m_window);
    orderView->setObjectName(QStringLiteral("GridOrder"));
    layout->addWidget(priceView, 3);
    layout->addWidget(orderView, 1);
    m_form = new TAddToOrderForm(m_window);
    m_prompts = new DialogPrompts(m_form);

    m_progress = SilentProgress();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, m_prompts, &m_progress);
    StandardActions::startUp(*m_ws);

    m_priceGrid = new GridController(*m_ws, Workspace::Grid::Price, priceView, {}, nullptr, m_window);
    m_orderGrid = new GridController(*m_ws, Workspace::Grid::Order, orderView, {}, nullptr, m_window);
    m_gui = OrderGui::install(*m_ws, m_priceGrid, m_orderGrid);

    QFile file(QStringLiteral("prices.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(TextFile::encodeLines({"Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус",
                                      "12|Болт М8|OEM-12|Россия||10|1", "42|Гайка М8|OEM-42|Китай|1|2.5|0",
                                      "7|Шайба||Тайвань|10|100|3", "120|болванка||||5|1", "5|Втулка||||1|1"}));
    file.close();
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(m_ws->priceNotEmpty());

    m_window->show();
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void TestOrderGui::cleanup()
{
    // The grids and the order's hold on them go with the window.
    WindowRetirement::retire(m_window);
    m_window = nullptr;
    delete m_ws;
    m_ws = nullptr;
    delete m_prompts;
    m_prompts = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestOrderGui::maskText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("text");
    QTest::newRow("grouped with two decimals") << 1234.5 << "."
                                               << "1 234.50 р.";
    QTest::newRow("whole number") << 2.0 << "."
                                  << "2.00 р.";
    QTest::newRow("three decimals kept") << 1.125 << "."
                                         << "1.125 р.";
    QTest::newRow("six decimals at most") << 0.1234567 << "."
                                          << "0.123457 р.";
    QTest::newRow("millions") << 1000000.0 << "."
                              << "1 000 000.00 р.";
    QTest::newRow("negative") << -1234.5 << "."
                              << "-1 234.50 р.";
    QTest::newRow("zero") << 0.0 << "."
                          << "0.00 р.";
    QTest::newRow("decimal comma") << 1234.5 << ","
                                   << "1 234,50 р.";
}

void TestOrderGui::maskText()
{
    QFETCH(double, value);
    QFETCH(QString, decimal);
    QFETCH(QString, text);
    Decimal::setSeparator(decimal.at(0));
    QCOMPARE(TAddToOrderForm::maskText(value, QStringLiteral("р.")), text);
}

void TestOrderGui::dialogControlsAndLiveSum()
{
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Добавить в заказ"));
    QCOMPARE(m_form->quantityEdit()->minimum(), 1);
    QCOMPARE(m_form->quantityEdit()->maximum(), 2147483647);
    QVERIFY(m_form->quantityEdit()->alignment() & Qt::AlignRight);
    QVERIFY(m_form->sumEdit()->font().bold());
    QVERIFY(m_form->priceEdit()->isReadOnly());
    QVERIFY(m_form->sumEdit()->isReadOnly());

    const UserPrompts::QuantityRequest request{QStringLiteral("Болт М8"), 1234.5, QStringLiteral("$"), 3, 0, {}};
    int quantity = 0;
    whenDialogShows(m_form, [this] {
        QCOMPARE(m_form->group()->title(), QStringLiteral("Болт М8"));
        QCOMPARE(m_form->priceEdit()->text(), QStringLiteral("1 234.50 $"));
        QCOMPARE(m_form->sumEdit()->text(), QStringLiteral("3 703.50 $"));
        QSpinBox *num = m_form->quantityEdit();
        QVERIFY(num->hasFocus());
        QCOMPARE(num->findChild<QLineEdit *>()->selectedText(), QStringLiteral("3"));
        QTest::keyClicks(num, QStringLiteral("10"));
        QCOMPARE(m_form->sumEdit()->text(), QStringLiteral("12 345.00 $"));
        // Emptying the quantity leaves the last sum.
        QTest::keyClick(num, Qt::Key_Backspace);
        QTest::keyClick(num, Qt::Key_Backspace);
        QCOMPARE(m_form->sumEdit()->text(), QStringLiteral("1 234.50 $"));
        // ... and OK waits for a quantity: Enter adds nothing.
        QPushButton *ok = m_form->findChild<QPushButton *>(QStringLiteral("OKBtn"));
        QVERIFY(!ok->isEnabled());
        QTest::keyClick(num, Qt::Key_Return);
        QVERIFY(m_form->isVisible());
        QTest::keyClicks(num, QStringLiteral("4"));
        QVERIFY(ok->isEnabled());
        QTest::keyClick(num, Qt::Key_Return);
    });
    QVERIFY(m_form->ask(request, &quantity));
    QCOMPARE(quantity, 4);
}

void TestOrderGui::dialogCancelAddsNothing()
{
    m_ws->price().first();
    whenDialogShows(m_form, [this] { QTest::keyClick(m_form->quantityEdit(), Qt::Key_Escape); });
    m_priceGrid->view()->setFocus();
    QTest::keyClick(m_priceGrid->view(), Qt::Key_Return);
    QCOMPARE(m_prompts->quantityAsked, 1);
    QVERIFY(!m_ws->orderOpen());
}

void TestOrderGui::dialogKeys_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("Enter in the quantity") << QList<int>{Qt::Key_Return} << true;
    QTest::newRow("Enter of the number pad") << QList<int>{Qt::Key_Enter} << true;
    QTest::newRow("Tab goes to OK, Enter") << QList<int>{Qt::Key_Tab, Qt::Key_Return} << true;
    QTest::newRow("Tab, Tab goes to Отмена, Enter") << QList<int>{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return} << false;
    QTest::newRow("Esc") << QList<int>{Qt::Key_Escape} << false;
    QTest::newRow("emptied, Tab away and back to OK, Enter")
        << QList<int>{Qt::Key_Backspace, Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Return} << true;
}

void TestOrderGui::dialogKeys()
{
    QFETCH(QList<int>, keys);
    QFETCH(bool, accepted);
    // Keys as the window system delivers them: to the dialog's window, and
    // from there to its focus widget, whatever the platform theme's button
    // order.
    whenDialogShows(m_form, [this, keys] {
        QTest::keyClicks(m_form->quantityEdit(), QStringLiteral("6"));
        for (const int key : keys)
            QTest::sendKeyEvent(QTest::Click, m_form->windowHandle(), Qt::Key(key), QString(), Qt::NoModifier);
    });
    const UserPrompts::QuantityRequest request{QStringLiteral("Болт М8"), 10, QStringLiteral("р."), 1, 0, {}};
    int quantity = 0;
    QCOMPARE(m_form->ask(request, &quantity), accepted);
    QCOMPARE(quantity, accepted ? 6 : 0);
}

void TestOrderGui::dialogTellsTheLineCost_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<float>("rate");
    QTest::addColumn<QString>("symbol");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("told"); // before the amount; empty: nothing told
    QTest::newRow("discount") << 5.0f << 1.0f << "р." << 12 << "С учётом скидки 5%";
    QTest::newRow("markup") << -7.5f << 1.0f << "р." << 42 << "С учётом наценки 7.5%";
    QTest::newRow("discount in dollars") << 12.5f << 28.5f << "$" << 7 << "С учётом скидки 12.5%";
    QTest::newRow("markup in euros") << -3.0f << 32.1f << "€" << 42 << "С учётом наценки 3%";
    QTest::newRow("neither") << 0.0f << 28.5f << "$" << 12 << "";
    QTest::newRow("accumulative discount") << 100.0f << 1.0f << "р." << 12 << "";
}

void TestOrderGui::dialogTellsTheLineCost()
{
    QFETCH(float, discount);
    QFETCH(float, rate);
    QFETCH(QString, symbol);
    QFETCH(int, code);
    QFETCH(QString, told);
    m_ws->settings().discount = discount;
    m_ws->settings().currentCurrency = {rate, QString(), symbol};
    QString shown;
    whenDialogShows(m_form, [this, &shown] {
        QTest::keyClicks(m_form->quantityEdit(), QStringLiteral("13"));
        shown = m_form->lineCostLabel()->isHidden() ? QString() : m_form->lineCostLabel()->text();
        QTest::keyClick(m_form->quantityEdit(), Qt::Key_Return);
    });
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
    QVERIFY(m_ws->execute(ActionId::AddToOrder));
    // The amount told is the line's amount as the order grid shows it.
    const QString amount = m_orderGrid->view()->model()->index(0, 8).data().toString();
    QCOMPARE(shown, told.isEmpty() ? QString() : told + QStringLiteral(": ") + amount);
}

void TestOrderGui::quantityByPacks_data()
{
    QTest::addColumn<int>("code");    // 7 is packed by 10, 42 by 1, 12 has no pack
    QTest::addColumn<int>("inOrder"); // the line's quantity before; 0: a new line
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("quantity");
    QTest::newRow("a new line: one pack") << 7 << 0 << "" << QList<int>{} << 10;
    QTest::newRow("up, up") << 7 << 0 << "" << QList<int>{Qt::Key_Up, Qt::Key_Up} << 30;
    QTest::newRow("down stops at one pack") << 7 << 0 << "" << QList<int>{Qt::Key_Down} << 10;
    QTest::newRow("typed, up") << 7 << 0 << "13" << QList<int>{Qt::Key_Up} << 20;
    QTest::newRow("typed, down") << 7 << 0 << "13" << QList<int>{Qt::Key_Down} << 10;
    QTest::newRow("a line keeps its quantity") << 7 << 13 << "" << QList<int>{} << 13;
    QTest::newRow("a line, up") << 7 << 13 << "" << QList<int>{Qt::Key_Up} << 20;
    QTest::newRow("a pack of one") << 42 << 0 << "" << QList<int>{Qt::Key_Up} << 2;
    QTest::newRow("no pack") << 12 << 0 << "5" << QList<int>{Qt::Key_Up} << 6;
}

void TestOrderGui::quantityByPacks()
{
    QFETCH(int, code);
    QFETCH(int, inOrder);
    QFETCH(QString, typed);
    QFETCH(QList<int>, keys);
    QFETCH(int, quantity);
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
    if (inOrder)
        OrderLines::addPart(*m_ws, inOrder);
    whenDialogShows(m_form, [this, typed, keys] {
        QTest::keyClicks(m_form->quantityEdit(), typed);
        for (const int key : keys)
            QTest::keyClick(m_form->quantityEdit(), Qt::Key(key));
        QTest::keyClick(m_form->quantityEdit(), Qt::Key_Return);
    });
    QVERIFY(m_ws->execute((inOrder ? ActionId::EditOrderRecord : ActionId::AddToOrder)));
    QCOMPARE(m_ws->order().integerAt(0, OrderTable::Count), quantity);
}

void TestOrderGui::enterAndDoubleClickInPriceGridAdd()
{
    QTableView *view = m_priceGrid->view();
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    view->setFocus();
    typeQuantityAndConfirm(m_form, QStringLiteral("3"));
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(m_ws->orderOpen());
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_ws->order().integerAt(0, OrderTable::Count), 3);

    // Adding the same part again shows its quantity; 5 replaces it.
    typeQuantityAndConfirm(m_form, QStringLiteral("5"));
    const QModelIndex cell = view->model()->index(m_ws->price().rowNumber() - 1, 3);
    const QPoint point = view->visualRect(cell).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, point);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, point);
    QCOMPARE(m_prompts->quantityAsked, 2);
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_ws->order().integerAt(0, OrderTable::Count), 5);
    QCOMPARE(m_ws->document().total(), 50.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 50.00 р."));
}

void TestOrderGui::enterEditsAndDeleteRemovesInOrderGrid()
{
    for (const int code : {12, 42, 7}) {
        QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
        typeQuantityAndConfirm(m_form, QStringLiteral("2"));
        QVERIFY(m_ws->execute(ActionId::AddToOrder));
    }
    QCOMPARE(m_ws->order().rowCount(), 3);
    QTableView *view = m_orderGrid->view();
    m_ws->order().setRowNumber(2);
    view->setFocus();
    typeQuantityAndConfirm(m_form, QStringLiteral("9"));
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(m_ws->order().integerAt(1, OrderTable::Count), 9);
    QCOMPARE(m_ws->document().total(), 242.5);

    m_ws->order().setRowNumber(2);
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(m_ws->order().rowCount(), 2);
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    QCOMPARE(m_ws->price().asInteger(0), 0);
    m_ws->order().setRowNumber(1);
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_ws->order().integerAt(0, OrderTable::Code), 7);
    QVERIFY(m_prompts->script.questions().isEmpty());
    QCOMPARE(m_ws->document().total(), 200.0);
}

void TestOrderGui::incrementalSearchByName()
{
    QTableView *view = m_priceGrid->view();
    RecordTable &price = m_ws->price();
    price.last();
    LookupGridPrice *box = startLookup(3, QStringLiteral("б")); // Name
    QVERIFY(box->isVisible());
    QVERIFY(box->hasFocus());
    QCOMPARE(box->lookupField(), QStringLiteral("Name"));
    typeText(box, QStringLiteral("ол"));
    QCOMPARE(box->text(), QStringLiteral("бол"));
    // The first row in the grid's order whose name starts with "бол" in any case.
    QCOMPARE(price.asString(price.fieldByName(QStringLiteral("Name"))), QStringLiteral("Болт М8"));
    // No name starts with "боля": the letter is not taken, the row stays.
    typeText(box, QStringLiteral("я"));
    QCOMPARE(box->text(), QStringLiteral("бол"));
    QCOMPARE(price.asString(price.fieldByName(QStringLiteral("Name"))), QStringLiteral("Болт М8"));
    typeText(box, QStringLiteral("В"));
    QCOMPARE(box->text(), QStringLiteral("болВ"));
    QCOMPARE(price.asString(price.fieldByName(QStringLiteral("Name"))), QStringLiteral("болванка"));
    QCOMPARE(view->currentIndex().row(), price.rowNumber() - 1);

    QTest::keyClick(box, Qt::Key_Escape);
    QVERIFY(!box->isVisible());
    QVERIFY(view->hasFocus());
}

void TestOrderGui::incrementalSearchInCodeColumn()
{
    QTableView *view = m_priceGrid->view();
    RecordTable &price = m_ws->price();
    QVERIFY(price.locate(QStringLiteral("Code"), 7));
    LookupGridPrice *box = startLookup(2, QStringLiteral("1")); // Code
    QVERIFY(box->isVisible());
    // No code is 1, but a digit is taken in the code column.
    QCOMPARE(box->text(), QStringLiteral("1"));
    QCOMPARE(price.integerAt(price.rowNumber() - 1, 1), 7);
    typeText(box, QStringLiteral("2"));
    QCOMPARE(price.integerAt(price.rowNumber() - 1, 1), 12);
    typeText(box, QStringLiteral("x"));
    QCOMPARE(box->text(), QStringLiteral("12"));
    typeText(box, QStringLiteral("0"));
    QCOMPARE(price.integerAt(price.rowNumber() - 1, 1), 120);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("12"));
    QTest::keyClick(box, Qt::Key_Left);
    QVERIFY(!box->isVisible());
    QVERIFY(view->hasFocus());
}

void TestOrderGui::enterInTheSearchBoxAddsOnlyWhatTheTextNames_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("added"); // the code added; 0 none
    // The row of code 7 is current before the search starts.
    QTest::newRow("part of a code adds nothing") << 2 << "1" << 0;
    QTest::newRow("a whole code") << 2 << "12" << 12;
    QTest::newRow("a code with a letter refused") << 2 << "42x" << 42;
    QTest::newRow("the beginning of a name") << 3 << "бол" << 12;
    QTest::newRow("a first letter that no name starts with") << 3 << "я" << 0;
}

void TestOrderGui::enterInTheSearchBoxAddsOnlyWhatTheTextNames()
{
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(int, added);
    QTableView *view = m_priceGrid->view();
    RecordTable &price = m_ws->price();
    QVERIFY(price.locate(QStringLiteral("Code"), 7));
    LookupGridPrice *box = startLookup(column, typed.left(1));
    QVERIFY(box->isVisible());
    typeText(box, typed.mid(1));
    if (added)
        typeQuantityAndConfirm(m_form, QStringLiteral("2"));
    else // a quantity asked for all the same is cancelled
        QTimer::singleShot(300, m_form, [this] { m_form->reject(); });
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(m_prompts->quantityAsked, added ? 1 : 0);
    if (added) {
        QCOMPARE(m_ws->order().rowCount(), 1);
        QCOMPARE(m_ws->order().integerAt(0, OrderTable::Code), added);
        QVERIFY(!box->isVisible());
        QCOMPARE(m_window->focusWidget(), view);
    } else {
        // The box stays with what was typed, and the keys stay in it.
        QVERIFY(!m_ws->orderOpen());
        QVERIFY(box->isVisible());
        QVERIFY(box->hasFocus());
        QCOMPARE(price.integerAt(price.rowNumber() - 1, 1), 7);
    }
}

void TestOrderGui::searchBoxPlacement_data()
{
    QTest::addColumn<int>("room"); // pixels under the last whole row, over a scroll bar; -1: the grid as it is
    QTest::newRow("under the rows") << -1;
    QTest::newRow("little room at the foot") << 5; // the box moves up over the last row
}

void TestOrderGui::searchBoxPlacement()
{
    QFETCH(int, room);
    QTableView *view = m_priceGrid->view();
    const int rowHeight = view->verticalHeader()->defaultSectionSize();
    if (room >= 0) {
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        view->setFixedHeight(view->height() - view->viewport()->height() + 3 * rowHeight + room);
        QTRY_COMPARE(view->viewport()->height(), 3 * rowHeight + room);
    }
    LookupGridPrice *box = startLookup(4, QStringLiteral("O"));
    QVERIFY(box->isVisible());
    QCOMPARE(box->parentWidget(), view);
    const QRect viewport = view->viewport()->geometry();
    QCOMPARE(box->x(), viewport.left() + view->columnViewportPosition(4));
    QCOMPARE(box->y(), room < 0 ? viewport.top() + 5 * rowHeight : viewport.bottom() + 1 - 19); // shown whole
    QCOMPARE(box->width(), view->columnWidth(4) + 2);
    QCOMPARE(box->height(), 19);
    const auto rowFoundClear = [view, box] { // in sight, never under the box
        const QRect row = view->visualRect(view->currentIndex());
        return view->viewport()->rect().contains(row)
            && !box->geometry().intersects(row.translated(view->viewport()->pos()));
    };
    // Losing the focus hides the box.
    m_orderGrid->view()->setFocus();
    QTRY_VERIFY(!box->isVisible());
    startLookup(3, QStringLiteral("Ш"));
    QVERIFY(rowFoundClear());
    if (room >= 0)
        return;
    // A new size of the grid (a window manager's, while the user types)
    // keeps the search and the row found in sight, and moves the box to the
    // grid's new foot.
    view->setFixedHeight(view->height() - view->viewport()->height() + 3 * rowHeight);
    QTRY_COMPARE(box->y(), view->viewport()->geometry().bottom() + 1 - 19);
    QVERIFY(box->isVisible());
    QCOMPARE(box->text(), QStringLiteral("Ш"));
    QCOMPARE(m_window->focusWidget(), box);
    QVERIFY(rowFoundClear());
    // Without a search, too, a smaller grid keeps the current row in sight.
    QTest::keyClick(box, Qt::Key_Escape);
    QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
    view->setFixedHeight(view->height() - view->viewport()->height() + rowHeight);
    QTRY_VERIFY(view->viewport()->rect().contains(view->visualRect(view->currentIndex())));
}

void TestOrderGui::keyboardNeverLeftOnTheHiddenBox_data()
{
    QTest::addColumn<bool>("hiddenMeanwhile");
    QTest::newRow("the window inactive a moment") << false;
    QTest::newRow("the box hidden while the window is inactive") << true;
}

void TestOrderGui::keyboardNeverLeftOnTheHiddenBox()
{
    QFETCH(bool, hiddenMeanwhile);
    // Here the window is made active at once, without waiting for the
    // compositor's word on it.
    const auto activate = [](QWidget *window) {
        const QString platform = QGuiApplication::platformName();
        if (platform == QLatin1String("offscreen") || platform == QLatin1String("wayland"))
            QApplication::setActiveWindow(window);
        else
            window->activateWindow();
        return QTest::qWaitFor([window] { return window->isActiveWindow(); });
    };
    QTableView *view = m_priceGrid->view();
    LookupGridPrice *box = startLookup(3, QStringLiteral("б"));
    QVERIFY(box->hasFocus());

    // Another window takes the keyboard (a compositor may do that by
    // itself, for instance when a new virtual keyboard appears).
    QWidget other;
    other.resize(200, 100);
    other.show();
    QVERIFY(activate(&other));
    if (hiddenMeanwhile)
        m_gui->hideLookup(); // as a new view of the price list does
    QVERIFY(activate(m_window));

    QWidget *keys = QApplication::focusWidget();
    QVERIFY(keys);
    QVERIFY(keys->isVisible());
    if (hiddenMeanwhile) {
        QCOMPARE(keys, view);
        QVERIFY(!box->isVisible());
    } else {
        // The search goes on where it was.
        QCOMPARE(keys, box);
        QCOMPARE(box->text(), QStringLiteral("б"));
        typeText(box, QStringLiteral("ол"));
        QCOMPARE(box->text(), QStringLiteral("бол"));
    }
}

void TestOrderGui::selfColouredTextsAreReadable_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<QString>("text");
    for (const bool dark : {false, true}) {
        for (const char *text : {"sum", "pack note", "marked quantity", "search box", "placeholder", "topic", "hover"})
            QTest::addRow("%s, %s", dark ? "dark" : "light", text) << dark << QString::fromLatin1(text);
    }
}

void TestOrderGui::selfColouredTextsAreReadable()
{
    QFETCH(bool, dark);
    QFETCH(QString, text);
    cleanup(); // the program as started under a light or a dark desktop palette
    const auto restore = qScopeGuard([this] { QApplication::setPalette(m_desktopPalette); });
    QApplication::setPalette(dark ? darkTestPalette() : QApplication::style()->standardPalette());
    init();
    m_form->prepare({QStringLiteral("Шайба"), 100, QStringLiteral("р."), 13, 10, {}});
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form) && activateTestWindow(m_form));
    m_form->findChild<QPushButton *>(QStringLiteral("OKBtn"))->setFocus(); // no selection, no cursor
    QLineEdit *quantity = m_form->quantityEdit()->findChild<QLineEdit *>();
    QTRY_VERIFY(!quantity->hasFocus());
    LegendPanel legend;
    legend.show();
    QLabel *topic = legend.topicLabel(0);
    QEvent enter(QEvent::Enter);
    if (text == QLatin1String("hover"))
        QCoreApplication::sendEvent(topic, &enter);
    QLineEdit *search = (new PartSearchField(*m_ws, m_priceGrid, m_gui->lookup(), m_window))->edit();
    search->parentWidget()->show();
    LookupGridPrice *box = m_gui->lookup();
    if (text == QLatin1String("search box")) {
        typeText(m_priceGrid->view(), QStringLiteral("б"));
        box->setCursorPosition(0); // where it stays without the text
    }
    const QHash<QString, std::tuple<QWidget *, QObject *, const char *>> texts{
        {"sum", {m_form->sumEdit(), m_form->sumEdit(), "text"}},
        {"pack note", {m_form->packLabel(), m_form->packLabel(), "text"}},
        {"marked quantity", {m_form->quantityEdit(), quantity, "text"}},
        {"search box", {box, box, "text"}},
        {"placeholder", {search, search, "placeholderText"}},
        {"topic", {topic, topic, "text"}},
        {"hover", {topic, topic, "text"}}};
    const auto [widget, holder, property] = texts.value(text);
    const double ratio = drawnContrast(widget, holder, property);
    QVERIFY2(ratio >= ReadableColour::MinimumContrast, QByteArray::number(ratio));
}

void TestOrderGui::tabMovesToNextColumn()
{
    QTableView *view = m_priceGrid->view();
    m_ws->price().setRowNumber(2);
    m_priceGrid->setSelectedColumn(3);
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(m_priceGrid->selectedColumn(), 4);
    QCOMPARE(m_ws->price().rowNumber(), 2);
    // From the last visible column back to the first after the fixed ones.
    int last = view->model()->columnCount() - 1;
    while (view->isColumnHidden(last))
        --last;
    m_priceGrid->setSelectedColumn(last);
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(m_priceGrid->selectedColumn(), 2);
    QCOMPARE(m_ws->price().rowNumber(), 2);
    QVERIFY(view->hasFocus());
}

void TestOrderGui::orderGridColumnsSortAndMoney()
{
    m_ws->settings().discount = 10;
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    QTableView *view = m_orderGrid->view();
    // The name column takes the room the other columns leave, also when the
    // grid grows (a window manager may give the window its size late).
    const auto used = [view] {
        int sum = 0;
        for (int c = 0; c < view->model()->columnCount(); ++c)
            sum += view->columnWidth(c);
        return sum;
    };
    QTRY_VERIFY(view->columnWidth(3) > 200);
    QTRY_COMPARE(used(), view->viewport()->width());
    view->setFixedWidth(view->width() + 60);
    QTRY_COMPARE(used(), view->viewport()->width());
    QCOMPARE(m_ws->grid(Workspace::Grid::Order).columns.at(3).width, view->columnWidth(3));

    for (const int code : {42, 7, 12}) {
        QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
        typeQuantityAndConfirm(m_form, QStringLiteral("2"));
        QVERIFY(m_ws->execute(ActionId::AddToOrder));
    }

    // Price and amount cells show the discounted money text.
    QAbstractItemModel *model = view->model();
    QCOMPARE(model->index(0, 7).data().toString(), QStringLiteral("2.25 р."));
    QCOMPARE(model->index(0, 8).data().toString(), QStringLiteral("4.50 р."));
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("00042"));

    // A double-click on a title sorts the order itself by that column; a
    // second one reverses it.
    QHeaderView *header = view->horizontalHeader();
    const QPoint title(header->sectionViewportPosition(3) + header->sectionSize(3) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, title);
    const auto names = [this] {
        QStringList result;
        for (int r = 0; r < m_ws->order().rowCount(); ++r)
            result << m_ws->order().stringAt(r, OrderTable::Name);
        return result;
    };
    QCOMPARE(names(), (QStringList{"Болт М8", "Гайка М8", "Шайба"}));
    QCOMPARE(m_ws->grid(Workspace::Grid::Order).sortMark, 4);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, title);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, title);
    QCOMPARE(names(), (QStringList{"Шайба", "Гайка М8", "Болт М8"}));
    QCOMPARE(m_ws->grid(Workspace::Grid::Order).sortMark, -4);
    // The saved file follows the sorted order.
    m_prompts->script.queueFile(QStringLiteral("sorted.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QCOMPARE(TextFile::readLines(QStringLiteral("sorted.txt")).mid(14),
             (QStringList{"00007|Шайба||Тайвань|2", "00042|Гайка М8|OEM-42|Китай|2", "00012|Болт М8|OEM-12|Россия|2"}));
}

int main(int argc, char *argv[])
{
    // The program's own application object: it keeps the placeholder texts
    // of every palette readable.
    OrdixApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestOrderGui test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_ordergui.moc"
