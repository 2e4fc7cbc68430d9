#include <QtTest>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>

#include <memory>

#include "importfixture.h"
#include "layoutstore.h"
#include "pricelayoutdialog.h"
#include "qtprompts.h"
#include "supplierlist.h"

namespace
{
    // A workbook whose first sheet is a hidden one of the supplier's own; the
    // list is on the second.
    class HiddenFirstSheet final : public SheetReader
    {
    public:
        explicit HiddenFirstSheet(const QString &text)
            : m_rows(sheetRows(text))
        { }
        QString formatName() const override { return QStringLiteral("xlsx"); }
        QList<SheetInfo> sheets() const override
        {
            return {SheetInfo{QStringLiteral("Курсы"), true}, SheetInfo{QStringLiteral("Прайс"), false}};
        }
        void readSheet(int sheet, const std::function<bool(const SheetRow &)> &onRow) override
        {
            for (const SheetRow &row : sheet == 0 ? sheetRows(QStringLiteral("USD|#92.5")) : m_rows) {
                if (!onRow(row))
                    return;
            }
        }

    private:
        QList<SheetRow> m_rows;
    };

    std::unique_ptr<SupplierList> listOf(const QString &sheet)
    {
        return std::make_unique<SupplierList>(QStringLiteral("/prices/avtodetal.xlsx"), ListFormat::Xlsx,
                                              std::make_unique<HiddenFirstSheet>(sheet));
    }

    // "header=1 code=A name=B price=C"
    QString mapping(const ImportLayout &layout)
    {
        QStringList parts{QStringLiteral("header=%1").arg(layout.headerRow)};
        for (int f = 0; f < ImportFields::count; ++f) {
            if (layout.columns[size_t(f)] >= 0)
                parts << ImportFields::key(ImportField(f)) + QLatin1Char('=')
                        + ImportLayout::columnLetter(layout.columns[size_t(f)]);
        }
        return parts.join(QLatin1Char(' '));
    }

    // Types any text, Cyrillic too, as key presses.
    void type(QWidget *widget, const QString &text)
    {
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        for (const QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

class TestPriceLayoutDialog final : public QObject
{
    Q_OBJECT

private slots:
    void editByKeyboard_data();
    void editByKeyboard();
    void rowsOfChangedList_data();
    void rowsOfChangedList();
};

void TestPriceLayoutDialog::editByKeyboard_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<int>("headerRow");   // typed; -1: left as found
    QTest::addColumn<QString>("chooser"); // reached by Tab; empty: none
    QTest::addColumn<int>("value");       // its item's data, chosen there by the arrow keys
    QTest::addColumn<QString>("missing"); // before the edits; empty: OK enabled
    QTest::addColumn<QString>("expected");

    const QString items = QStringLiteral("#101|Фильтр масляный|#100\n#102|Колодки тормозные|#250\n"
                                         "#103|Свеча зажигания|#75\n#104|Ремень ГРМ|#1200");
    QTest::newRow("price by keys passes other fields without taking them")
        << QStringLiteral("Код|Наименование|Опт\n") + items << -1 << QStringLiteral("LayoutField_C")
        << int(ImportField::Price) << QStringLiteral("Не хватает: Цена")
        << QStringLiteral("header=1 code=A name=B price=C");
    QTest::newRow("price taken from the column that had it")
        << QStringLiteral("Код|Наименование|Цена опт|Цена розн\n#1|Фильтр|#10.5|#12.5\n#2|Колодки|#20.5|#25.5\n"
                          "#3|Свеча|#3.5|#4.5")
        << -1 << QStringLiteral("LayoutField_C") << int(ImportField::Price) << QString()
        << QStringLiteral("header=1 code=A name=B price=C");
    QTest::newRow("typed header row finds the code under it")
        << QStringLiteral("Прайс на март\nНомер|Позиция|Опт\n#1|Фильтр масляный Mann|#100.5\n"
                          "#2|Колодки тормозные|#250.4\n#3|Свеча зажигания|#75.2\n#4|Ремень ГРМ|#1200.9")
        << 2 << QString() << int(ImportField::None) << QStringLiteral("Не хватает: Код или Артикул")
        << QStringLiteral("header=2 code=A name=B price=C");
    QTest::newRow("column given up by keys")
        << QStringLiteral("Код|Артикул|Наименование|Цена\n#1|W712|Фильтр|#10.5\n#2|GDB13|Колодки|#20.5") << -1
        << QStringLiteral("LayoutField_A") << int(ImportField::None) << QString()
        << QStringLiteral("header=1 name=C partNumber=B price=D");
    QTest::newRow("text file read again with the delimiter chosen")
        << QStringLiteral("Код;Наименование;Цена\n#1;Фильтр;#10.5\n#2;Колодки;#20.5\n#3;Свеча;#3.5") << -1
        << QStringLiteral("LayoutDelimiter") << int(';')
        << QStringLiteral("Не хватает: Наименование, Цена, Код или Артикул")
        << QStringLiteral("header=1 code=A name=B price=C");
}

void TestPriceLayoutDialog::editByKeyboard()
{
    QFETCH(QString, sheet);
    QFETCH(int, headerRow);
    QFETCH(QString, chooser);
    QFETCH(int, value);
    QFETCH(QString, missing);
    QFETCH(QString, expected);

    std::unique_ptr<SupplierList> list = listOf(sheet);
    PriceLayoutQuestion question = list->question(std::nullopt);
    if (chooser == QLatin1String("LayoutDelimiter")) {
        // A text file, first split by commas: its reader splits it again.
        question.format = QStringLiteral("csv");
        question.layout.delimiter = ',';
        question.reload = [sheet](PriceLayoutQuestion &again) {
            const ImportLayout old = again.layout;
            again.rows = sheetRows(QString(sheet).replace(QLatin1Char(old.delimiter), QLatin1Char('|')));
            again.layout = LayoutGuess::guess(again.rows, &again.reasons, &again.certain);
            again.layout.name = old.name;
            again.layout.delimiter = old.delimiter;
        };
    }
    QtPrompts prompts;
    bool stepped = false;
    // The window's prompts run the dialog modally; the steps run inside.
    const auto steps = [&] {
        QTRY_VERIFY(QApplication::activeModalWidget());
        auto *dialog = qobject_cast<PriceLayoutDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        auto *missingLabel = dialog->findChild<QLabel *>(QStringLiteral("LayoutMissing"));
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("LayoutName"));
        QCOMPARE(ok->isEnabled(), missing.isEmpty());
        QCOMPARE(missingLabel->isVisible() ? missingLabel->text() : QString(), missing);

        QTRY_COMPARE(QApplication::focusWidget(), name);
        type(name, QString());
        QTest::keyClick(name, Qt::Key_Delete);
        QVERIFY(!ok->isEnabled());
        QVERIFY(missingLabel->text().contains(QStringLiteral("Укажите поставщика")));
        type(name, QStringLiteral("Автодеталь"));

        if (headerRow >= 0) {
            auto *spin = dialog->findChild<QSpinBox *>(QStringLiteral("LayoutHeaderRow"));
            QTest::mouseClick(spin, Qt::LeftButton, {}, QPoint(8, spin->height() / 2));
            QTRY_VERIFY(spin->hasFocus());
            type(spin, QString::number(headerRow));
        }
        if (!chooser.isEmpty()) {
            auto *box = dialog->findChild<QComboBox *>(chooser);
            for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != box; ++tabs)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), box);
            QTest::keyClick(box, Qt::Key_Home);
            for (int step = 0; step < box->findData(value); ++step)
                QTest::keyClick(box, Qt::Key_Down);
        }
        QVERIFY(ok->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        stepped = true;
    };
    QTimer::singleShot(0, this, [&] {
        steps();
        // A step that failed leaves the dialog open.
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
    });
    QVERIFY(prompts.confirmPriceLayout(question));
    QVERIFY(stepped);
    QCOMPARE(question.sheet, 1); // the first visible sheet
    QCOMPARE(question.layout.name, QStringLiteral("Автодеталь"));
    QCOMPARE(mapping(question.layout), expected);
}

void TestPriceLayoutDialog::rowsOfChangedList_data()
{
    QTest::addColumn<int>("sheetRow");
    QTest::addColumn<QString>("toolTip"); // empty: an item, drawn as it is

    QTest::newRow("group") << 3 << QStringLiteral("группа");
    QTest::newRow("item") << 4 << QString();
    QTest::newRow("price not a number") << 5 << QStringLiteral("цена «по запросу» не число");
    QTest::newRow("total") << 6 << QStringLiteral("итог");
    QTest::newRow("title above the header") << 1 << QStringLiteral("над заголовком");
}

void TestPriceLayoutDialog::rowsOfChangedList()
{
    QFETCH(int, sheetRow);
    QFETCH(QString, toolTip);

    // The supplier's layout was saved when the price stood in C; a maker
    // column came in before it.
    QTemporaryDir folder;
    const LayoutStore store(folder.path());
    std::unique_ptr<SupplierList> old =
        listOf(QStringLiteral("Код|Наименование|Цена\n#1|Фильтр|#10.5\n#2|Колодки|#20.5"));
    ImportLayout saved = old->guess();
    saved.name = QStringLiteral("Автодеталь");
    store.save(saved);
    std::unique_ptr<SupplierList> list = listOf(QStringLiteral(
        "Прайс на март\nКод|Наименование|Бренд|Цена\nФильтры\n#1|Фильтр|MANN|#10.5\n#2|Колодки|TRW|по запросу\n"
        "Итого: 2"));
    const std::optional<LayoutStore::Match> match = list->findSaved(store);
    QVERIFY(match && !match->exact);
    QCOMPARE(match->layout.sheet, QStringLiteral("Прайс"));

    PriceLayoutDialog dialog(list->question(match));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The rows shown are those of the first visible sheet.
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("LayoutSheet"))->currentText(), QStringLiteral("Прайс"));
    auto *changes = dialog.findChild<QLabel *>(QStringLiteral("LayoutChanges"));
    QVERIFY(changes->isVisible());
    QVERIFY2(changes->text().contains(QStringLiteral("Цена: был столбец C, теперь D")), qPrintable(changes->text()));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("LayoutField_D"))->currentText(), QStringLiteral("Цена"));

    const QAbstractItemModel *model = dialog.preview()->model();
    int row = 0;
    while (row < model->rowCount() && model->index(row, 0).data().toInt() != sheetRow)
        ++row;
    QVERIFY(row < model->rowCount());
    QCOMPARE(model->index(row, 2).data(Qt::ToolTipRole).toString(), toolTip);
    QCOMPARE(model->index(row, 2).data(Qt::ForegroundRole).isValid(), !toolTip.isEmpty());

    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestPriceLayoutDialog)
#include "tst_pricelayoutdialog.moc"
