#include <QtTest>

#include "cp1251.h"
#include "missinglines.h"
#include "orderhistory.h"
#include "orderrecovery.h"
#include "ordertable.h"
#include "pricecompare.h"
#include "priceloader.h"
#include "quickorder.h"
#include "testworkspace.h"
#include "textencoding.h"
#include "textfile.h"

// What a user does beyond the plain order: a quick order from the
// clipboard, undo and redo, the lines the price list lacks, the recovery file
// and files saved as UTF-8.
namespace
{
    using Answer = UserPrompts::Answer;

    const QStringList StandardPrice{
        QStringLiteral("Код|Наименование|Артикул|Производитель|Цена|Статус"),
        QStringLiteral("12|Болт М8|OEM-12|Россия|10|1"),
        QStringLiteral("42|Гайка М8|OEM-42|Китай|2.5|0"),
        QStringLiteral("7|Шайба|OEM-7|Тайвань|100|3"),
    };

    void writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

    // "code:count:price:sum" per order line, then the total, the changed
    // state and the codes carrying the in-order mark in the price list.
    QString state(Workspace &ws)
    {
        QStringList rows;
        RecordTable &order = ws.order();
        for (int r = 0; order.isActive() && r < order.rowCount(); ++r) {
            rows << QStringLiteral("%1:%2:%3:%4")
                        .arg(order.integerAt(r, OrderTable::Code))
                        .arg(order.integerAt(r, OrderTable::Count))
                        .arg(order.floatAt(r, OrderTable::Price))
                        .arg(order.floatAt(r, OrderTable::SUM));
        }
        QStringList marked;
        RecordTable &price = ws.price();
        for (int r = 0; price.isActive() && r < price.rowCount(); ++r) {
            if (price.integerAt(r, 0) >= Workspace::InOrderMark)
                marked << QString::number(price.integerAt(r, price.fieldByName(QStringLiteral("Code"))));
        }
        marked.sort();
        return rows.join(QLatin1Char(' ')) + QStringLiteral(" | total=%1 changed=%2 marked=%3")
                                                  .arg(ws.orderTotal)
                                                  .arg(ws.orderChanged)
                                                  .arg(marked.join(QLatin1Char(',')));
    }
}

class TestOrderExtras : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void quickOrderParsesLines_data();
    void quickOrderParsesLines();
    void quickOrderFromTheClipboard();
    void quickOrderWithNothingUsable();

    void undoAndRedoEveryStep_data();
    void undoAndRedoEveryStep();
    void newStepDropsTheRedoAndOpenOrCloseClearsHistory();

    void coordinationFlagsLinesMissingFromThePriceList();

    void utf8FilesAreReadAsUtf8_data();
    void utf8FilesAreReadAsUtf8();
    void utf8PriceListLoads();

    void recoveryFileFollowsTheUnsavedOrder();
    void recoveryOfferedAtStart_data();
    void recoveryOfferedAtStart();

private:
    void loadPrice(const QStringList &lines = StandardPrice);
    void addPart(int code, int quantity);

    std::unique_ptr<TestSession> m_session;
    Workspace *m_ws = nullptr;
};

void TestOrderExtras::init()
{
    m_session = std::make_unique<TestSession>(true);
    QVERIFY(m_session->dir.isValid());
    m_ws = &m_session->ws;
}

void TestOrderExtras::cleanup()
{
    m_ws = nullptr;
    m_session.reset();
}

void TestOrderExtras::loadPrice(const QStringList &lines)
{
    writeBytes(QStringLiteral("prices.txt"), TextFile::encodeLines(lines));
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(m_ws->priceNotEmpty());
}

void TestOrderExtras::addPart(int code, int quantity)
{
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), code));
    m_session->prompts.queueQuantity(quantity);
    QVERIFY(m_ws->execute(QStringLiteral("AddToOrder")));
}

// --- quick order ---------------------------------------------------------------

void TestOrderExtras::quickOrderParsesLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lines"); // code×quantity
    QTest::addColumn<int>("skipped");
    QTest::newRow("spreadsheet TAB, CR LF, trailing empty cells")
        << "00012\t3\r\n42\t10\t\r\n" << "12×3 42×10" << 0;
    QTest::newRow("semicolons and blanks") << "12;3\n42 ; 2\n  7   5  " << "12×3 42×2 7×5" << 0;
    QTest::newRow("code alone means one") << "12\n\n42;\n" << "12×1 42×1" << 0;
    QTest::newRow("header, words, zero and fractions skipped")
        << "Код\tКол-во\n12 Болт 3\n42 0\n7 1.5\n12 -2\n99x 1\n7 2" << "7×2" << 6;
    QTest::newRow("empty clipboard") << "" << "" << 0;
}

void TestOrderExtras::quickOrderParsesLines()
{
    QFETCH(QString, text);
    QFETCH(QString, lines);
    QFETCH(int, skipped);
    const QuickOrder::Parsed parsed = QuickOrder::parse(text);
    QStringList got;
    for (const QuickOrder::Line &line : parsed.lines)
        got << QStringLiteral("%1×%2").arg(line.code).arg(line.quantity);
    QCOMPARE(got.join(QLatin1Char(' ')), lines);
    QCOMPARE(parsed.skipped, skipped);
}

void TestOrderExtras::quickOrderFromTheClipboard()
{
    loadPrice();
    addPart(12, 3);
    m_ws->price().setRowNumber(3);
    const QString before = state(*m_ws);

    m_session->prompts.clear();
    m_session->prompts.setClipboardText(QStringLiteral("12\t5\n42;2\n99 1\nКод Кол-во\n7\n00123 4\n"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderPasteClipboard")));
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"Добавлено: 3; не найдено в прайс-листе: 2 (коды 99, 00123)\n"
                         "Пропущено строк не вида «код количество»: 1"});
    // The existing line takes the new quantity at its own price; no dialog.
    QCOMPARE(state(*m_ws), QStringLiteral("12:5:10:50 42:2:2.5:5 7:1:100:100 | total=155 changed=1 marked=12,42,7"));
    QVERIFY(m_session->prompts.texts(QStringLiteral("quantity")).isEmpty());
    QCOMPARE(m_ws->price().rowNumber(), 3);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 155.00 р."));

    // One step of the history.
    QCOMPARE(m_ws->actions().get(QStringLiteral("OrderUndo")).caption,
             QStringLiteral("Отменить: вставка заказа из буфера"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QCOMPARE(state(*m_ws), before);
    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));
    QCOMPARE(state(*m_ws), QStringLiteral("12:5:10:50 42:2:2.5:5 7:1:100:100 | total=155 changed=1 marked=12,42,7"));
}

void TestOrderExtras::quickOrderWithNothingUsable()
{
    QVERIFY(!m_ws->actions().isEnabled(QStringLiteral("OrderPasteClipboard")));
    loadPrice();
    QVERIFY(m_ws->actions().isEnabled(QStringLiteral("OrderPasteClipboard")));
    m_session->prompts.setClipboardText(QStringLiteral("Здравствуйте!\nПришлите, пожалуйста"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderPasteClipboard")));
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"В буфере обмена нет строк заказа вида «код количество».\nПропущено строк: 2"});
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!m_ws->actions().isEnabled(QStringLiteral("OrderUndo")));

    // Only unknown codes: reported, and no order started.
    m_session->prompts.clear();
    m_session->prompts.setClipboardText(QStringLiteral("99 2"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderPasteClipboard")));
    QCOMPARE(m_session->prompts.messages(), QStringList{"Добавлено: 0; не найдено в прайс-листе: 1 (коды 99)"});
    QVERIFY(!m_ws->orderOpen());
    // A part hidden by the price list's filter is found all the same, and
    // the filter stays.
    m_session->prompts.clear();
    RecordTable &price = m_ws->price();
    price.setFilter(QStringLiteral("Code=12"));
    price.setFiltered(true);
    QCOMPARE(price.rowCount(), 1);
    m_session->prompts.setClipboardText(QStringLiteral("42 2"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderPasteClipboard")));
    QCOMPARE(m_session->prompts.messages(), QStringList{"Добавлено: 1; не найдено в прайс-листе: 0"});
    QCOMPARE(price.rowCount(), 1);
    QVERIFY(price.isFiltered());
    // Undone under the filter, the hidden part loses its mark as well.
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QCOMPARE(price.rowCount(), 1);
    price.setFiltered(false);
    QCOMPARE(state(*m_ws), QStringLiteral(" | total=0 changed=0 marked="));
    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));
    QCOMPARE(state(*m_ws), QStringLiteral("42:2:2.5:5 | total=5 changed=1 marked=42"));
}

// --- undo and redo -----------------------------------------------------------------

void TestOrderExtras::undoAndRedoEveryStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("caption");
    QTest::newRow("add") << "add" << "добавление «Шайба»";
    QTest::newRow("add again") << "readd" << "изменение количества «Болт М8»";
    QTest::newRow("quantity") << "edit" << "изменение количества «Гайка М8»";
    QTest::newRow("remove") << "remove" << "удаление «Болт М8»";
    QTest::newRow("coordination") << "coordinate" << "согласование с прайсом";
}

void TestOrderExtras::undoAndRedoEveryStep()
{
    QFETCH(QString, step);
    QFETCH(QString, caption);
    loadPrice();
    addPart(12, 3);
    addPart(42, 4);
    // A saved order: undoing back to it gives the saved state again.
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileSave")));
    if (step == QLatin1String("coordinate")) {
        // A price changed since the lines were added.
        RecordTable &price = m_ws->price();
        QVERIFY(price.locate(QStringLiteral("Code"), 12));
        price.edit();
        price.setFloat(price.fieldByName(QStringLiteral("Price")), 11);
        price.post();
    }
    const QString before = state(*m_ws);

    if (step == QLatin1String("add")) {
        addPart(7, 2);
    } else if (step == QLatin1String("readd")) {
        addPart(12, 6);
    } else if (step == QLatin1String("edit")) {
        m_ws->order().setRowNumber(2);
        m_session->prompts.queueQuantity(9);
        QVERIFY(m_ws->execute(QStringLiteral("EditOrderRecord")));
    } else if (step == QLatin1String("remove")) {
        m_ws->order().setRowNumber(1);
        QVERIFY(m_ws->execute(QStringLiteral("RemoveFromOrder")));
    } else {
        m_session->prompts.queueAnswer(Answer::Yes);
        QVERIFY(m_ws->execute(QStringLiteral("CoordinateOrder")));
    }
    const QString after = state(*m_ws);
    QVERIFY(after != before);

    const ActionList &actions = m_ws->actions();
    QCOMPARE(actions.get(QStringLiteral("OrderUndo")).caption, QStringLiteral("Отменить: ") + caption);
    QCOMPARE(actions.get(QStringLiteral("OrderRedo")).caption, QStringLiteral("Повторить"));
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderRedo")));

    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QCOMPARE(state(*m_ws), before);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: %1 р.").arg(Decimal::formatGrouped(m_ws->orderTotal, 2)));
    QCOMPARE(actions.get(QStringLiteral("OrderRedo")).caption, QStringLiteral("Повторить: ") + caption);

    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));
    QCOMPARE(state(*m_ws), after);
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QCOMPARE(state(*m_ws), before);
}

void TestOrderExtras::newStepDropsTheRedoAndOpenOrCloseClearsHistory()
{
    loadPrice();
    addPart(12, 1);
    addPart(42, 1);
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    addPart(7, 1);
    const ActionList &actions = m_ws->actions();
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderRedo")));
    QCOMPARE(OrderHistory::of(*m_ws).count(), 2);
    // A cancelled dialog is no step.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    m_session->prompts.queueQuantity(-1);
    QVERIFY(m_ws->execute(QStringLiteral("AddToOrder")));
    QCOMPARE(OrderHistory::of(*m_ws).count(), 2);

    // Undo everything: the order is empty, nothing marked, unchanged.
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderUndo")));
    QCOMPARE(state(*m_ws), QStringLiteral(" | total=0 changed=0 marked="));
    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));

    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(QStringLiteral("OrderClose")));
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderUndo")));
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderRedo")));
    QCOMPARE(actions.get(QStringLiteral("OrderUndo")).caption, QStringLiteral("Отменить"));

    addPart(12, 1);
    writeBytes(QStringLiteral("o.txt"), TextFile::encodeLines({"ЗАКАЗ:", "00042|Гайка|||4"}));
    m_session->prompts.queueAnswer(Answer::No);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileOpen")));
    QCOMPARE(m_ws->order().rowCount(), 1);
    QVERIFY(!actions.isEnabled(QStringLiteral("OrderUndo")));
}

// --- lines missing from the price list -------------------------------------------------

void TestOrderExtras::coordinationFlagsLinesMissingFromThePriceList()
{
    loadPrice();
    writeBytes(QStringLiteral("o.txt"),
               TextFile::encodeLines({"ЗАКАЗ:", "00042|Гайка|||4", "00099|Фильтр масляный|X|Y|2", "00012|Болт|||3"}));
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileOpen")));

    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(QStringLiteral("CoordinateOrder")));
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Согласовано: 2 строк, не найдено в прайс-листе: 1"));
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QVERIFY(m_session->prompts.messages().constFirst().contains(QStringLiteral("\n00099 Фильтр масляный")));
    QVERIFY(MissingLines::of(*m_ws).contains(99));
    QVERIFY(!MissingLines::of(*m_ws).contains(42));
    // The mark is in memory only: the saved file is the same as without it.
    m_session->prompts.queueFile(QStringLiteral("o2.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileSaveAs")));
    QCOMPARE(TextFile::readLines(QStringLiteral("o2.txt")).filter(QStringLiteral("00099")).size(), 1);

    // Undoing the coordination takes the mark away with it; redo brings it.
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    QVERIFY(!MissingLines::of(*m_ws).contains(99));
    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));
    QVERIFY(MissingLines::of(*m_ws).contains(99));

    // A new price list has the part: the next coordination finds it.
    QStringList withFilter = StandardPrice;
    withFilter << QStringLiteral("99|Фильтр масляный|OEM-99|Германия|40|1");
    loadPrice(withFilter);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(QStringLiteral("CoordinateOrder")));
    QVERIFY(MissingLines::of(*m_ws).codes().isEmpty());
    QVERIFY(m_session->prompts.messages().isEmpty());
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Согласовано: 3 строк, не найдено в прайс-листе: 0"));
}

// --- UTF-8 files -----------------------------------------------------------------------

void TestOrderExtras::utf8FilesAreReadAsUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::addColumn<QString>("firstLine");
    const QString russian = QStringLiteral("Болт М8|Ёж");
    QTest::newRow("UTF-8 without BOM") << russian.toUtf8() << true << russian;
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + russian.toUtf8() << true << russian;
    QTest::newRow("Windows-1251") << Cp1251::encode(russian) << false << russian;
    QTest::newRow("plain ASCII") << QByteArray("12|Bolt") << false << QStringLiteral("12|Bolt");
    // Valid UTF-8 by accident is rare; broken sequences are Windows-1251.
    QTest::newRow("cut UTF-8 sequence") << QByteArray("\xD0") << false << QStringLiteral("Р");
    QTest::newRow("overlong form") << QByteArray("\xC0\xAF") << false << QStringLiteral("АЇ");
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xA0\x80") << false
                                         << QString::fromUtf16(u"\u043D\u00A0\u0402");
    QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x94\xA9 M8") << true << QString::fromUtf8("\xF0\x9F\x94\xA9 M8");
}

void TestOrderExtras::utf8FilesAreReadAsUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    QFETCH(QString, firstLine);
    QCOMPARE(TextEncoding::isUtf8(bytes), utf8);
    writeBytes(QStringLiteral("f.txt"), bytes + "\r\nsecond");
    const QStringList lines = TextFile::readLines(QStringLiteral("f.txt"));
    QCOMPARE(lines.value(0), firstLine);
}

void TestOrderExtras::utf8PriceListLoads()
{
    // The price list, an order file and what the program writes back.
    QByteArray price = QByteArray("\xEF\xBB\xBF") + StandardPrice.join(QStringLiteral("\r\n")).toUtf8();
    writeBytes(QStringLiteral("prices.txt"), price);
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QCOMPARE(m_ws->price().rowCount(), 3);
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    QCOMPARE(m_ws->price().asString(m_ws->price().fieldByName(QStringLiteral("Name"))), QStringLiteral("Гайка М8"));

    // The previous edition saved as UTF-8 without a byte-order mark: its
    // Russian header is found and the old price reaches the row.
    writeBytes(QStringLiteral("old.txt"),
               QStringLiteral("Код|Наименование|Цена\r\n42|Гайка М8|3\r\n").toUtf8());
    PriceCompare::compareWith(*m_ws, QStringLiteral("old.txt"));
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    QCOMPARE(m_ws->price().asFloat(m_ws->price().fieldByName(QStringLiteral("OldPrice"))), 3.0);

    writeBytes(QStringLiteral("o.txt"), QStringLiteral("ЗАКАЗ:\r\n00042|Гайка М8|||4\r\n").toUtf8());
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileOpen")));
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::Name), QStringLiteral("Гайка М8"));
    m_session->prompts.queueFile(QStringLiteral("saved.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileSaveAs")));
    QFile saved(QStringLiteral("saved.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray written = saved.readAll();
    QVERIFY(written.contains(Cp1251::encode(QStringLiteral("Гайка М8"))));
    QVERIFY(!TextEncoding::isUtf8(written));
}

// --- crash recovery ----------------------------------------------------------------------

void TestOrderExtras::recoveryFileFollowsTheUnsavedOrder()
{
    const QString path = m_session->dir.filePath(QStringLiteral("data/recovery/order.txt"));
    OrderRecovery &recovery = OrderRecovery::enable(*m_ws, path);
    loadPrice();
    addPart(12, 3);
    // Written within a second of the change, not at once.
    QVERIFY(!QFile::exists(path));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 3000);
    OrderRecovery::Saved saved = OrderRecovery::read(path);
    QCOMPARE(saved.rows.size(), 1);
    QCOMPARE(saved.rows.at(0).at(OrderTable::Name).toString(), QStringLiteral("Болт М8"));
    QCOMPARE(saved.total, 30.0);

    addPart(42, 2);
    recovery.flush();
    QCOMPARE(OrderRecovery::read(path).rows.size(), 2);

    // Saving removes it; the next change writes it again.
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(QStringLiteral("OrderFileSave")));
    QVERIFY(!QFile::exists(path));
    recovery.flush();
    QVERIFY(!QFile::exists(path));
    addPart(7, 1);
    recovery.flush();
    QVERIFY(QFile::exists(path));
    // Undo back to the saved order: nothing to recover.
    QVERIFY(m_ws->execute(QStringLiteral("OrderUndo")));
    recovery.flush();
    QVERIFY(!QFile::exists(path));
    QVERIFY(m_ws->execute(QStringLiteral("OrderRedo")));
    recovery.flush();
    QVERIFY(QFile::exists(path));

    // Closing without saving, as the user chose, removes it.
    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(QStringLiteral("OrderClose")));
    QVERIFY(!QFile::exists(path));
}

void TestOrderExtras::recoveryOfferedAtStart_data()
{
    QTest::addColumn<bool>("restore");
    QTest::newRow("Да opens it") << true;
    QTest::newRow("Нет discards it") << false;
}

void TestOrderExtras::recoveryOfferedAtStart()
{
    QFETCH(bool, restore);
    const QString path = m_session->dir.filePath(QStringLiteral("recovery.txt"));
    OrderRecovery::Saved saved;
    saved.savedAt = QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9));
    saved.orderFileName = m_session->dir.filePath(QStringLiteral("order 1.txt"));
    saved.total = 35;
    saved.rows.append(QVariantList{1, 12, QStringLiteral("Болт М8"), QStringLiteral("OEM-12"), QStringLiteral("Россия"), 3, 10.0, 30.0});
    saved.rows.append(QVariantList{0, 42, QStringLiteral("Гайка\tМ8"), QString(), QString(), 2, 2.5, 5.0});
    writeBytes(path, OrderRecovery::format(saved));

    loadPrice();
    OrderRecovery &recovery = OrderRecovery::enable(*m_ws, path);
    m_session->prompts.queueAnswer(restore ? Answer::Yes : Answer::No);
    QCOMPARE(recovery.offer(), restore);
    QCOMPARE(m_session->prompts.questions(), QStringList{"Восстановить несохранённый заказ от 08.12.2026 14:05:09 (2 строк)?"});
    if (!restore) {
        QVERIFY(!QFile::exists(path));
        QVERIFY(!m_ws->orderOpen());
        return;
    }
    QCOMPARE(state(*m_ws), QStringLiteral("12:3:10:30 42:2:2.5:5 | total=35 changed=1 marked=12,42"));
    QCOMPARE(m_ws->order().stringAt(1, OrderTable::Name), QStringLiteral("Гайка М8"));
    QCOMPARE(m_ws->orderFileName, saved.orderFileName);
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: order 1.txt"));
    // A changed order: closing it asks.
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(m_ws->execute(QStringLiteral("OrderClose")));
    QCOMPARE(m_session->prompts.questions().size(), 1);
    QVERIFY(m_ws->orderOpen());
}

QTEST_GUILESS_MAIN(TestOrderExtras)
#include "tst_orderextras.moc"
