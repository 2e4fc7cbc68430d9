#include <QtTest>

#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTableView>
#include <QToolTip>

#include "actionid.h"
#include "addtoorder.h"
#include "gridcontroller.h"
#include "main.h"
#include "ordergui.h"
#include "partsearchfield.h"
#include "pricefilter.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "textfile.h"
#include "testworkspace.h"

// The search field of the main window with the keys a buyer presses.
class TestPartSearchGui final : public QObject
{
    Q_OBJECT

private slots:
    void typeArrowsEnterEscape();
    void quantityDialogMarksThePack();
};

void TestPartSearchGui::typeArrowsEnterEscape()
{
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TMakeOrderForm form;
        ScriptedPrompts prompts;
        SilentProgress progress;
        Workspace &ws = form.workspace();
        ws.setPrompts(&prompts);
        ws.setProgress(&progress);
        OrderGui::install(ws, form.priceGridController(), form.orderGridController());
        form.resize(1000, 700);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        TextFile::writeLines(QStringLiteral("prices.txt"),
                             {
                                 QStringLiteral("Код|Наименование|Артикул|Производитель|НормаУпаковки|ЦенаМелОпт|"
                                                "ЦенаОпт|Статус|Каталоги|Аналоги(Коды)"),
                                 QStringLiteral("101|Свеча зажигания|0 242 235 666|BOSCH|4|100|90|1|Электрика|"),
                                 QStringLiteral("103|Амортизатор передний|ВМ-5124.83|Завод|1|100|90|1|Подвеска|,104"),
                                 QStringLiteral("104|Стойка амортизатора|KYB-333|KYB|4|100|90|1|Подвеска|"),
                                 QStringLiteral("105|Щётка стеклоочистителя|W-500|VALEO|1|100|90|1|Кузов|103"),
                             });
        PriceLoader::loadFile(ws, QStringLiteral("prices.txt"));
        ws.setPanelVisible(Workspace::Panel::Price, true);
        RecordTable &price = ws.price();
        QVERIFY(price.locate(QStringLiteral("Code"), 101));
        QApplication::processEvents();
        QTableView *grid = form.gridPrice();
        QLineEdit *field = form.partSearchField()->edit();

        QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(field, QStringLiteral("bm 5124 83"));
        QCOMPARE(price.rowCount(), 3);
        QCOMPARE(form.partSearchField()->status()->text(), QStringLiteral("Поиск: «bm 5124 83» — найдено 3"));

        QTest::keyClick(field, Qt::Key_Down);
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        QCOMPARE(price.asInteger(1), 103);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(price.asInteger(1), 104);
        QCOMPARE(form.priceGridController()->currentHint(), QStringLiteral("Найдено: аналог 103"));

        prompts.queueQuantity(3);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(prompts.texts(QStringLiteral("quantity")).size(), 1);
        QCOMPARE(prompts.records().last().quantity.packSize, 4);
        QCOMPARE(ws.order().rowCount(), 1);
        QCOMPARE(ws.order().asInteger(ws.order().fieldByName(QStringLiteral("Code"))), 104);

        QTest::keyClick(grid, Qt::Key_Escape);
        QVERIFY(field->text().isEmpty());
        QCOMPARE(price.rowCount(), 4);
        QCOMPARE(price.asInteger(1), 101);
        QCOMPARE(form.filterStatusLabel()->text(), QString());
        QCOMPARE(QApplication::focusWidget(), grid);

        // A page pasted into the field is cut to a query's limits, and said so.
        QApplication::clipboard()->setText(QStringLiteral("свеча ").repeated(20000));
        QTest::keyClick(&form, Qt::Key_K, Qt::ControlModifier);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field->text(), QStringLiteral("свеча ").repeated(42) + QStringLiteral("свеч"));
        QCOMPARE(ws.label(Workspace::Label::Status), QStringLiteral("Запрос сокращён до 64 слов и 256 знаков"));
        QCOMPARE(price.rowCount(), 1);
        QTest::keyClick(field, Qt::Key_Escape);
        QTRY_COMPARE(QApplication::focusWidget(), grid);
        // Shift+Tab as some keymaps give it: Tab with Shift held.
        QTest::keyClick(grid, Qt::Key_Tab, Qt::ShiftModifier);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClick(field, Qt::Key_Escape);

        // Under a filter: the hits it hides are told and reached; the column
        // and the tool tip of the row under the pointer say how a row was
        // found; F3 on a hit and Esc keep the new filter and, as it hides the
        // row from before the search, the hit F3 was made on.
        editFilter(ws, [&](Workspace::FilterState &f) {
            f.modelCondition = QStringLiteral("not Code = 104");
            f.modelActive = true;
        });
        PriceFilter::of(ws)->applyPriceFilter();
        QTest::keyClick(grid, Qt::Key_Backtab, Qt::ShiftModifier);
        QTRY_COMPARE(QApplication::focusWidget(), field);
        QTest::keyClicks(field, QStringLiteral("bm512483"));
        QLabel *status = form.partSearchField()->status();
        QCOMPARE(status->text().remove(QRegularExpression(QStringLiteral("<[^>]*>"))),
                 QStringLiteral("Поиск: «bm512483» — найдено 2 · ещё 1 скрыто фильтром"));
        QCOMPARE(form.filterStatusLabel()->text(), QStringLiteral("Применено фильтров: 1"));
        QTest::keyClick(field, Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), status);
        QTest::keyClick(status, Qt::Key_Return);
        QCOMPARE(status->text(), QStringLiteral("Поиск по всему прайсу: «bm512483» — найдено 3"));
        const QAbstractItemModel *model = grid->model();
        const int found = model->columnCount() - 1;
        QCOMPARE(model->headerData(found, Qt::Horizontal).toString(), QStringLiteral("Найдено"));
        const QHeaderView *header = grid->horizontalHeader();
        QVERIFY(header->visualIndex(found) == 2 && header->logicalIndex(3) == 2
                && header->logicalIndex(found) == found - 1);
        QCOMPARE(model->index(1, found).data().toString(), QStringLiteral("аналог 103"));
        const QPoint cell = grid->visualRect(model->index(1, 4)).center();
        QHelpEvent help(QEvent::ToolTip, cell, grid->viewport()->mapToGlobal(cell));
        QApplication::sendEvent(grid->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QStringLiteral("Найдено: аналог 103"));

        QTest::keyClick(field, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QTRY_VERIFY(form.findChild<QAction *>(ActionId::FilterQ)->isEnabled());
        QTest::keyClick(grid, Qt::Key_F3); // the part (105) and its analogue
        QCOMPARE(price.rowCount(), 2);
        QTest::keyClick(grid, Qt::Key_Escape);
        QCOMPARE(price.rowCount(), 2);
        QCOMPARE(price.asInteger(1), 105);
        QCOMPARE(model->columnCount(), found);
        QCOMPARE(form.filterStatusLabel()->text(), QStringLiteral("Применено фильтров: 2"));
        ws.document().setModified(false);
    }
    QDir::setCurrent(previous);
}

void TestPartSearchGui::quantityDialogMarksThePack()
{
    TAddToOrderForm dialog;
    UserPrompts::QuantityRequest request;
    request.partName = QStringLiteral("Свеча");
    request.packSize = 4;
    request.quantity = 3;
    dialog.prepare(request);
    QCOMPARE(dialog.packLabel()->text(), QStringLiteral("Норма упаковки: 4"));
    QVERIFY(!dialog.packLabel()->isHidden());
    QVERIFY(dialog.packMismatch());
    dialog.quantityEdit()->setValue(8);
    QVERIFY(!dialog.packMismatch());
    QCOMPARE(dialog.quantity(), 8);
    request.packSize = 0;
    dialog.prepare(request);
    QVERIFY(dialog.packLabel()->isHidden());
    QVERIFY(!dialog.packMismatch());
}

QTEST_MAIN(TestPartSearchGui)
#include "tst_partsearchgui.moc"
