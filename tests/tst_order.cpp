#include <QtTest>

#include "actionid.h"
#include "actionlist.h"
#include "orderfile.h"
#include "orderlifecycle.h"
#include "ordixerror.h"
#include "ordertable.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "orderfixture.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    using Answer = UserPrompts::Answer;

    void writeFile(const QString &path, const QStringList &lines)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
    }

    // Lines of the order as "code:name:count:price:sum:flag".
    QStringList orderRows(const RecordTable &order)
    {
        QStringList rows;
        if (!order.isActive())
            return rows;
        for (int r = 0; r < order.rowCount(); ++r) {
            rows << QStringLiteral("%1:%2:%3:%4:%5:%6")
                        .arg(order.integerAt(r, OrderTable::Code))
                        .arg(order.stringAt(r, OrderTable::Name))
                        .arg(order.integerAt(r, OrderTable::Count))
                        .arg(order.floatAt(r, OrderTable::Price))
                        .arg(order.floatAt(r, OrderTable::SUM))
                        .arg(order.integerAt(r, OrderTable::AvailabilityFlag));
        }
        return rows;
    }
}

class TestOrder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void orderSum_data();
    void orderSum();
    void changedSettingsShowInTheSum();
    void newOrderStartsEmptyWithPlainLabels();
    void gridColumnsAndDisplayFormats();
    void preferredWidthFollowsPostedRows();

    void cancelledFirstAddOpensNoOrder();
    void addMarksPriceRowAndCountsTotal();
    void reAddReplacesQuantityAndKeepsLinePrice();
    void editChangesQuantity();
    void removeTakesMarkOffAndAsksNothing();
    void removeLineOfPartMissingFromPriceList();
    void newOrderAfterClosedOneCountsOnlyNewLines();

    void closePaths_data();
    void closePaths();
    void closeQuestionNamesTheFile();
    void unchangedOrEmptyOrderClosesWithoutQuestion_data();
    void unchangedOrEmptyOrderClosesWithoutQuestion();
    void cancelledCloseStopsNewAndOpen();
    void failedSaveWhileClosingKeepsOrderOpen();
    void closeRequestIsRefusedOnCancel();

    void coordinationRepricesFoundLines();
    void coordinationAnsweredNoChangesNothing();
    void hiddenPartsArePricedAndMarked_data();
    void hiddenPartsArePricedAndMarked();
    void amountThatOverflowsIsRefused();
    void closingPriceListWipesOrderPrices();

private:
    void loadPrice(const QStringList &lines = StandardPrice) { m_session->loadPrice(lines); }
    void addPart(int code, int quantity) { m_session->addPart(code, quantity); }

    std::unique_ptr<OrderSession> m_session;
    Workspace *m_ws = nullptr;
};

void TestOrder::init()
{
    m_session = std::make_unique<OrderSession>();
    QVERIFY(m_session->dir.isValid());
    m_ws = &m_session->ws;
}

void TestOrder::cleanup()
{
    m_ws = nullptr;
    m_session.reset();
}

void TestOrder::orderSum_data()
{
    QTest::addColumn<float>("discount");
    QTest::addColumn<float>("rate");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hint");

    QTest::newRow("no discount") << 0.0f << 1.0f << "Сумма: 1 000.00 р."
                                 << "";
    QTest::newRow("discount 10") << 10.0f << 1.0f << "Сумма: 900.00 р."
                                 << "Сумма без учета скидки: 1 000.00 р.";
    QTest::newRow("markup 5") << -5.0f << 1.0f << "Сумма: 1 050.00 р."
                              << "Стоимость без наценки : 1 000.00 р.";
    QTest::newRow("accumulative 100") << 100.0f << 1.0f << "Сумма: 1 000.00 р."
                                      << "";
    QTest::newRow("accumulative 150") << 150.0f << 1.0f << "Сумма: 1 000.00 р."
                                      << "";
    QTest::newRow("rate 2") << 0.0f << 2.0f << "Сумма: 500.00 р."
                            << "";
    QTest::newRow("rate 2 with discount 10") << 10.0f << 2.0f << "Сумма: 450.00 р."
                                             << "Сумма без учета скидки: 500.00 р.";
}

void TestOrder::orderSum()
{
    QFETCH(float, discount);
    QFETCH(float, rate);
    QFETCH(QString, text);
    QFETCH(QString, hint);
    m_ws->settings().discount = discount;
    m_ws->settings().currentCurrency.rate = rate;
    OrderTable::startNew(*m_ws);
    m_ws->order().appendRow(QVariantList{0, 1, QString(), QString(), QString(), 1, 1000.0, 1000.0});
    m_ws->document().recount();
    OrderTable::showOrderSum(*m_ws);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), text);
    QCOMPARE(m_ws->label(Workspace::Label::SummHint), hint);
    // The report and the exports print the texts the labels show after their captions.
    if (!hint.isEmpty())
        QCOMPARE(hint.mid(24), m_ws->formatMoney(1000));
    QCOMPARE(text.mid(7), text.sliced(QStringLiteral("Сумма: ").size()));
    QCOMPARE(m_ws->document().payableText(), text.mid(7));
    QCOMPARE(m_ws->document().undiscountedText(), hint.mid(24));
}

void TestOrder::changedSettingsShowInTheSum()
{
    loadPrice();
    addPart(7, 10);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 1 000.00 р."));
    m_ws->settings().discount = 10;
    emit m_ws->settingsChanged(); // as the settings dialog does after OK
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 900.00 р."));
    QCOMPARE(m_ws->label(Workspace::Label::SummHint), QStringLiteral("Сумма без учета скидки: 1 000.00 р."));
}

void TestOrder::newOrderStartsEmptyWithPlainLabels()
{
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    QVERIFY(m_ws->orderOpen());
    QCOMPARE(m_ws->order().rowCount(), 0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма"));
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ"));
    QVERIFY(m_ws->isPanelVisible(Workspace::Panel::Order));
    QVERIFY(!m_ws->document().isModified());
    QVERIFY(m_ws->document().fileName().isEmpty());
    QCOMPARE(m_ws->document().total(), 0.0);
    // An open, saved order is replaced without a question.
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    QVERIFY(m_session->prompts.questions().isEmpty());
}

void TestOrder::gridColumnsAndDisplayFormats()
{
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    const GridLayout &grid = m_ws->grid(Workspace::Grid::Order);
    QStringList titles;
    QStringList fields;
    QList<int> widths;
    for (const GridColumn &c : grid.columns) {
        titles << c.title;
        fields << c.fieldName;
        widths << c.width;
        QCOMPARE(c.preferredWidth, 7);
    }
    QCOMPARE(titles,
             (QStringList{"№", "...", "Код", "Наименование / артикул производителя", "OEM номер", "Пр-во", "Кол-во",
                          "Цена", "Итого"}));
    QCOMPARE(
        fields,
        (QStringList{"NPP", "AvailabilityFlag", "Code", "Name", "CatalogID", "Producer", "Count", "Price", "SUM"}));
    // The default measure counts 7 pixels a character.
    QCOMPARE(widths, (QList<int>{40, 18, 50, 200, 100, 42, 77, 77, 64}));
    QCOMPARE(grid.fixedColumns, 2);

    RecordTable &order = m_ws->order();
    order.appendRow(QVariantList{1, 42, "A", "", "", 1, 1234.5, 1234.5});
    order.appendRow(QVariantList{1, 123456, "B", "", "", 1, 1, 1});
    QCOMPARE(order.displayTextAt(0, OrderTable::Code), QStringLiteral("00042"));
    QCOMPARE(order.displayTextAt(1, OrderTable::Code), QStringLiteral("123456"));
    QCOMPARE(order.displayTextAt(0, OrderTable::Price), QStringLiteral("1 234.50 р."));
}

void TestOrder::preferredWidthFollowsPostedRows()
{
    loadPrice();
    addPart(12, 3);
    const GridLayout &grid = m_ws->grid(Workspace::Grid::Order);
    // Display text width (7 a character) plus 4: "00012", "Болт М8", "OEM-12",
    // "Россия", "3", "10.00 р.", "30.00 р.".
    QCOMPARE(grid.columns.at(0).preferredWidth, 7);
    QCOMPARE(grid.columns.at(2).preferredWidth, 39);
    QCOMPARE(grid.columns.at(3).preferredWidth, 53);
    QCOMPARE(grid.columns.at(4).preferredWidth, 46);
    QCOMPARE(grid.columns.at(5).preferredWidth, 46);
    QCOMPARE(grid.columns.at(6).preferredWidth, 11);
    QCOMPARE(grid.columns.at(7).preferredWidth, 60);
    QCOMPARE(grid.columns.at(8).preferredWidth, 60);
    // A narrower line does not lower it.
    addPart(7, 1);
    QCOMPARE(grid.columns.at(3).preferredWidth, 53);
    QCOMPARE(grid.columns.at(7).preferredWidth, 67); // "100.00 р."
}

void TestOrder::cancelledFirstAddOpensNoOrder()
{
    loadPrice();
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    m_session->prompts.queueQuantity(-1);
    QVERIFY(m_ws->execute(ActionId::AddToOrder));
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Order));
    QCOMPARE(m_ws->price().asInteger(0), 1);
    QCOMPARE(m_session->prompts.texts(QStringLiteral("quantity")).size(), 1);
}

void TestOrder::addMarksPriceRowAndCountsTotal()
{
    loadPrice();
    m_ws->settings().currentCurrency.rate = 2.0f;
    m_ws->settings().currentCurrency.symbol = QStringLiteral("$");
    addPart(12, 3);

    const ScriptedPrompts::Record request = m_session->prompts.records().constLast();
    QCOMPARE(request.kind, QStringLiteral("quantity"));
    QCOMPARE(request.quantity.partName, QStringLiteral("Болт М8"));
    QCOMPARE(request.quantity.price, 5.0);
    QCOMPARE(request.quantity.currencySymbol, QStringLiteral("$"));
    QCOMPARE(request.quantity.quantity, 1);

    QVERIFY(m_ws->orderOpen());
    QCOMPARE(orderRows(m_ws->order()), QStringList{"12:Болт М8:3:10:30:1"});
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::CatalogID), QStringLiteral("OEM-12"));
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::Producer), QStringLiteral("Россия"));
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    QCOMPARE(m_ws->price().asInteger(0), 6);
    QCOMPARE(m_ws->document().total(), 30.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 15.00 $"));
    QVERIFY(m_ws->document().isModified());
}

void TestOrder::reAddReplacesQuantityAndKeepsLinePrice()
{
    loadPrice();
    addPart(12, 3);
    addPart(42, 2);
    QCOMPARE(m_ws->document().total(), 35.0);

    // The price list now asks 11 for the part; the line keeps its 10.
    RecordTable &price = m_ws->price();
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    price.edit();
    price.setFloat(price.fieldByName(QStringLiteral("Price")), 11);
    price.post();

    addPart(12, 5);
    QCOMPARE(m_session->prompts.records().constLast().quantity.quantity, 3);
    QCOMPARE(orderRows(m_ws->order()), (QStringList{"12:Болт М8:5:10:50:1", "42:Гайка М8:2:2.5:5:0"}));
    QCOMPARE(m_ws->document().total(), 55.0);
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    QCOMPARE(price.asInteger(0), 6);
}

void TestOrder::editChangesQuantity()
{
    loadPrice();
    addPart(12, 3);
    addPart(7, 1);
    QCOMPARE(m_ws->document().total(), 130.0);
    m_ws->document().setModified(false);

    RecordTable &order = m_ws->order();
    order.first();
    m_session->prompts.queueQuantity(-1);
    QVERIFY(m_ws->execute(ActionId::EditOrderRecord));
    QCOMPARE(orderRows(order), (QStringList{"12:Болт М8:3:10:30:1", "7:Шайба:1:100:100:3"}));
    QVERIFY(!m_ws->document().isModified());

    m_session->prompts.queueQuantity(7);
    QVERIFY(m_ws->execute(ActionId::EditOrderRecord));
    const ScriptedPrompts::Record request = m_session->prompts.records().constLast();
    QCOMPARE(request.quantity.partName, QStringLiteral("Болт М8"));
    QCOMPARE(request.quantity.quantity, 3);
    QCOMPARE(request.quantity.price, 10.0);
    QCOMPARE(orderRows(order), (QStringList{"12:Болт М8:7:10:70:1", "7:Шайба:1:100:100:3"}));
    QCOMPARE(m_ws->document().total(), 170.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 170.00 р."));
    QVERIFY(m_ws->document().isModified());
}

void TestOrder::removeTakesMarkOffAndAsksNothing()
{
    loadPrice();
    addPart(12, 3);
    addPart(7, 2);
    RecordTable &price = m_ws->price();
    QVERIFY(price.locate(QStringLiteral("Code"), 7));
    QCOMPARE(price.asInteger(0), 8);
    const int priceRow = price.rowNumber();
    m_session->prompts.clear();
    m_ws->document().setModified(false);

    RecordTable &order = m_ws->order();
    order.last();
    QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
    QVERIFY(m_session->prompts.records().isEmpty());
    QCOMPARE(orderRows(order), QStringList{"12:Болт М8:3:10:30:1"});
    QVERIFY(price.locate(QStringLiteral("Code"), 7));
    QCOMPARE(price.asInteger(0), 3);
    QCOMPARE(m_ws->document().total(), 30.0);
    QVERIFY(m_ws->document().isModified());

    // The price list's current row is where it was before the removal.
    price.setRowNumber(priceRow == 1 ? 2 : 1);
    const int before = price.rowNumber();
    order.first();
    QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
    QCOMPARE(price.rowNumber(), before);
    QVERIFY(m_ws->orderOpen());
    QCOMPARE(order.rowCount(), 0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 0.00 р."));
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    QCOMPARE(price.asInteger(0), 1);
    // Nothing left to remove: the action is disabled.
    QVERIFY(!m_ws->execute(ActionId::RemoveFromOrder));
}

void TestOrder::removeLineOfPartMissingFromPriceList()
{
    loadPrice();
    addPart(12, 1);
    RecordTable &order = m_ws->order();
    order.appendRow(QVariantList{0, 99, "Нет в прайсе", "", "", 1, 0.0, 0.0});
    QVector<qint64> flags;
    for (int r = 0; r < m_ws->price().rowCount(); ++r)
        flags << m_ws->price().integerAt(r, 0);
    order.last();
    QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
    QVector<qint64> after;
    for (int r = 0; r < m_ws->price().rowCount(); ++r)
        after << m_ws->price().integerAt(r, 0);
    QCOMPARE(after, flags);
    QCOMPARE(orderRows(order), QStringList{"12:Болт М8:1:10:10:1"});
}

void TestOrder::newOrderAfterClosedOneCountsOnlyNewLines()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QVERIFY(!m_ws->orderOpen());
    // The close took the mark off.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    QCOMPARE(m_ws->price().asInteger(0), 1);

    addPart(42, 2);
    QCOMPARE(m_ws->document().total(), 5.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 5.00 р."));
    QCOMPARE(orderRows(m_ws->order()), QStringList{"42:Гайка М8:2:2.5:5:0"});
}

void TestOrder::closePaths_data()
{
    QTest::addColumn<QList<int>>("answers"); // Answer values, in order of asking
    QTest::addColumn<QString>("savePath");   // answer of the save dialog; empty cancels
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("fileWritten");

    QTest::newRow("Cancel keeps the order") << QList<int>{int(Answer::Cancel)} << QString() << false << false;
    QTest::newRow("No closes without saving") << QList<int>{int(Answer::No)} << QString() << true << false;
    QTest::newRow("Yes and a cancelled save keep the order")
        << QList<int>{int(Answer::Yes)} << QString() << false << false;
    QTest::newRow("Yes and a completed save close") << QList<int>{int(Answer::Yes)} << "saved.txt" << true << true;
}

void TestOrder::closePaths()
{
    QFETCH(QList<int>, answers);
    QFETCH(QString, savePath);
    QFETCH(bool, closed);
    QFETCH(bool, fileWritten);

    loadPrice();
    addPart(12, 3);
    addPart(42, 1);
    m_session->prompts.clear();
    for (const int a : answers)
        m_session->prompts.queueAnswer(Answer(a));
    m_session->prompts.queueFile(savePath);

    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QCOMPARE(m_session->prompts.questions(), QStringList{"Заказ не был сохранен.\nВы хотите сохранить заказ сейчас?"});
    QCOMPARE(m_ws->actions().isDone(ActionId::OrderClose), closed);
    QCOMPARE(m_ws->orderOpen(), !closed);
    QCOMPARE(QFileInfo::exists(QStringLiteral("saved.txt")), fileWritten);
    RecordTable &price = m_ws->price();
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    QCOMPARE(price.asInteger(0), closed ? 1 : 6);
    if (closed) {
        QVERIFY(m_ws->document().fileName().isEmpty());
        QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Order));
    } else {
        QCOMPARE(m_ws->order().rowCount(), 2);
        QVERIFY(m_ws->document().isModified());
        QVERIFY(m_ws->document().fileName().isEmpty());
        QCOMPARE(m_ws->document().total(), 32.5);
    }
}

void TestOrder::closeQuestionNamesTheFile()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueFile(QDir::current().filePath(QStringLiteral("мой заказ.txt")));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(!m_ws->document().isModified());
    addPart(42, 1);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QCOMPARE(m_session->prompts.questions(),
             QStringList{
                 "Изменения в файле заказа \"мой заказ.txt\" не были сохранены.\nВы хотите сохранить заказ сейчас?"});
    QCOMPARE(OrderLifecycle::closeQuestion(QString()),
             QStringLiteral("Заказ не был сохранен.\nВы хотите сохранить заказ сейчас?"));

    // Yes saves to the known file without a dialog and closes.
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QVERIFY(m_session->prompts.texts(QStringLiteral("save")).isEmpty());
    QVERIFY(!m_ws->orderOpen());
    const QStringList lines = TextFile::readLines(QStringLiteral("мой заказ.txt"));
    QCOMPARE(lines.mid(14), (QStringList{"00012|Болт М8|OEM-12|Россия|3", "00042|Гайка М8|OEM-42|Китай|1"}));
}

void TestOrder::unchangedOrEmptyOrderClosesWithoutQuestion_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("opened from a file") << "open";
    QTest::newRow("changed but empty") << "emptied";
    QTest::newRow("just saved") << "saved";
}

void TestOrder::unchangedOrEmptyOrderClosesWithoutQuestion()
{
    QFETCH(QString, how);
    loadPrice();
    if (how == QLatin1String("open")) {
        writeFile(QStringLiteral("o.txt"), {"ЗАКАЗ:", "00012|Болт М8|||2"});
        m_session->prompts.queueFile(QStringLiteral("o.txt"));
        QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
        QCOMPARE(m_ws->order().rowCount(), 1);
    } else if (how == QLatin1String("emptied")) {
        addPart(12, 1);
        QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
        QVERIFY(m_ws->document().isModified());
    } else {
        addPart(12, 1);
        m_session->prompts.queueFile(QStringLiteral("s.txt"));
        QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    }
    m_session->prompts.clear();
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QVERIFY(m_session->prompts.records().isEmpty());
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(m_ws->actions().isDone(ActionId::OrderClose));
}

void TestOrder::cancelledCloseStopsNewAndOpen()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(m_ws->execute(ActionId::OrderNew));
    QCOMPARE(orderRows(m_ws->order()), QStringList{"12:Болт М8:3:10:30:1"});
    QCOMPARE(m_ws->document().total(), 30.0);
    QVERIFY(m_ws->document().isModified());

    m_session->prompts.queueAnswer(Answer::Cancel);
    m_session->prompts.queueFile(QStringLiteral("never.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QVERIFY(m_session->prompts.texts(QStringLiteral("open")).isEmpty());
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_session->prompts.questions().size(), 2);
}

void TestOrder::failedSaveWhileClosingKeepsOrderOpen()
{
    loadPrice();
    addPart(12, 3);
    QVERIFY(QDir().mkdir(QStringLiteral("folder.txt")));
    m_session->prompts.queueAnswer(Answer::Yes);
    m_session->prompts.queueFile(QStringLiteral("folder.txt/x/y.txt"));
    m_ws->actions().run(ActionId::OrderClose);
    QVERIFY(m_ws->orderOpen());
    QVERIFY(m_ws->document().isModified());
    QVERIFY(!m_ws->actions().isDone(ActionId::OrderClose));
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QCOMPARE(m_ws->order().rowCount(), 1);
}

void TestOrder::closeRequestIsRefusedOnCancel()
{
    loadPrice();
    addPart(12, 3);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(!StandardActions::closeQuery(*m_ws));
    QVERIFY(m_ws->orderOpen());
    QVERIFY(m_ws->priceOpen());

    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(StandardActions::closeQuery(*m_ws));
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!m_ws->priceOpen());
}

void TestOrder::coordinationRepricesFoundLines()
{
    loadPrice();
    writeFile(QStringLiteral("o.txt"),
              {"ЗАКАЗ:", "00042|старое имя|||4", "00099|Нет в прайсе|X|Y|2", "00012|Болт|||3"});
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    RecordTable &order = m_ws->order();
    // The missing part carries a price from earlier: it keeps it, uncounted.
    order.setRowNumber(2);
    order.edit();
    order.setFloat(OrderTable::Price, 7);
    order.setFloat(OrderTable::SUM, 14);
    order.post();
    order.setRowNumber(3);
    RecordTable &price = m_ws->price();
    price.setRowNumber(2);

    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(m_session->prompts.questions(), QStringList{"Вы хотите согласовать заказ сейчас?"});
    QCOMPARE(orderRows(order),
             (QStringList{"42:Гайка М8:4:2.5:10:0", "99:Нет в прайсе:2:7:14:0", "12:Болт М8:3:10:30:1"}));
    QCOMPARE(order.stringAt(0, OrderTable::CatalogID), QStringLiteral("OEM-42"));
    QCOMPARE(order.stringAt(0, OrderTable::Producer), QStringLiteral("Китай"));
    QCOMPARE(order.stringAt(1, OrderTable::Producer), QStringLiteral("Y"));
    QCOMPARE(m_ws->document().total(), 40.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 40.00 р."));
    QVERIFY(m_ws->document().isModified());
    QCOMPARE(order.rowNumber(), 3);
    QCOMPARE(price.rowNumber(), 2);
    QCOMPARE(m_session->progress.texts().constLast(), QStringLiteral("Согласование.цен.."));
    QVERIFY(!m_session->progress.isVisible());
    QVERIFY(price.locate(QStringLiteral("Code"), 42));
    QCOMPARE(price.asInteger(0), 5);
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    QCOMPARE(price.asInteger(0), 6);
    QVERIFY(price.locate(QStringLiteral("Code"), 7));
    QCOMPARE(price.asInteger(0), 3);

    // A second run finds the marks already there and counts the same.
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(m_ws->document().total(), 40.0);
    QVERIFY(price.locate(QStringLiteral("Code"), 12));
    QCOMPARE(price.asInteger(0), 6);
    QCOMPARE(order.integerAt(2, OrderTable::AvailabilityFlag), 1);
}

void TestOrder::coordinationAnsweredNoChangesNothing()
{
    loadPrice();
    writeFile(QStringLiteral("o.txt"), {"ЗАКАЗ:", "00042|старое имя|||4"});
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(orderRows(m_ws->order()), QStringList{"42:старое имя:4:0:0:0"});
    QVERIFY(!m_ws->document().isModified());
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 0.00 р."));
}

void TestOrder::hiddenPartsArePricedAndMarked_data()
{
    QTest::addColumn<QString>("filter");
    QTest::newRow("filter hides every ordered part") << "Code=7";
    QTest::newRow("filter hides every row") << "Code=1";
    QTest::newRow("filter shows one ordered part") << "Code=12 OR Code=7";
    QTest::newRow("filter hides marked rows") << "NOT AvailabilityFlag>=5";
}

void TestOrder::hiddenPartsArePricedAndMarked()
{
    QFETCH(QString, filter);
    loadPrice();
    addPart(12, 1);
    writeFile(QStringLiteral("o.txt"), {"ЗАКАЗ:", "00042|Гайка|||4", "00012|Болт|||3"});
    m_session->prompts.queueAnswer(Answer::No);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    RecordTable &price = m_ws->price();
    price.setFilter(filter);
    price.setFiltered(true);
    const auto flagsOf = [&price] {
        QStringList flags;
        for (int code : {12, 42, 7}) {
            const auto whole = price.clone();
            flags << (whole->locate(QStringLiteral("Code"), code) ? QString::number(whole->asInteger(0)) : "-");
        }
        return flags.join(QLatin1Char(' '));
    };
    const auto visibleCodes = [&price] {
        QStringList codes;
        for (int r = 0; r < price.rowCount(); ++r)
            codes << QString::number(price.integerAt(r, 1));
        return codes;
    };

    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(orderRows(m_ws->order()), (QStringList{"42:Гайка М8:4:2.5:10:0", "12:Болт М8:3:10:30:1"}));
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 40.00 р."));
    QCOMPARE(flagsOf(), QStringLiteral("6 5 3"));
    // The grid shows what the filter selects from the rows as they are now.
    const auto expected = visibleCodes();
    price.setFiltered(false);
    price.setFiltered(true);
    QCOMPARE(visibleCodes(), expected);

    // Removing a line takes the mark off its row, visible or not.
    RecordTable &order = m_ws->order();
    while (order.rowCount() > 0) {
        order.first();
        QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
    }
    QCOMPARE(flagsOf(), QStringLiteral("1 0 3"));
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 0.00 р."));
}

void TestOrder::amountThatOverflowsIsRefused()
{
    loadPrice({"Код|Наименование|Артикул|Производитель|Цена|Статус", "12|Болт М8|OEM-12|Россия|10|1",
               "99|Станок|S|Германия|90000000000|1"});
    // Adding: the line is refused with a message and nothing changes.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 99));
    m_session->prompts.queueQuantity(1000);
    QVERIFY_THROWS_EXCEPTION(OrdixError, m_ws->execute(ActionId::AddToOrder));
    QVERIFY(!m_ws->orderOpen() || m_ws->order().rowCount() == 0);
    QCOMPARE(m_ws->document().total(), 0.0);

    // Coordination: the line keeps its fields, stays out of the total, and
    // the user is told.
    writeFile(QStringLiteral("o.txt"), {"ЗАКАЗ:", "00099|Станок|||1000", "00012|Болт|||3"});
    m_session->prompts.queueAnswer(Answer::No);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(orderRows(m_ws->order()), (QStringList{"99:Станок:1000:0:0:0", "12:Болт М8:3:10:30:1"}));
    QCOMPARE(m_ws->document().total(), 30.0);
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"Строк заказа, не согласованных из-за слишком большой суммы: 1"});
}

void TestOrder::closingPriceListWipesOrderPrices()
{
    loadPrice();
    addPart(12, 3);
    addPart(7, 1);
    m_session->prompts.queueFile(QStringLiteral("s.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(!m_ws->document().isModified());

    QVERIFY(m_ws->execute(ActionId::PriceClose));
    RecordTable &order = m_ws->order();
    QCOMPARE(orderRows(order), (QStringList{"12:Болт М8:3:0:0:0", "7:Шайба:1:0:0:0"}));
    QCOMPARE(order.stringAt(0, OrderTable::Producer), QString());
    QCOMPARE(order.stringAt(0, OrderTable::CatalogID), QStringLiteral("OEM-12"));
    QCOMPARE(m_ws->document().total(), 0.0);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 0.00 р."));
    QVERIFY(!m_ws->document().isModified());
    QCOMPARE(order.rowNumber(), 1);
}

QTEST_GUILESS_MAIN(TestOrder)
#include "tst_order.moc"
