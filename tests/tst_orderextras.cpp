#include <QtTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/fsuid.h>
#include <unistd.h>
#endif

#include "actionid.h"
#include "cp1251.h"
#include "inordermark.h"
#include "missinglines.h"
#include "orderfile.h"
#include "orderfileguard.h"
#include "orderhistory.h"
#include "orderrecovery.h"
#include "ordertable.h"
#include "ordixerror.h"
#include "pricecompare.h"
#include "priceloader.h"
#include "quickorder.h"
#include "orderfixture.h"
#include "testworkspace.h"
#include "textencoding.h"
#include "textfile.h"

// What a user does beyond the plain order: a quick order from the
// clipboard, undo and redo, the lines the price list lacks, the recovery file
// and files saved as UTF-8.
namespace
{
    using Answer = UserPrompts::Answer;

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
            if (Availability::isInOrder(price.integerAt(r, 0)))
                marked << QString::number(price.integerAt(r, price.fieldByName(QStringLiteral("Code"))));
        }
        marked.sort();
        return rows.join(QLatin1Char(' '))
            + QStringLiteral(" | total=%1 changed=%2 marked=%3")
                  .arg(ws.document().total())
                  .arg(ws.document().isModified())
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
    void recoveryFilePerWindow();
    void recoveryPlaceThatFails();
    void orderFileInTwoWindows();
    void recoveredOrderKnowsItsFileOnDisk();
    void crashedOrderOfferedOnce_data();
    void crashedOrderOfferedOnce();
    void priceListEncodings_data();
    void priceListEncodings();
    void quickOrderPasteShapes_data();
    void quickOrderPasteShapes();

private:
    void loadPrice(const QStringList &lines = StandardPrice) { m_session->loadPrice(lines); }
    void addPart(int code, int quantity) { m_session->addPart(code, quantity); }

    std::unique_ptr<OrderSession> m_session;
    Workspace *m_ws = nullptr;
};

void TestOrderExtras::init()
{
    m_session = std::make_unique<OrderSession>();
    QVERIFY(m_session->dir.isValid());
    m_ws = &m_session->ws;
}

void TestOrderExtras::cleanup()
{
    m_ws = nullptr;
    m_session.reset();
}

// --- quick order ---------------------------------------------------------------

void TestOrderExtras::quickOrderParsesLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("lines"); // code×quantity
    QTest::addColumn<int>("skipped");
    QTest::newRow("spreadsheet TAB, CR LF, trailing empty cells") << "00012\t3\r\n42\t10\t\r\n"
                                                                  << "12×3 42×10" << 0;
    QTest::newRow("semicolons and blanks") << "12;3\n42 ; 2\n  7   5  "
                                           << "12×3 42×2 7×5" << 0;
    QTest::newRow("code alone means one") << "12\n\n42;\n"
                                          << "12×1 42×1" << 0;
    QTest::newRow("header, words, zero and fractions skipped")
        << "Код\tКол-во\n12 Болт 3\n42 0\n7 1.5\n12 -2\n99x 1\n7 2"
        << "7×2" << 6;
    QTest::newRow("empty clipboard") << ""
                                     << "" << 0;
    QTest::newRow("beyond 32 bits, lone CR, no-break space")
        << QStringLiteral("2147483648 1\n12\r42\u00a02\n12 2147483647\n7 99999999999\n-99999999999999999999 1")
        << "12×2147483648 42×2" << 3;
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
    QVERIFY(m_ws->execute(ActionId::OrderPasteClipboard));
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"Добавлено: 2; изменено: 1; не найдено в прайс-листе: 2 (коды 99, 00123)\n"
                         "Пропущено строк не вида «код количество»: 1"});
    // The existing line takes the new quantity at its own price; no dialog.
    QCOMPARE(state(*m_ws), QStringLiteral("12:5:10:50 42:2:2.5:5 7:1:100:100 | total=155 changed=1 marked=12,42,7"));
    QVERIFY(m_session->prompts.texts(QStringLiteral("quantity")).isEmpty());
    QCOMPARE(m_ws->price().rowNumber(), 3);
    QCOMPARE(m_ws->label(Workspace::Label::Summ), QStringLiteral("Сумма: 155.00 р."));

    // One step of the history.
    QCOMPARE(m_ws->actions().get(ActionId::OrderUndo).caption, QStringLiteral("Отменить: вставка заказа из буфера"));
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QCOMPARE(state(*m_ws), before);
    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    QCOMPARE(state(*m_ws), QStringLiteral("12:5:10:50 42:2:2.5:5 7:1:100:100 | total=155 changed=1 marked=12,42,7"));
}

void TestOrderExtras::quickOrderWithNothingUsable()
{
    QVERIFY(!m_ws->actions().isEnabled(ActionId::OrderPasteClipboard));
    loadPrice();
    QVERIFY(m_ws->actions().isEnabled(ActionId::OrderPasteClipboard));
    m_session->prompts.setClipboardText(QStringLiteral("Здравствуйте!\nПришлите, пожалуйста"));
    QVERIFY(m_ws->execute(ActionId::OrderPasteClipboard));
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"В буфере обмена нет строк заказа вида «код количество».\nПропущено строк: 2"});
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!m_ws->actions().isEnabled(ActionId::OrderUndo));

    // Only unknown codes: reported, and no order started.
    m_session->prompts.clear();
    m_session->prompts.setClipboardText(QStringLiteral("99 2"));
    QVERIFY(m_ws->execute(ActionId::OrderPasteClipboard));
    QCOMPARE(m_session->prompts.messages(),
             QStringList{"Добавлено: 0; изменено: 0; не найдено в прайс-листе: 1 (коды 99)"});
    QVERIFY(!m_ws->orderOpen());
    // A part hidden by the price list's filter is found all the same, and
    // the filter stays.
    m_session->prompts.clear();
    RecordTable &price = m_ws->price();
    price.setFilter(QStringLiteral("Code=12"));
    price.setFiltered(true);
    QCOMPARE(price.rowCount(), 1);
    m_session->prompts.setClipboardText(QStringLiteral("42 2"));
    QVERIFY(m_ws->execute(ActionId::OrderPasteClipboard));
    QCOMPARE(m_session->prompts.messages(), QStringList{"Добавлено: 1; изменено: 0; не найдено в прайс-листе: 0"});
    QCOMPARE(price.rowCount(), 1);
    QVERIFY(price.isFiltered());
    // Undone under the filter, the hidden part loses its mark as well.
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QCOMPARE(price.rowCount(), 1);
    price.setFiltered(false);
    QCOMPARE(state(*m_ws), QStringLiteral(" | total=0 changed=0 marked="));
    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    QCOMPARE(state(*m_ws), QStringLiteral("42:2:2.5:5 | total=5 changed=1 marked=42"));
}

// --- undo and redo -----------------------------------------------------------------

void TestOrderExtras::undoAndRedoEveryStep_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("caption");
    QTest::newRow("add") << "add"
                         << "добавление «Шайба»";
    QTest::newRow("add again") << "readd"
                               << "изменение количества «Болт М8»";
    QTest::newRow("quantity") << "edit"
                              << "изменение количества «Гайка М8»";
    QTest::newRow("remove") << "remove"
                            << "удаление «Болт М8»";
    QTest::newRow("coordination") << "coordinate"
                                  << "согласование с прайсом";
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
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
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
        QVERIFY(m_ws->execute(ActionId::EditOrderRecord));
    } else if (step == QLatin1String("remove")) {
        m_ws->order().setRowNumber(1);
        QVERIFY(m_ws->execute(ActionId::RemoveFromOrder));
    } else {
        m_session->prompts.queueAnswer(Answer::Yes);
        QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    }
    const QString after = state(*m_ws);
    QVERIFY(after != before);

    const ActionList &actions = m_ws->actions();
    QCOMPARE(actions.get(ActionId::OrderUndo).caption, QStringLiteral("Отменить: ") + caption);
    QCOMPARE(actions.get(ActionId::OrderRedo).caption, QStringLiteral("Повторить"));
    QVERIFY(!actions.isEnabled(ActionId::OrderRedo));

    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QCOMPARE(state(*m_ws), before);
    QCOMPARE(m_ws->label(Workspace::Label::Summ),
             QStringLiteral("Сумма: %1 р.").arg(Decimal::formatGrouped(m_ws->document().total(), 2)));
    QCOMPARE(actions.get(ActionId::OrderRedo).caption, QStringLiteral("Повторить: ") + caption);

    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    QCOMPARE(state(*m_ws), after);
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QCOMPARE(state(*m_ws), before);
}

void TestOrderExtras::newStepDropsTheRedoAndOpenOrCloseClearsHistory()
{
    loadPrice();
    addPart(12, 1);
    addPart(42, 1);
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    addPart(7, 1);
    const ActionList &actions = m_ws->actions();
    QVERIFY(!actions.isEnabled(ActionId::OrderRedo));
    QCOMPARE(OrderHistory::of(*m_ws).count(), 2);
    // A cancelled dialog is no step.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    m_session->prompts.queueQuantity(-1);
    QVERIFY(m_ws->execute(ActionId::AddToOrder));
    QCOMPARE(OrderHistory::of(*m_ws).count(), 2);

    // Undo everything: the order is empty, nothing marked, unchanged.
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QVERIFY(!actions.isEnabled(ActionId::OrderUndo));
    QCOMPARE(state(*m_ws), QStringLiteral(" | total=0 changed=0 marked="));
    QVERIFY(m_ws->execute(ActionId::OrderRedo));

    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QVERIFY(!m_ws->orderOpen());
    QVERIFY(!actions.isEnabled(ActionId::OrderUndo));
    QVERIFY(!actions.isEnabled(ActionId::OrderRedo));
    QCOMPARE(actions.get(ActionId::OrderUndo).caption, QStringLiteral("Отменить"));

    addPart(12, 1);
    writeBytes(QStringLiteral("o.txt"), TextFile::encodeLines({"ЗАКАЗ:", "00042|Гайка|||4"}));
    m_session->prompts.queueAnswer(Answer::No);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(m_ws->order().rowCount(), 1);
    QVERIFY(!actions.isEnabled(ActionId::OrderUndo));
}

// --- lines missing from the price list -------------------------------------------------

void TestOrderExtras::coordinationFlagsLinesMissingFromThePriceList()
{
    loadPrice();
    writeBytes(QStringLiteral("o.txt"),
               TextFile::encodeLines({"ЗАКАЗ:", "00042|Гайка|||4", "00099|Фильтр масляный|X|Y|2", "00012|Болт|||3"}));
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));

    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QCOMPARE(m_ws->label(Workspace::Label::Status),
             QStringLiteral("Согласовано: 2 строк, не найдено в прайс-листе: 1"));
    QCOMPARE(m_session->prompts.messages().size(), 1);
    QVERIFY(m_session->prompts.messages().constFirst().contains(QStringLiteral("\n00099 Фильтр масляный")));
    QVERIFY(MissingLines::of(*m_ws).contains(99));
    QVERIFY(!MissingLines::of(*m_ws).contains(42));
    // The mark is in memory only: the saved file is the same as without it.
    m_session->prompts.queueFile(QStringLiteral("o2.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSaveAs));
    QCOMPARE(TextFile::readLines(QStringLiteral("o2.txt")).filter(QStringLiteral("00099")).size(), 1);

    // Undoing the coordination takes the mark away with it; redo brings it.
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QVERIFY(!MissingLines::of(*m_ws).contains(99));
    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    QVERIFY(MissingLines::of(*m_ws).contains(99));

    // A new price list has the part: the next coordination finds it.
    QStringList withFilter = StandardPrice;
    withFilter << QStringLiteral("99|Фильтр масляный|OEM-99|Германия|40|1");
    loadPrice(withFilter);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::CoordinateOrder));
    QVERIFY(MissingLines::of(*m_ws).codes().isEmpty());
    QVERIFY(m_session->prompts.messages().isEmpty());
    QCOMPARE(m_ws->label(Workspace::Label::Status),
             QStringLiteral("Согласовано: 3 строк, не найдено в прайс-листе: 0"));
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
    QTest::newRow("four-byte character") << QByteArray("\xF0\x9F\x94\xA9 M8") << true
                                         << QString::fromUtf8("\xF0\x9F\x94\xA9 M8");
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
    writeBytes(QStringLiteral("old.txt"), QStringLiteral("Код|Наименование|Цена\r\n42|Гайка М8|3\r\n").toUtf8());
    PriceCompare::compareWith(*m_ws, QStringLiteral("old.txt"));
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 42));
    QCOMPARE(m_ws->price().asFloat(m_ws->price().fieldByName(QStringLiteral("OldPrice"))), 3.0);

    writeBytes(QStringLiteral("o.txt"), QStringLiteral("ЗАКАЗ:\r\n00042|Гайка М8|||4\r\n").toUtf8());
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileOpen));
    QCOMPARE(m_ws->order().stringAt(0, OrderTable::Name), QStringLiteral("Гайка М8"));
    m_session->prompts.queueFile(QStringLiteral("saved.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSaveAs));
    QFile saved(QStringLiteral("saved.txt"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray written = saved.readAll();
    QVERIFY(written.contains(Cp1251::encode(QStringLiteral("Гайка М8"))));
    QVERIFY(!TextEncoding::isUtf8(written));
}

// --- crash recovery ----------------------------------------------------------------------

void TestOrderExtras::recoveryFileFollowsTheUnsavedOrder()
{
    OrderRecovery &recovery = OrderRecovery::enable(*m_ws, m_session->dir.filePath(QStringLiteral("data/recovery")));
    const QString path = recovery.path();
    loadPrice();
    addPart(12, 3);
    // Written within a second of the change, not at once.
    QVERIFY(!QFile::exists(path));
    // The wait ends when the file is written; its bound is only a guard
    // for a loaded machine.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path), 30000);
    OrderRecovery::Saved saved = OrderRecovery::read(path);
    QCOMPARE(saved.rows.size(), 1);
    QCOMPARE(saved.rows.at(0).at(OrderTable::Name).toString(), QStringLiteral("Болт М8"));
    QCOMPARE(saved.total, 30.0);

    addPart(42, 2);
    recovery.flush();
    QCOMPARE(OrderRecovery::read(path).rows.size(), 2);

    // Saving removes it; the next change writes it again.
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(!QFile::exists(path));
    recovery.flush();
    QVERIFY(!QFile::exists(path));
    addPart(7, 1);
    recovery.flush();
    QVERIFY(QFile::exists(path));
    // Undo back to the saved order: nothing to recover.
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    recovery.flush();
    QVERIFY(!QFile::exists(path));
    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    recovery.flush();
    QVERIFY(QFile::exists(path));

    // Closing without saving, as the user chose, removes it.
    m_session->prompts.queueAnswer(Answer::No);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
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
    // Left by the previous version of the program, under its one name.
    QDir().mkpath(QStringLiteral("recovery"));
    const QString path = m_session->dir.filePath(QStringLiteral("recovery/order.txt"));
    OrderRecovery::Saved saved;
    saved.savedAt = QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9));
    saved.orderFileName = m_session->dir.filePath(QStringLiteral("order 1.txt"));
    saved.total = 35;
    saved.rows.append(QVariantList{1, 12, QStringLiteral("Болт М8"), QStringLiteral("OEM-12"), QStringLiteral("Россия"),
                                   3, 10.0, 30.0});
    saved.rows.append(QVariantList{0, 42, QStringLiteral("Гайка\tМ8"), QString(), QString(), 2, 2.5, 5.0});
    writeBytes(path, OrderRecovery::format(saved));

    loadPrice();
    OrderRecovery &recovery = OrderRecovery::enable(*m_ws, m_session->dir.filePath(QStringLiteral("recovery")));
    m_session->prompts.queueAnswer(restore ? Answer::Yes : Answer::No);
    QCOMPARE(recovery.offer(), restore);
    QCOMPARE(m_session->prompts.questions(),
             QStringList{"Восстановить несохранённый заказ от 08.12.2026 14:05:09 (2 строк)?"});
    if (!restore) {
        QVERIFY(!QFile::exists(path));
        QVERIFY(!m_ws->orderOpen());
        return;
    }
    QCOMPARE(state(*m_ws), QStringLiteral("12:3:10:30 42:2:2.5:5 | total=35 changed=1 marked=12,42"));
    QCOMPARE(m_ws->order().stringAt(1, OrderTable::Name), QStringLiteral("Гайка М8"));
    QCOMPARE(m_ws->document().fileName(), saved.orderFileName);
    QCOMPARE(m_ws->label(Workspace::Label::OrderTitle), QStringLiteral("Заказ: order 1.txt"));
    // A changed order: closing it asks.
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QCOMPARE(m_session->prompts.questions().size(), 1);
    QVERIFY(m_ws->orderOpen());
}

// --- safety nets: two windows, the recovery place, encodings, big pastes ----------------

namespace
{
    // A second window of the program in the same folder.
    struct SecondWindow
    {
        SecondWindow() { setUpTestWorkspace(ws, &prompts, &progress); }
        ScriptedPrompts prompts;
        SilentProgress progress;
        Workspace ws;
    };

    QStringList recoveryFiles(const QString &folder)
    {
        return QDir(folder).entryList({QStringLiteral("order*.txt")}, QDir::Files | QDir::System, QDir::Name);
    }
}

void TestOrderExtras::recoveryFilePerWindow()
{
    const QString folder = m_session->dir.filePath(QStringLiteral("recovery"));
    loadPrice();
    OrderRecovery &mine = OrderRecovery::enable(*m_ws, folder);
    addPart(12, 3);
    mine.flush();

    // A second window: the first one's live order is not its to offer.
    auto other = std::make_unique<SecondWindow>();
    PriceLoader::loadFile(other->ws, QStringLiteral("prices.txt"));
    OrderRecovery *theirs = &OrderRecovery::enable(other->ws, folder);
    QVERIFY(!theirs->offer());
    QVERIFY(other->prompts.questions().isEmpty());
    QVERIFY(other->ws.price().locate(QStringLiteral("Code"), 42));
    other->prompts.queueQuantity(2);
    QVERIFY(other->ws.execute(ActionId::AddToOrder));
    theirs->flush();
    QCOMPARE(recoveryFiles(folder).size(), 2);

    // An older file from another folder, left by a program long gone.
    OrderRecovery::Saved elsewhere;
    elsewhere.savedAt = QDateTime(QDate(2026, 12, 1), QTime(9, 0));
    elsewhere.folder = QStringLiteral("/elsewhere");
    elsewhere.total = 100;
    elsewhere.rows.append(QVariantList{0, 7, QStringLiteral("Шайба"), QString(), QString(), 1, 100.0, 100.0});
    writeBytes(QDir(folder).filePath(QStringLiteral("order-1-old.txt")), OrderRecovery::format(elsewhere));

    // The second window dies without a word (its lock goes, its file stays);
    // the first saves its order: only its own file goes.
    const QString theirFile = theirs->path();
    other.reset();
    QVERIFY(QFile::exists(theirFile));
    m_session->prompts.queueFile(QStringLiteral("mine.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(QFile::exists(theirFile));
    QCOMPARE(recoveryFiles(folder).size(), 2);

    // Restarted here: this folder's order first, "Нет" removes that one only,
    // the next one is asked about.
    SecondWindow restarted;
    PriceLoader::loadFile(restarted.ws, QStringLiteral("prices.txt"));
    restarted.prompts.queueAnswer(Answer::No);
    restarted.prompts.queueAnswer(Answer::Yes);
    QVERIFY(OrderRecovery::enable(restarted.ws, folder).offer());
    const QStringList asked = restarted.prompts.questions();
    QCOMPARE(asked.size(), 2);
    QVERIFY2(asked.at(0).endsWith(
                 QStringLiteral("(1 строк) из папки %1?").arg(QDir::toNativeSeparators(QDir::currentPath()))),
             qPrintable(asked.at(0)));
    QVERIFY2(
        asked.at(1).startsWith(QStringLiteral("Восстановить несохранённый заказ от 01.12.2026 09:00:00 (1 строк)")),
        qPrintable(asked.at(1)));
    QVERIFY(!QFile::exists(theirFile));
    QCOMPARE(state(restarted.ws), QStringLiteral("7:1:100:100 | total=100 changed=1 marked=7"));
    QCOMPARE(recoveryFiles(folder), QStringList());
}

void TestOrderExtras::recoveryPlaceThatFails()
{
    loadPrice();
    // A folder that cannot be made: the status line says so once, and again
    // when writing works.
    writeBytes(QStringLiteral("blocker"), "x");
    OrderRecovery &recovery = OrderRecovery::enable(*m_ws, m_session->dir.filePath(QStringLiteral("blocker/recovery")));
    addPart(12, 3);
    recovery.flush();
    QVERIFY2(m_ws->label(Workspace::Label::Status).startsWith(QStringLiteral("Автосохранение недоступно: ")),
             qPrintable(m_ws->label(Workspace::Label::Status)));
    m_ws->setLabel(Workspace::Label::Status, QString());
    addPart(12, 4);
    recovery.flush();
    QCOMPARE(m_ws->label(Workspace::Label::Status), QString());
    QFile::remove(QStringLiteral("blocker"));
    addPart(12, 5);
    recovery.flush();
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Автосохранение снова работает"));

#ifdef Q_OS_UNIX
    // A FIFO and a link in the file's place: refused and replaced, never
    // blocking, never writing through.
    const QString path = recovery.path();
    QFile::remove(path);
    QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    addPart(12, 6);
    recovery.flush();
    QVERIFY(m_ws->label(Workspace::Label::Status).contains(QStringLiteral("канал")));
    QFile::remove(path);
    writeBytes(QStringLiteral("target.txt"), "keep");
    QVERIFY(QFile::link(m_session->dir.filePath(QStringLiteral("target.txt")), path));
    addPart(12, 7);
    recovery.flush();
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Автосохранение снова работает"));
    QVERIFY(!QFileInfo(path).isSymLink());
    QFile target(QStringLiteral("target.txt"));
    QVERIFY(target.open(QIODevice::ReadOnly));
    QCOMPARE(target.readAll(), QByteArray("keep"));

    // Left by programs gone: a FIFO (reported, not waited on) and a damaged
    // file, whose intact lines are offered with the count of the others.
    const QString folder = recovery.folder();
    QVERIFY(::mkfifo(QFile::encodeName(QDir(folder).filePath(QStringLiteral("order-2-fifo.txt"))).constData(), 0600)
            == 0);
#else
    const QString folder = recovery.folder();
#endif
    OrderRecovery::Saved saved;
    saved.savedAt = QDateTime(QDate(2026, 12, 8), QTime(10, 0));
    saved.total = 130;
    saved.rows.append(QVariantList{0, 7, QStringLiteral("Шайба"), QString(), QString(), 1, 100.0, 100.0});
    saved.rows.append(QVariantList{0, 12, QStringLiteral("Болт М8"), QString(), QString(), 3, 10.0, 30.0});
    QByteArray damaged = OrderRecovery::format(saved);
    damaged.replace("\t3\t10\t30", "\t3\tx");
    damaged += "0\t42\t\xD0\x93\xD0\xB0";
    writeBytes(QDir(folder).filePath(QStringLiteral("order-3-damaged.txt")), damaged);
    SecondWindow restarted;
    PriceLoader::loadFile(restarted.ws, QStringLiteral("prices.txt"));
    restarted.prompts.queueAnswer(Answer::Yes);
    QVERIFY(OrderRecovery::enable(restarted.ws, folder).offer());
    QCOMPARE(restarted.prompts.questions(),
             QStringList{"Восстановить несохранённый заказ от 08.12.2026 10:00:00 (1 строк)?\n"
                         "Строк, которые не удалось прочитать: 2; они не будут восстановлены."});
#ifdef Q_OS_UNIX
    QCOMPARE(restarted.prompts.messages().size(), 1);
    QVERIFY(restarted.prompts.messages().at(0).contains(QStringLiteral("это не обычный файл")));
#endif
    QCOMPARE(state(restarted.ws), QStringLiteral("7:1:100:100 | total=100 changed=1 marked=7"));
}

void TestOrderExtras::orderFileInTwoWindows()
{
    OrderFileGuard::of(*m_ws).setLocking(true);
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueFile(QStringLiteral("o.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(QFile::exists(OrderFileGuard::lockPath(QStringLiteral("o.txt"))));

    // The second window is told the file is open and chooses read-only: its
    // save asks for another name.
    SecondWindow other;
    OrderFileGuard::of(other.ws).setLocking(true);
    PriceLoader::loadFile(other.ws, QStringLiteral("prices.txt"));
    other.prompts.queueFile(QStringLiteral("o.txt"));
    other.prompts.queueAnswer(Answer::Yes);
    QVERIFY(other.ws.execute(ActionId::OrderFileOpen));
    QCOMPARE(other.prompts.questions(), QStringList{OrderFile::openElsewhereQuestion(QStringLiteral("o.txt"))});
    QVERIFY(other.ws.price().locate(QStringLiteral("Code"), 42));
    other.prompts.queueQuantity(2);
    QVERIFY(other.ws.execute(ActionId::AddToOrder));
    other.prompts.queueFile(QStringLiteral("copy.txt"));
    QVERIFY(other.ws.execute(ActionId::OrderFileSave));
    QCOMPARE(other.prompts.texts(QStringLiteral("save")).size(), 1);

    // Changed on disk behind the first window's back: its save asks first;
    // Отмена keeps the other program's file, Да replaces it.
    QFile::remove(QStringLiteral("o.txt"));
    QVERIFY(QFile::copy(QStringLiteral("copy.txt"), QStringLiteral("o.txt")));
    addPart(7, 1);
    m_session->prompts.clear();
    m_session->prompts.queueAnswer(Answer::Cancel);
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(!m_ws->actions().isDone(ActionId::OrderFileSave));
    QCOMPARE(m_session->prompts.questions(), QStringList{OrderFile::changedOnDiskQuestion(QStringLiteral("o.txt"))});
    QVERIFY(m_session->prompts.questions().at(0).startsWith(QStringLiteral("Файл заказа изменён другой программой")));
    QCOMPARE(TextFile::readLines(QStringLiteral("o.txt")), TextFile::readLines(QStringLiteral("copy.txt")));
    m_session->prompts.queueAnswer(Answer::Yes);
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    QVERIFY(m_ws->actions().isDone(ActionId::OrderFileSave));
    QVERIFY(!m_ws->document().isModified());

    // Closed: the lock goes.
    QVERIFY(m_ws->execute(ActionId::OrderClose));
    QVERIFY(!QFile::exists(OrderFileGuard::lockPath(QStringLiteral("o.txt"))));
}

namespace
{
    // A lock left by a killed window: it names a process that no longer
    // runs, on this machine (no host name).
    void writeStaleLock(const QString &path)
    {
        writeBytes(path, "999999999\nordix\n\n");
    }
}

void TestOrderExtras::recoveredOrderKnowsItsFileOnDisk()
{
    const QString folder = m_session->dir.filePath(QStringLiteral("recovery"));
    loadPrice();
    addPart(12, 3);
    m_session->prompts.queueFile(QStringLiteral("o1.txt"));
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    // Another window opens o1.txt and changes it; this one saves a line
    // more; the other one is killed.
    auto crashed = std::make_unique<SecondWindow>();
    PriceLoader::loadFile(crashed->ws, QStringLiteral("prices.txt"));
    crashed->prompts.queueFile(QStringLiteral("o1.txt"));
    QVERIFY(crashed->ws.execute(ActionId::OrderFileOpen));
    OrderRecovery::enable(crashed->ws, folder);
    crashed->prompts.queueQuantity(1);
    QVERIFY(crashed->ws.execute(ActionId::AddToOrder));
    addPart(42, 2);
    QVERIFY(m_ws->execute(ActionId::OrderFileSave));
    const QStringList newer = TextFile::readLines(QStringLiteral("o1.txt"));
    OrderRecovery::find(crashed->ws)->flush();
    crashed.reset();
    writeStaleLock(QStringLiteral(".~lock.old.txt#"));
    writeBytes(QStringLiteral(".~lock.sheet.txt#"), ",user,host,09.12.2026 10:00,user;"); // another program's

    // Restored, the order asks before it replaces the newer file; the
    // killed program's lock beside it goes.
    SecondWindow restarted;
    OrderFileGuard::of(restarted.ws).setLocking(true);
    restarted.prompts.queueAnswer(Answer::Yes);
    QVERIFY(OrderRecovery::enable(restarted.ws, folder).offer());
    restarted.prompts.queueAnswer(Answer::Cancel);
    QVERIFY(restarted.ws.execute(ActionId::OrderFileSave));
    QCOMPARE(restarted.prompts.questions().value(1), OrderFile::changedOnDiskQuestion(QStringLiteral("o1.txt")));
    QCOMPARE(TextFile::readLines(QStringLiteral("o1.txt")), newer);
    QVERIFY(!QFile::exists(QStringLiteral(".~lock.old.txt#")));
    QVERIFY(QFile::exists(QStringLiteral(".~lock.sheet.txt#")));
}

void TestOrderExtras::crashedOrderOfferedOnce_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("two windows started together") << false;
    QTest::newRow("folder that cannot be written") << true;
}

void TestOrderExtras::crashedOrderOfferedOnce()
{
    QFETCH(bool, readOnly);
    const QString folder = m_session->dir.filePath(QStringLiteral("recovery"));
    QVERIFY(QDir().mkpath(folder));
    OrderRecovery::Saved saved;
    saved.rows.append(QVariantList{0, 7, QStringLiteral("Шайба"), QString(), QString(), 1, 100.0, 100.0});
    const QString path = QDir(folder).filePath(QStringLiteral("order-1-gone.txt"));
    writeBytes(path, OrderRecovery::format(saved));
    writeStaleLock(path + QStringLiteral(".lock"));
    writeStaleLock(QDir(folder).filePath(QStringLiteral("order-2-saved.txt.lock")));
    // The second window looks while the first one asks.
    SecondWindow other;
    other.prompts.queueAnswer(Answer::Yes);
    bool theyRestored = false;
    if (!readOnly)
        m_session->prompts.setWhileAsking([&] { theyRestored = OrderRecovery::enable(other.ws, folder).offer(); });
#ifdef Q_OS_LINUX
    // Another user's folder, readable, not writable; an administrator writes
    // anywhere, so the files are then tried as the user "nobody".
    const uid_t user = readOnly && ::geteuid() == 0 ? 65534 : 0;
    if (readOnly) {
        QVERIFY(::chmod(QFile::encodeName(m_session->dir.path()).constData(), 0755) == 0);
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    }
    ::setfsgid(user), ::setfsuid(user);
#else
    if (readOnly)
        QSKIP("a folder that cannot be written is tried on Linux");
#endif
    m_session->prompts.queueAnswer(Answer::Yes);
    const bool restored = OrderRecovery::enable(*m_ws, folder).offer();
#ifdef Q_OS_LINUX
    ::setfsuid(0), ::setfsgid(0);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
#endif
    m_session->prompts.setWhileAsking(nullptr);
    QVERIFY(restored && !theyRestored);
    QVERIFY(other.prompts.questions().isEmpty());
    QCOMPARE(m_ws->order().rowCount(), 1);
    QCOMPARE(m_ws->label(Workspace::Label::Status).startsWith(QStringLiteral("Автосохранение недоступно: ")), readOnly);
    QCOMPARE(QFile::exists(path), readOnly);
    QCOMPARE(QFile::exists(QDir(folder).filePath(QStringLiteral("order-2-saved.txt.lock"))), readOnly);
}

void TestOrderExtras::priceListEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("rows"); // -1: refused, the loaded list kept
    QTest::addColumn<int>("skipped");

    const QString header = StandardPrice.at(0);
    QStringList many{header};
    for (int i = 1; i <= 3001; ++i)
        many << QStringLiteral("%1|Болт М%1 с шестигранной головкой|OEM-%1|Россия|10|1").arg(i);
    QByteArray broken = many.join(QStringLiteral("\r\n")).toUtf8();
    broken.insert(broken.indexOf("\n2999|") + 1, '\xFF');
    QTest::newRow("UTF-8 with one bad byte after 64 KiB") << broken << 3000 << 1;

    const QString text = StandardPrice.join(QStringLiteral("\r\n"));
    QByteArray le("\xFF\xFE");
    QByteArray be("\xFE\xFF");
    for (const QChar ch : text) {
        le += char(ch.unicode() & 0xFF);
        le += char(ch.unicode() >> 8);
        be += char(ch.unicode() >> 8);
        be += char(ch.unicode() & 0xFF);
    }
    QTest::newRow("UTF-16 LE with its mark") << le << 3 << 0;
    QTest::newRow("UTF-16 BE with its mark") << be << 3 << 0;
    QTest::newRow("Windows-1251") << Cp1251::encode(text) << 3 << 0;
    QTest::newRow("no header") << Cp1251::encode(QStringLiteral("12|Болт|1\r\n42|Гайка|2\r\n")) << -1 << 0;
    QTest::newRow("header, no row that reads")
        << Cp1251::encode(QStringLiteral("Код|Наименование|Цена\r\n12x|Болт|1\r\n")) << -1 << 0;
}

void TestOrderExtras::priceListEncodings()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, rows);
    QFETCH(int, skipped);
    loadPrice();
    writeBytes(QStringLiteral("new.txt"), bytes);
    if (rows < 0) {
        QVERIFY_THROWS_EXCEPTION(OrdixError, PriceLoader::loadPriceList(*m_ws, QStringLiteral("new.txt"), QString()));
        QCOMPARE(m_ws->price().rowCount(), 3);
        QVERIFY(m_ws->priceFileName().endsWith(QStringLiteral("prices.txt")));
        return;
    }
    const PriceLoadResult result = PriceLoader::loadPriceList(*m_ws, QStringLiteral("new.txt"), QString());
    QCOMPARE(m_ws->price().rowCount(), rows);
    QCOMPARE(result.skippedLines, skipped);
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 12));
    QVERIFY(
        m_ws->price().asString(m_ws->price().fieldByName(QStringLiteral("Name"))).startsWith(QStringLiteral("Болт М")));
    if (skipped > 0) {
        QVERIFY(m_ws->label(Workspace::Label::Status).endsWith(QStringLiteral("Пропущено строк с ошибками: 1")));
        QVERIFY(!m_ws->price().locate(QStringLiteral("Code"), 2999));
        QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 3000));
    }
}

void TestOrderExtras::quickOrderPasteShapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("polls");      // polls of the progress window before Escape; -1: none
    QTest::addColumn<QString>("report"); // after Escape: "Action stopped"
    QTest::addColumn<QString>("order");  // after a line 12×3 was in the order

    QTest::newRow("same code twice, with leading zeros: added up")
        << "42 2\n042\t3\n0042;1\n12 5" << -1 << "Добавлено: 1; изменено: 1; не найдено в прайс-листе: 0"
        << "12:5:10:50 42:6:2.5:15 | total=65 changed=1 marked=12,42";
    QTest::newRow("quantity beyond the dialog's limit")
        << "42 2147483647\n42 1\n7 2" << -1
        << "Добавлено: 1; изменено: 0; не найдено в прайс-листе: 0\n"
           "Количество или сумма больше допустимых, строки не добавлены (коды 42)"
        << "12:3:10:30 7:2:100:200 | total=230 changed=1 marked=12,7";
    QString big;
    for (int i = 0; i < 5000; ++i)
        big += QStringLiteral("%1\t1\n").arg(i % 2 ? 42 : 100000 + i);
    QString found = QStringLiteral("12 1\n");
    for (int code = 1000; code < 4000; ++code)
        found += QStringLiteral("%1 2\n").arg(code);
    const QString unchanged = QStringLiteral("12:3:10:30 | total=30 changed=1 marked=12");
    QTest::newRow("long paste stopped with Escape") << big << 2 << "Action stopped" << unchanged;
    QTest::newRow("Escape once the lines go in") << found << 4 << "Action stopped" << unchanged;
    QTest::newRow("long paste")
        << big << -1
        << "Добавлено: 1; изменено: 0; не найдено в прайс-листе: 2500 (коды 100000, "
           "100002, 100004, 100006, 100008, 100010, 100012, 100014, 100016, 100018, 100020, 100022, 100024, 100026, "
           "100028, 100030, 100032, 100034, 100036, 100038, …)"
        << "12:3:10:30 42:2500:2.5:6250 | total=6280 changed=1 marked=12,42";
}

void TestOrderExtras::quickOrderPasteShapes()
{
    QFETCH(QString, text);
    QFETCH(int, polls);
    QFETCH(QString, report);
    QFETCH(QString, order);
    // Enough parts for a paste whose lines go in over more than one step.
    QStringList price = StandardPrice;
    for (int code = 1000; code < 4000; ++code)
        price.append(QStringLiteral("%1|Втулка %1|OEM-%1|Россия|1|1").arg(code));
    loadPrice(price);
    addPart(12, 3);
    const int steps = OrderHistory::of(*m_ws).canUndo() ? 1 : 0;
    m_session->prompts.clear();
    m_session->prompts.setClipboardText(text);
    m_session->progress.stopAfter(polls);
    QVERIFY(m_ws->execute(ActionId::OrderPasteClipboard));
    m_session->progress.stopAfter(-1);
    QCOMPARE(state(*m_ws), order);
    QCOMPARE(m_session->prompts.messages(), QStringList{report});
    if (polls >= 0) {
        QVERIFY(steps == 1);
        QVERIFY(!OrderHistory::of(*m_ws).canRedo());
        QVERIFY(m_ws->execute(ActionId::OrderUndo));
        QVERIFY(!m_ws->orderOpen() || m_ws->order().rowCount() == 0);
        return;
    }
    QStringList names;
    for (int r = 0; r < m_ws->order().rowCount(); ++r)
        names << m_ws->order().stringAt(r, OrderTable::Name);
    QVERIFY(m_ws->execute(ActionId::OrderUndo));
    QCOMPARE(state(*m_ws), QStringLiteral("12:3:10:30 | total=30 changed=1 marked=12"));
    // Redone, the lines come back as pasted, with their marks.
    QVERIFY(m_ws->execute(ActionId::OrderRedo));
    QCOMPARE(state(*m_ws), order);
    for (int r = 0; r < m_ws->order().rowCount(); ++r)
        QCOMPARE(m_ws->order().stringAt(r, OrderTable::Name), names.value(r));
}

QTEST_GUILESS_MAIN(TestOrderExtras)
#include "tst_orderextras.moc"
