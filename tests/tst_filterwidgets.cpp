#include <QtTest>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QAbstractItemView>

#include <functional>

#include "actionid.h"
#include "applicabilitymenu.h"
#include "elidingcombobox.h"
#include "carmodels.h"
#include "filter.h"
#include "modelspanel.h"
#include "pricefilter.h"
#include "priceloader.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    const QStringList PriceLines = {
        "Код|Наименование|Артикул|Производитель|НормаУпаковки|Цена|Статус|Каталоги|Аналоги(Коды)",
        "101|Болт М8|B-8|Германия|100|12.5|1|Крепёж|205",
        "205|Гайка М8|G-8|Китай|50|20|2|Крепёж|",
        "310|Шайба|W-1|Китай|100|3|0|Шайбы|",
        "700|Трос|T-1|Россия|1|8|3|Тросы|",
    };

    void writeFile(const QString &path, const QStringList &lines)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
    }

    QStringList items(const QComboBox *box)
    {
        QStringList result;
        for (int i = 0; i < box->count(); ++i)
            result.append(box->itemText(i));
        return result;
    }
}

class TestFilterWidgets : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dialogControlsOnFirstOpening();
    void fieldListsShowLongTitles();
    void rowStateRule_data();
    void rowStateRule();
    void modeSwitchMovesAndSizes();
    void allGoodsDisablesStates();
    void extractValue();
    void cancelPutsBackSimpleText();
    void clearAnswersFalse();
    void filterCreateThroughTheDialog();
    void compoundThroughTheDialog();
    void quickFilterReadsTheGrid();
    void keepsItsPlaceOnTheSecondOpening();

    void modelsPanelMirrorsState();
    void modelsPanelApplyToImage();
    void applicabilityMenuCreatesItsEntries();
    void applicabilityMenuReusesWindowEntries();

private:
    // Runs the dialog; `step` acts while it shows, then `button` closes it.
    bool runDialog(const std::function<void()> &step, const QString &button = QStringLiteral("ButtonApply"));
    template<typename T>
    T *child(const QString &name) const
    {
        T *widget = m_dialog->findChild<T *>(name);
        if (!widget)
            qWarning("no child %s", qPrintable(name));
        return widget;
    }

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    Workspace *m_ws = nullptr;
    TFilterDialog *m_dialog = nullptr;
    int m_selectedColumn = 3;
    int m_sideBarLayouts = 0;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
};

void TestFilterWidgets::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    writeFile(QStringLiteral("prices.txt"), PriceLines);
    writeFile(CarModels::modelsFileName(), {"1|AUDI|A4", "2|AUDI|A6", "3|BMW|X5"});
    writeFile(CarModels::assignmentsFileName(), {"1|101", "1|205", "2|205", "3|310"});
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    m_selectedColumn = 3;
    m_sideBarLayouts = 0;
    m_dialog = new TFilterDialog;
    TFilterDialog::PriceGridAccess grid;
    grid.selectedColumn = [this] { return m_selectedColumn; };
    grid.selectedFieldName = [this] {
        return m_ws->grid(Workspace::Grid::Price).columns.value(m_selectedColumn).fieldName;
    };
    grid.layoutSideBar = [this] { ++m_sideBarLayouts; };
    m_dialog->attach(*m_ws, grid);
}

void TestFilterWidgets::cleanup()
{
    delete m_dialog;
    m_dialog = nullptr;
    delete m_ws;
    m_ws = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestFilterWidgets::fieldListsShowLongTitles()
{
    const QString title = QStringLiteral("Наименование / артикул производителя");
    int checked = 0;
    runDialog(
        [&] {
            // Both modes: the simple page, then the compound page.
            for (const bool compound : {false, true}) {
                child<QCheckBox>(QStringLiteral("CheckSCF"))->setChecked(!compound);
                QCoreApplication::processEvents();
                const QList<ElidingComboBox *> lists = m_dialog->findChildren<ElidingComboBox *>();
                QCOMPARE(lists.size(), 6);
                for (ElidingComboBox *list : lists) {
                    if (!list->isVisible())
                        continue;
                    QCOMPARE(list->currentText(), title);
                    // The closed box shows the title whole or cut with "…",
                    // within its own width, and the whole title as its tip.
                    const QString shown = list->shownText();
                    QVERIFY2(shown == title
                                 || (shown.endsWith(QStringLiteral("…")) && title.startsWith(shown.chopped(1))),
                             qPrintable(shown));
                    QVERIFY(list->fontMetrics().horizontalAdvance(shown) < list->width());
                    QCOMPARE(list->toolTip(), title);
                    // The open list is wide enough for the longest entry.
                    QVERIFY(list->view()->minimumWidth() > list->view()->fontMetrics().horizontalAdvance(title));
                    ++checked;
                }
            }
        },
        QStringLiteral("ButtonCancel"));
    QCOMPARE(checked, 6);
}

void TestFilterWidgets::keepsItsPlaceOnTheSecondOpening()
{
    QWidget owner;
    owner.resize(900, 700);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    TFilterDialog dialog(&owner);
    TFilterDialog::PriceGridAccess grid;
    grid.selectedColumn = [this] { return m_selectedColumn; };
    dialog.attach(*m_ws, grid);

    QList<QPoint> places;
    for (int opening = 0; opening < 2; ++opening) {
        QTimer::singleShot(0, &dialog, [&] {
            const auto close = qScopeGuard([&] { dialog.reject(); });
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            // Until the window manager has framed and placed it.
            QPoint last(-1, -1);
            for (int steady = 0, waited = 0; steady < 4 && waited < 60; ++waited) {
                QTest::qWait(25);
                steady = dialog.geometry().topLeft() == last ? steady + 1 : 0;
                last = dialog.geometry().topLeft();
            }
            places.append(last);
        });
        dialog.runFilterDialog(m_selectedColumn);
    }
    QCOMPARE(places.size(), 2);
    QCOMPARE(places.at(1), places.at(0));
}

bool TestFilterWidgets::runDialog(const std::function<void()> &step, const QString &button)
{
    bool stepped = false;
    QTimer::singleShot(0, m_dialog, [&] {
        step();
        stepped = true;
        if (auto *close = m_dialog->findChild<QPushButton *>(button))
            QTest::mouseClick(close, Qt::LeftButton);
        else
            m_dialog->reject();
    });
    const bool result = m_dialog->runFilterDialog(m_selectedColumn);
    if (!stepped)
        qWarning("the dialog did not show");
    return result;
}

void TestFilterWidgets::dialogControlsOnFirstOpening()
{
    const QStringList titles = {
        "Код",   "Наименование / артикул производителя", "OEM номер", "Производство", "Упаковка", "Цена (мелкооптовая)",
        "Группа"};
    const bool result = runDialog([&] {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Фильтр..."));
        QCOMPARE(m_dialog->size(), QSize(353, 222));
        auto *pages = child<QTabWidget>(QStringLiteral("PageControl1"));
        QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("SimpleFilter"));
        QVERIFY(!pages->isTabVisible(pages->indexOf(child<QWidget>(QStringLiteral("CompoundFilter")))));
        QCOMPARE(pages->count(), 4);
        QCOMPARE(pages->tabText(2), QStringLiteral("Параметры"));
        QCOMPARE(pages->tabText(3), QStringLiteral("Наличие"));
        QVERIFY(child<QCheckBox>(QStringLiteral("CheckSCF"))->isChecked());

        auto *fields = child<QComboBox>(QStringLiteral("FieldsCombo"));
        QCOMPARE(items(fields), titles);
        QCOMPARE(fields->currentIndex(), 1);
        for (int n = 1; n <= 5; ++n) {
            auto *row = child<QComboBox>(QStringLiteral("FieldsCombos%1").arg(n));
            QCOMPARE(items(row), titles);
            QCOMPARE(row->currentIndex(), 1);
            QVERIFY(child<QLineEdit>(QStringLiteral("FilterString%1").arg(n)));
        }
        for (int n = 2; n <= 5; ++n) {
            auto *condition = child<QComboBox>(QStringLiteral("ConditionCombo%1").arg(n));
            QCOMPARE(items(condition), (QStringList{"- нет -", "И", "ИЛИ", "И НЕ", "ИЛИ НЕ"}));
            QCOMPARE(condition->currentIndex(), 0);
            QCOMPARE(m_dialog->rowMark(n), 10101);
        }
        QCOMPARE(m_dialog->rowMark(1), 11111);
        QCOMPARE(child<QPushButton>(QStringLiteral("ButtonExtract2"))->toolTip(), QStringLiteral("Извлечь значение"));

        auto *separators = child<QComboBox>(QStringLiteral("DefSepar"));
        QCOMPARE(separators->count(), 3);
        QCOMPARE(separators->currentIndex(), 0);
        const QList<QRadioButton *> modes = child<QWidget>(QStringLiteral("Condition"))->findChildren<QRadioButton *>();
        QCOMPARE(modes.size(), 3);
        QVERIFY(modes.at(0)->isChecked());
        QCOMPARE(modes.at(2)->text(), QStringLiteral("точное совпадение набранной фразы"));

        QVERIFY(child<QCheckBox>(QStringLiteral("AvailAll"))->isChecked());
        for (const char *name : {"AvailNot", "AvailYes", "AvailDeliv"}) {
            QVERIFY(child<QCheckBox>(QLatin1String(name))->isChecked());
            QVERIFY(!child<QCheckBox>(QLatin1String(name))->isEnabled());
        }
        QVERIFY(!child<QCheckBox>(QStringLiteral("AvailNew"))->isChecked());
        QVERIFY(!child<QCheckBox>(QStringLiteral("AvailNew"))->isEnabled());
    });
    QVERIFY(result);
    const FilterDialogState &state = PriceFilter::of(*m_ws)->builder().state();
    QVERIFY(state.prepared);
    QCOMPARE(state.fields.size(), 7);
    QCOMPARE(state.fieldIndex, 1);

    // Later openings keep the lists and the selection, whatever column is selected.
    m_selectedColumn = 8;
    QVERIFY(runDialog([&] { QCOMPARE(child<QComboBox>(QStringLiteral("FieldsCombo"))->currentIndex(), 1); }));
}

void TestFilterWidgets::rowStateRule_data()
{
    QTest::addColumn<int>("connective");
    QTest::addColumn<int>("mark");
    QTest::newRow("- нет -") << 0 << 10101;
    QTest::newRow("И") << 1 << 11111;
    QTest::newRow("ИЛИ НЕ") << 4 << 11111;
}

void TestFilterWidgets::rowStateRule()
{
    QFETCH(int, connective);
    QFETCH(int, mark);
    runDialog([&] {
        auto *condition = child<QComboBox>(QStringLiteral("ConditionCombo3"));
        condition->setCurrentIndex(2);
        condition->setCurrentIndex(connective);
        QCOMPARE(m_dialog->rowMark(3), mark);
        const bool active = mark == 11111;
        auto *fields = child<QComboBox>(QStringLiteral("FieldsCombos3"));
        auto *text = child<QLineEdit>(QStringLiteral("FilterString3"));
        QCOMPARE(fields->isEnabled(), active);
        QCOMPARE(text->isEnabled(), active);
        QCOMPARE(child<QPushButton>(QStringLiteral("ButtonExtract3"))->isEnabled(), active);
        const QColor expected = active ? m_dialog->palette().color(QPalette::Active, QPalette::Base)
                                       : m_dialog->palette().color(QPalette::Inactive, QPalette::Window);
        QCOMPARE(text->palette().color(QPalette::Base), expected);
        QCOMPARE(fields->palette().color(QPalette::Base), expected);
        // The other rows are untouched.
        QCOMPARE(m_dialog->rowMark(2), 10101);
    });
    QCOMPARE(PriceFilter::of(*m_ws)->builder().state().rows[2].connective, connective);
}

void TestFilterWidgets::modeSwitchMovesAndSizes()
{
    runDialog([&] {
        auto *simple = child<QCheckBox>(QStringLiteral("CheckSCF"));
        auto *pages = child<QTabWidget>(QStringLiteral("PageControl1"));
        auto *simplePage = child<QWidget>(QStringLiteral("SimpleFilter"));
        auto *compoundPage = child<QWidget>(QStringLiteral("CompoundFilter"));
        child<QComboBox>(QStringLiteral("FieldsCombo"))->setCurrentIndex(6);
        child<QLineEdit>(QStringLiteral("FilterString"))->setText(QStringLiteral("крепёж"));
        const QPoint start = m_dialog->pos();

        simple->setChecked(false);
        QCOMPARE(m_dialog->pos(), start - QPoint(41, 16));
        QCOMPARE(m_dialog->size(), QSize(436, 255));
        QCOMPARE(pages->currentWidget(), compoundPage);
        QVERIFY(pages->isTabVisible(pages->indexOf(compoundPage)));
        QVERIFY(!pages->isTabVisible(pages->indexOf(simplePage)));
        QCOMPARE(child<QComboBox>(QStringLiteral("FieldsCombos1"))->currentIndex(), 6);
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString1"))->text(), QStringLiteral("крепёж"));

        child<QLineEdit>(QStringLiteral("FilterString1"))->setText(QStringLiteral("болт"));
        child<QComboBox>(QStringLiteral("FieldsCombos1"))->setCurrentIndex(2);
        // From another page the switch leaves that page active.
        pages->setCurrentIndex(2);
        simple->setChecked(true);
        QCOMPARE(m_dialog->pos(), start);
        QCOMPARE(m_dialog->size(), QSize(353, 222));
        QCOMPARE(pages->currentIndex(), 2);
        QVERIFY(pages->isTabVisible(pages->indexOf(simplePage)));
        QVERIFY(!pages->isTabVisible(pages->indexOf(compoundPage)));
        QCOMPARE(child<QComboBox>(QStringLiteral("FieldsCombo"))->currentIndex(), 2);
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString"))->text(), QStringLiteral("болт"));
        simple->setChecked(false);
    });
    QVERIFY(!PriceFilter::of(*m_ws)->builder().state().simple);

    // The next showing starts on the filter page of the mode.
    runDialog([&] {
        QCOMPARE(child<QTabWidget>(QStringLiteral("PageControl1"))->currentWidget()->objectName(),
                 QStringLiteral("CompoundFilter"));
        QCOMPARE(m_dialog->size(), QSize(436, 255));
    });
}

void TestFilterWidgets::allGoodsDisablesStates()
{
    runDialog([&] {
        auto *all = child<QCheckBox>(QStringLiteral("AvailAll"));
        auto *notInStock = child<QCheckBox>(QStringLiteral("AvailNot"));
        auto *onlyNew = child<QCheckBox>(QStringLiteral("AvailNew"));
        all->setChecked(false);
        for (const char *name : {"AvailNot", "AvailYes", "AvailDeliv", "AvailNew"})
            QVERIFY(child<QCheckBox>(QLatin1String(name))->isEnabled());
        notInStock->setChecked(false);
        onlyNew->setChecked(true);
        all->setChecked(true);
        QVERIFY(notInStock->isChecked());
        QVERIFY(!onlyNew->isChecked());
        QVERIFY(!notInStock->isEnabled());
        all->setChecked(false);
        child<QCheckBox>(QStringLiteral("AvailYes"))->setChecked(false);
        child<QCheckBox>(QStringLiteral("AvailDeliv"))->setChecked(false);
    });
    QCOMPARE(PriceFilter::of(*m_ws)->builder().buildAvailabilityCondition(),
             QStringLiteral("(AvailabilityFlag=0) or (AvailabilityFlag=5)"));
}

void TestFilterWidgets::extractValue()
{
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 101));
    runDialog([&] {
        QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonExtract")), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString"))->text(), QStringLiteral("Болт М8"));
        child<QComboBox>(QStringLiteral("FieldsCombo"))->setCurrentIndex(5);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonExtract")), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString"))->text(), QStringLiteral("12.5"));

        child<QComboBox>(QStringLiteral("ConditionCombo4"))->setCurrentIndex(1);
        child<QComboBox>(QStringLiteral("FieldsCombos4"))->setCurrentIndex(0);
        QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonExtract4")), Qt::LeftButton);
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString4"))->text(), QStringLiteral("101"));
        QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString3"))->text(), QString());
    });
}

void TestFilterWidgets::cancelPutsBackSimpleText()
{
    runDialog([&] { child<QLineEdit>(QStringLiteral("FilterString"))->setText(QStringLiteral("болт")); });
    const bool result = runDialog(
        [&] {
            child<QLineEdit>(QStringLiteral("FilterString"))->setText(QStringLiteral("гайка"));
            child<QWidget>(QStringLiteral("Condition"))->findChildren<QRadioButton *>().at(1)->setChecked(true);
            child<QLineEdit>(QStringLiteral("FilterString2"))->setText(QStringLiteral("x"));
        },
        QStringLiteral("ButtonCancel"));
    QVERIFY(result);
    QCOMPARE(child<QLineEdit>(QStringLiteral("FilterString"))->text(), QStringLiteral("болт"));
    const FilterDialogState &state = PriceFilter::of(*m_ws)->builder().state();
    QCOMPARE(state.filterString, QStringLiteral("болт"));
    QCOMPARE(state.rememberedText, QStringLiteral("болт"));
    // Other changes remain.
    QCOMPARE(state.wordMode, 1);
    QCOMPARE(state.rows[1].text, QStringLiteral("x"));
}

void TestFilterWidgets::clearAnswersFalse()
{
    QVERIFY(!runDialog([] {}, QStringLiteral("ButtonClear")));
    QVERIFY(runDialog([] {}, QStringLiteral("ButtonCancel")));
    QVERIFY(runDialog([] {}, QStringLiteral("ButtonApply")));
}

void TestFilterWidgets::filterCreateThroughTheDialog()
{
    QTimer::singleShot(0, m_dialog, [&] {
        child<QLineEdit>(QStringLiteral("FilterString"))->setText(QStringLiteral("М8"));
        QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonApply")), Qt::LeftButton);
    });
    QVERIFY(m_ws->actions().execute(ActionId::FilterCreate));
    QCOMPARE(m_ws->filter().priceCondition, QStringLiteral("((Name LIKE '%М8%') or (Name='М8*'))"));
    QCOMPARE(m_ws->price().rowCount(), 2);
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatus), QStringLiteral("Применено фильтров: 1"));

    QTimer::singleShot(0, m_dialog,
                       [&] { QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonClear")), Qt::LeftButton); });
    QVERIFY(m_ws->actions().execute(ActionId::FilterCreate));
    QVERIFY(!m_ws->filter().priceActive);
    QCOMPARE(m_ws->price().rowCount(), 4);
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatus), QString());
}

void TestFilterWidgets::compoundThroughTheDialog()
{
    QTimer::singleShot(0, m_dialog, [&] {
        child<QCheckBox>(QStringLiteral("CheckSCF"))->setChecked(false);
        child<QLineEdit>(QStringLiteral("FilterString1"))->setText(QStringLiteral("Китай"));
        child<QComboBox>(QStringLiteral("FieldsCombos1"))->setCurrentIndex(3);
        child<QComboBox>(QStringLiteral("ConditionCombo2"))->setCurrentIndex(3);
        child<QComboBox>(QStringLiteral("FieldsCombos2"))->setCurrentIndex(6);
        child<QLineEdit>(QStringLiteral("FilterString2"))->setText(QStringLiteral("Шайбы"));
        QTest::mouseClick(child<QPushButton>(QStringLiteral("ButtonApply")), Qt::LeftButton);
    });
    QVERIFY(m_ws->actions().execute(ActionId::FilterCreate));
    QCOMPARE(m_ws->filter().priceCondition,
             QStringLiteral("(((ProductionOf LIKE '%Китай%') or (ProductionOf='Китай*'))) AND "
                            "(NOT (((Group LIKE '%Шайбы%') or (Group='Шайбы*'))))"));
    QCOMPARE(PriceFilter::of(*m_ws)->builder().conditionScore(), 20);
    QCOMPARE(m_ws->price().rowCount(), 1);
    QCOMPARE(m_ws->price().asString(1), QStringLiteral("205"));
}

void TestFilterWidgets::quickFilterReadsTheGrid()
{
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 310));
    m_selectedColumn = 8;
    QVERIFY(m_ws->actions().execute(ActionId::FilterQ));
    QCOMPARE(m_ws->filter().priceCondition, QStringLiteral("((Group LIKE '%Шайбы%') or (Group='Шайбы*'))"));
    QCOMPARE(m_ws->price().rowCount(), 1);
    QVERIFY(m_sideBarLayouts > 0);
}

void TestFilterWidgets::modelsPanelMirrorsState()
{
    QWidget panel;
    panel.setObjectName(QStringLiteral("PanelModels_Select"));
    QAction buildFilter(QStringLiteral("Применить"));
    QObject::connect(&buildFilter, &QAction::triggered, [this] { m_ws->actions().run(ActionId::Models_BuildFilter); });
    QLineEdit search;
    search.show();
    ModelsPanel *models = ModelsPanel::install(&panel, *m_ws, &buildFilter, nullptr, &search);
    QComboBox *brands = panel.findChild<QComboBox *>(QStringLiteral("MBrand_List"));
    QComboBox *modelBox = panel.findChild<QComboBox *>(QStringLiteral("MModel_Lookup"));
    QCOMPARE(brands, models->brandBox());
    QCOMPARE(modelBox, models->modelBox());
    QVERIFY(panel.findChild<QToolButton *>(QStringLiteral("ButtonModels_BuildFilter")));
    QCOMPARE(brands->count(), 0);
    QVERIFY(!modelBox->isEnabled());

    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QCOMPARE(items(brands), (QStringList{"< Все марки >", "AUDI", "BMW"}));
    QCOMPARE(brands->currentIndex(), 0);
    QVERIFY(!modelBox->isEnabled());
    QCOMPARE(modelBox->currentText(), QStringLiteral("< Все модели >"));
    QVERIFY(modelBox->view()->minimumWidth() >= 300);

    brands->setCurrentIndex(1);
    emit brands->activated(1);
    QVERIFY(modelBox->isEnabled());
    QCOMPARE(modelBox->count(), 3);
    QCOMPARE(modelBox->maxVisibleItems(), 3);
    QCOMPARE(modelBox->currentIndex(), 0);

    const int a6 = modelBox->findText(QStringLiteral("A6"));
    modelBox->setCurrentIndex(a6);
    emit modelBox->activated(a6);
    QCOMPARE(CarModels::of(*m_ws)->modelKey(), QStringLiteral("2"));
    buildFilter.trigger();
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=205 "));
    QCOMPARE(m_ws->price().rowCount(), 1);

    QVERIFY(m_ws->actions().execute(ActionId::Models_Panel));
    QVERIFY(search.isHidden());

    // Picking from the applicability menu moves the boxes.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 205));
    CarModels::of(*m_ws)->popupMenuPopup();
    CarModels::of(*m_ws)->selectModelEntry(QStringLiteral("gml_1"));
    QCOMPARE(brands->currentIndex(), 1);
    QCOMPARE(modelBox->currentText(), QStringLiteral("A4"));

    QVERIFY(m_ws->actions().execute(ActionId::Models_CloseSMAsg));
    QCOMPARE(brands->count(), 0);
    QVERIFY(!modelBox->isEnabled());
}

void TestFilterWidgets::modelsPanelApplyToImage()
{
    QWidget panel;
    QAction applyTo(QStringLiteral("Отбор по автомобилям"));
    const QIcon off = panel.style()->standardIcon(QStyle::SP_FileDialogListView);
    applyTo.setIcon(off);
    ModelsPanel::install(&panel, *m_ws, nullptr, &applyTo);
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    CarModels::of(*m_ws)->brandListChange(1);
    QVERIFY(m_ws->actions().execute(ActionId::Models_Apply_To));
    QVERIFY(applyTo.icon().cacheKey() != off.cacheKey());
    QVERIFY(m_ws->actions().execute(ActionId::Models_Apply_To));
    QCOMPARE(applyTo.icon().cacheKey(), off.cacheKey());
}

void TestFilterWidgets::applicabilityMenuCreatesItsEntries()
{
    QMenu popup;
    popup.setObjectName(QStringLiteral("PopupMenu1"));
    popup.addAction(QStringLiteral("Копировать"));
    ApplicabilityMenu *menu = ApplicabilityMenu::install(&popup, *m_ws);
    QMenu *models = popup.findChild<QMenu *>(QStringLiteral("PUM_Models"));
    QVERIFY(models);
    QCOMPARE(models->title(), QStringLiteral("Применяемость"));
    QCOMPARE(popup.actions().at(0), models->menuAction());
    QCOMPARE(popup.actions().at(1)->objectName(), QStringLiteral("PUM_ModelsLine"));
    QVERIFY(popup.actions().at(1)->isSeparator());
    QCOMPARE(menu->noneEntry()->text(), QStringLiteral("- НЕТ -"));
    QVERIFY(!menu->noneEntry()->isEnabled());
    QVERIFY(!models->menuAction()->isVisible());
    QVERIFY(!menu->separator()->isVisible());

    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QVERIFY(models->menuAction()->isVisible());
    QVERIFY(menu->separator()->isVisible());

    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 205));
    emit popup.aboutToShow();
    QStringList entries;
    for (QAction *entry : menu->entries())
        entries.append(entry->objectName() + '=' + entry->text());
    QCOMPARE(entries, (QStringList{"gml_1=AUDI A4", "gml_2=AUDI A6"}));
    QVERIFY(models->menuAction()->isEnabled());
    QVERIFY(!menu->noneEntry()->isVisible());

    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 700));
    emit popup.aboutToShow();
    QVERIFY(menu->entries().isEmpty());
    QVERIFY(!models->menuAction()->isEnabled());
    QVERIFY(menu->noneEntry()->isVisible());

    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 310));
    emit popup.aboutToShow();
    QCOMPARE(menu->entries().size(), 1);
    menu->entries().first()->trigger();
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=310 "));
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(m_ws->price().rowCount(), 1);
}

void TestFilterWidgets::applicabilityMenuReusesWindowEntries()
{
    QMenu popup;
    auto *models = new QMenu(QStringLiteral("Применяемость"), &popup);
    models->setObjectName(QStringLiteral("PUM_Models"));
    auto *none = new QAction(QStringLiteral("- НЕТ -"), models);
    none->setObjectName(QStringLiteral("PUM_none"));
    models->addAction(none);
    popup.addMenu(models);
    QAction *line = popup.addSeparator();
    line->setObjectName(QStringLiteral("PUM_ModelsLine"));
    popup.addAction(QStringLiteral("Копировать"));

    ApplicabilityMenu *menu = ApplicabilityMenu::install(&popup, *m_ws);
    QCOMPARE(menu->modelsMenu(), models);
    QCOMPARE(menu->noneEntry(), none);
    QCOMPARE(menu->separator(), line);
    QCOMPARE(popup.actions().size(), 3);
    QCOMPARE(popup.findChildren<QMenu *>().size(), 1);
}

QTEST_MAIN(TestFilterWidgets)
#include "tst_filterwidgets.moc"
