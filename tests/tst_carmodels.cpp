#include <QtTest>

#include <algorithm>

#include "actionid.h"
#include "carmodels.h"
#include "ordixerror.h"
#include "pricefilter.h"
#include "priceloader.h"
#include "schemafile.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "testworkspace.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    const QStringList ModelLines = {
        "Список моделей автомобилей",
        "Код|Марка|Модель",
        "1|AUDI|A4",
        "2|AUDI|A6",
        "3|BMW|X5",
        "4|ВАЗ|2107",
        "5|AUDI|Q7",
        "abc|BAD|not a number after the first record",
        "40000|BAD|model code out of range",
        "-40000|BAD|model code out of range",
        "1.5|BAD|not a whole number",
        "|NOCODE|no model code",
        "",
        "6|ZAZ|Таврия",
        "7|O'Brand|Model O",
        "  9 |  Kia\t| Rio  ",
        "10|ABCDEFGHIJKLMNOPQRSTUVWXYZ|Long brand",
    };

    const QStringList AssignmentLines = {
        "Применяемость запчастей",
        "CODEMODEL|CODESPAIR",
        "1|101",
        "1|205",
        "2|205",
        "2|310",
        "3|400",
        "5|40000",
        "99|500",
        "1|",
        "|101",
        "x|101",
        "1|3000000000",
        "70000|101",
        "7|600",
        "9|600",
    };

    const QStringList PriceLines = {
        "Код|Наименование|Цена", "101|Болт|1",   "205|Гайка|2",     "310|Шайба|3", "400|Свеча|4",
        "500|Фильтр|5",          "600|Ремень|6", "40000|Колодки|7", "700|Трос|8",
    };

    void writeFile(const QString &path, const QStringList &lines)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(TextFile::encodeLines(lines));
    }

    // "code:brand:model" of every model row, sorted by code.
    QStringList modelRows(RecordTable &table)
    {
        QList<QPair<int, QString>> rows;
        for (int r = 0; r < table.rowCount(); ++r) {
            rows.append({int(table.integerAt(r, 0)),
                         table.stringAt(r, 0) + ':' + table.stringAt(r, 1) + ':' + table.stringAt(r, 2)});
        }
        std::sort(rows.begin(), rows.end());
        QStringList result;
        for (const auto &row : rows)
            result.append(row.second);
        return result;
    }

    // The "Code=N " pieces of a model condition, sorted by code.
    QStringList pieces(const QString &condition)
    {
        QStringList result = condition.split(QStringLiteral("or "));
        std::sort(result.begin(), result.end(), [](const QString &a, const QString &b) {
            return a.mid(5).trimmed().toLongLong() < b.mid(5).trimmed().toLongLong();
        });
        return result;
    }
}

class TestCarModels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadsBothFiles();
    void schemaFilesWrittenAndRemoved();
    void headerLines_data();
    void headerLines();
    void progressAndStatus();
    void missingFiles_data();
    void missingFiles();
    void loadUnloadsFirst();
    void brandListInOrder();
    void enablingRules();
    void panelCaptions();
    void pickingBrands();
    void modelBoxVisibleEntries_data();
    void modelBoxVisibleEntries();
    void brandWithApostrophe();
    void brandSelectsOnlyItsOwnModels_data();
    void brandSelectsOnlyItsOwnModels();
    void buildFilterForOneModel_data();
    void buildFilterForOneModel();
    void buildFilterForAllModelsListsSharedPartsOnce();
    void codePiecesAreExact();
    void allBrandsSwitchesConditionOff();
    void applyToToggles();
    void applicabilityMenu_data();
    void applicabilityMenu();
    void applicabilityHiddenUntilLoaded();
    void choosingAnEntryFiltersByThatModel();
    void choosingABadEntryDoesNothing_data();
    void choosingABadEntryDoesNothing();
    void unloadingEndsModelSelection();
    void priceLoadAppliesActiveModelCondition();

private:
    void load();
    QList<int> priceCodes() const;

    QTemporaryDir *m_dir = nullptr;
    QString m_oldCurrent;
    Workspace *m_ws = nullptr;
    CarModels *m_models = nullptr;
    ScriptedPrompts m_prompts;
    SilentProgress m_progress;
    QStringList m_errors;
};

void TestCarModels::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    m_oldCurrent = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    Decimal::setSeparator(QLatin1Char('.'));
    m_prompts.clear();
    m_progress = SilentProgress();
    m_errors.clear();
    m_ws = new Workspace;
    setUpTestWorkspace(*m_ws, &m_prompts, &m_progress);
    m_ws->actions().setErrorReport([this](const QString &text) { m_errors.append(text); });
    m_models = CarModels::of(*m_ws);
    QVERIFY(m_models);
    writeFile(CarModels::modelsFileName(), ModelLines);
    writeFile(CarModels::assignmentsFileName(), AssignmentLines);
    writeFile(QStringLiteral("prices.txt"), PriceLines);
}

void TestCarModels::cleanup()
{
    delete m_ws;
    m_ws = nullptr;
    QDir::setCurrent(m_oldCurrent);
    delete m_dir;
    m_dir = nullptr;
}

void TestCarModels::load()
{
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
}

QList<int> TestCarModels::priceCodes() const
{
    const RecordTable &table = m_ws->price();
    const int code = table.fieldByName(QStringLiteral("CODE"));
    QList<int> codes;
    for (int r = 0; r < table.rowCount(); ++r)
        codes.append(int(table.integerAt(r, code)));
    std::sort(codes.begin(), codes.end());
    return codes;
}

void TestCarModels::loadsBothFiles()
{
    load();
    QVERIFY(m_ws->models().isActive());
    QVERIFY(m_ws->modelsAsg().isActive());
    QCOMPARE(modelRows(m_ws->models()),
             (QStringList{"1:AUDI:A4", "2:AUDI:A6", "3:BMW:X5", "4:ВАЗ:2107", "5:AUDI:Q7", "6:ZAZ:Таврия",
                          "7:O'Brand:Model O", "9:Kia:Rio", "10:ABCDEFGHIJKLMNOPQRST:Long brand"}));
    QCOMPARE(m_ws->models().indexName(), QStringLiteral("Brand"));

    RecordTable &asg = m_ws->modelsAsg();
    QStringList assignments;
    for (int r = 0; r < asg.rowCount(); ++r)
        assignments.append(asg.stringAt(r, 0) + '>' + asg.stringAt(r, 1));
    // A part code above 32767 is kept: part codes are as wide as the price
    // list's codes. Codes beyond 32 bits and model codes beyond 16 are not.
    QCOMPARE(assignments,
             (QStringList{"1>101", "1>205", "2>205", "2>310", "3>400", "5>40000", "99>500", "7>600", "9>600"}));
    QVERIFY(m_errors.isEmpty());
}

void TestCarModels::schemaFilesWrittenAndRemoved()
{
    load();
    QVERIFY(QFile::exists(CarModels::modelsSchemaFileName()));
    QVERIFY(QFile::exists(CarModels::assignmentsSchemaFileName()));
    const QList<FieldDef> models = SchemaFile::read(CarModels::modelsSchemaFileName());
    QCOMPARE(models.size(), 3);
    QCOMPARE(models.at(0).name, QStringLiteral("CODE"));
    QCOMPARE(models.at(0).type, FieldType::I2);
    QCOMPARE(models.at(1).name, QStringLiteral("Brand"));
    QCOMPARE(models.at(1).width, 20);
    QCOMPARE(models.at(2).name, QStringLiteral("Model"));
    QCOMPARE(models.at(2).width, 51);
    const QList<FieldDef> asg = SchemaFile::read(CarModels::assignmentsSchemaFileName());
    QCOMPARE(asg.size(), 2);
    QCOMPARE(asg.at(0).name, QStringLiteral("CODEMODEL"));
    QCOMPARE(asg.at(0).type, FieldType::I2);
    QCOMPARE(asg.at(1).name, QStringLiteral("CODESPAIR"));
    QCOMPARE(asg.at(1).type, FieldType::I4);
    QCOMPARE(m_ws->models().indexNames().size(), 3);
    QCOMPARE(m_ws->modelsAsg().indexNames().size(), 2);

    QVERIFY(m_ws->actions().execute(ActionId::Models_CloseSMAsg));
    QVERIFY(!QFile::exists(CarModels::modelsSchemaFileName()));
    QVERIFY(!QFile::exists(CarModels::assignmentsSchemaFileName()));
    QVERIFY(!m_ws->models().isActive());
    QVERIFY(!m_ws->modelsAsg().isActive());
}

void TestCarModels::headerLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("no header") << QStringList{"1|A|X", "2|B|Y"} << QStringList{"1:A:X", "2:B:Y"};
    QTest::newRow("three header lines") << QStringList{"Модели", "", "Код|Марка|Модель", "1|A|X"}
                                        << QStringList{"1:A:X"};
    QTest::newRow("leading blanks start the records") << QStringList{"  3|A|X"} << QStringList{"3:A:X"};
    QTest::newRow("trailing blank keeps a header line") << QStringList{"3 |A|X", "4|B|Y"} << QStringList{"4:B:Y"};
    QTest::newRow("-10101 is read as a header") << QStringList{"-10101|A|X", "5|B|Y"} << QStringList{"5:B:Y"};
    QTest::newRow("-10101 after the header is a record")
        << QStringList{"5|B|Y", "-10101|A|X"} << QStringList{"-10101:A:X", "5:B:Y"};
    QTest::newRow("non-numeric line after the first record")
        << QStringList{"Header", "1|A|X", "Footer line", "2|B|Y"} << QStringList{"1:A:X", "2:B:Y"};
    QTest::newRow("only headers") << QStringList{"a", "b"} << QStringList{};
    QTest::newRow("missing fields read as empty") << QStringList{"1", "2|B"} << QStringList{"1::", "2:B:"};
    QTest::newRow("long model name cut") << QStringList{"1|A|" + QString(60, QLatin1Char('m'))}
                                         << QStringList{"1:A:" + QString(51, QLatin1Char('m'))};
    QTest::newRow("16-bit range") << QStringList{"32767|A|X", "32768|B|Y", "-32768|C|Z", "-32769|D|W"}
                                  << QStringList{"-32768:C:Z", "32767:A:X"};
}

void TestCarModels::headerLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, rows);
    writeFile(CarModels::modelsFileName(), lines);
    writeFile(CarModels::assignmentsFileName(), {"Header", "Header 2", "5|101", "bad|1", "6|205"});
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QCOMPARE(modelRows(m_ws->models()), rows);
    QCOMPARE(m_ws->modelsAsg().rowCount(), 2);
}

void TestCarModels::progressAndStatus()
{
    QStringList models;
    for (int i = 1; i <= 21; ++i)
        models.append(QStringLiteral("%1|B|M%1").arg(i));
    QStringList assignments = {"CODEMODEL|CODESPAIR"};
    for (int i = 1; i <= 11; ++i)
        assignments.append(QStringLiteral("%1|%1").arg(i));
    writeFile(CarModels::modelsFileName(), models);
    writeFile(CarModels::assignmentsFileName(), assignments);
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QCOMPARE(m_progress.texts().last(), QStringLiteral("Loading data..."));
    QCOMPARE(m_progress.maximum(), 100);
    // The tenth assignment reaches 100, which already ends the display.
    QCOMPARE(m_progress.steps(), (QList<int>{5, 5, 27, 50, 51, 55, 55, 100}));
    QVERIFY(!m_progress.isVisible());

    // Ten assignments stop short of 100: the closing 101 ends the display.
    assignments.removeLast();
    writeFile(CarModels::assignmentsFileName(), assignments);
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QCOMPARE(m_progress.steps(), (QList<int>{5, 5, 27, 50, 51, 55, 55, 101}));
    QVERIFY(!m_progress.isVisible());
    QCOMPARE(m_ws->label(Workspace::Label::Status), QStringLiteral("Список моделей загружен"));
}

void TestCarModels::missingFiles_data()
{
    QTest::addColumn<bool>("models");
    QTest::addColumn<bool>("assignments");
    QTest::newRow("no model file") << false << true;
    QTest::newRow("no assignment file") << true << false;
    QTest::newRow("neither") << false << false;
}

void TestCarModels::missingFiles()
{
    QFETCH(bool, models);
    QFETCH(bool, assignments);
    load();
    QVERIFY(m_ws->models().isActive());
    if (!models)
        QVERIFY(QFile::remove(CarModels::modelsFileName()));
    if (!assignments)
        QVERIFY(QFile::remove(CarModels::assignmentsFileName()));
    QVERIFY(m_ws->actions().run(ActionId::Models_LoadSMAsg));
    QCOMPARE(m_errors, QStringList{QStringLiteral("Не существует файлов со списком моделей.")});
    // The earlier load was unloaded first.
    QVERIFY(!m_ws->models().isActive());
    QVERIFY(!m_ws->modelsAsg().isActive());
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Models));
    QVERIFY(!m_models->applicabilityVisible());
    QVERIFY(!QFile::exists(CarModels::modelsSchemaFileName()));
}

void TestCarModels::loadUnloadsFirst()
{
    load();
    m_models->brandListChange(1);
    writeFile(CarModels::modelsFileName(), {"1|NEW|N1"});
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QCOMPARE(modelRows(m_ws->models()), QStringList{"1:NEW:N1"});
    QCOMPARE(m_models->brands(), (QStringList{"< Все марки >", "NEW"}));
    QCOMPARE(m_models->brandIndex(), 0);
    QVERIFY(!m_ws->models().isFiltered());
}

void TestCarModels::brandListInOrder()
{
    load();
    QCOMPARE(m_models->brands(),
             (QStringList{"< Все марки >", "ABCDEFGHIJKLMNOPQRST", "AUDI", "BMW", "Kia", "O'Brand", "ZAZ", "ВАЗ"}));
    QCOMPARE(m_models->brandIndex(), 0);
    QVERIFY(!m_models->modelBoxEnabled());
    QVERIFY(m_models->modelBoxBound());
    QCOMPARE(m_models->modelKey(), QStringLiteral("-1"));
    QCOMPARE(m_models->modelBoxItems().first().text, QStringLiteral("< Все модели >"));
}

void TestCarModels::enablingRules()
{
    ActionList &actions = m_ws->actions();
    QVERIFY(actions.isEnabled(ActionId::Models_LoadSMAsg));
    for (const QLatin1StringView name : {ActionId::Models_CloseSMAsg, ActionId::Models_Apply_To, ActionId::Models_Panel,
                                         ActionId::Models_BuildFilter, ActionId::Models_BuildSumMenus})
        QVERIFY2(!actions.isEnabled(name), name.data());

    // Models without a price list: everything but the filter itself.
    QVERIFY(actions.execute(ActionId::Models_LoadSMAsg));
    for (const QLatin1StringView name : {ActionId::Models_CloseSMAsg, ActionId::Models_Apply_To, ActionId::Models_Panel,
                                         ActionId::Models_BuildSumMenus})
        QVERIFY2(actions.isEnabled(name), name.data());
    QVERIFY(!actions.isEnabled(ActionId::Models_BuildFilter));

    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    QVERIFY(actions.isEnabled(ActionId::Models_BuildFilter));
    // A filter that keeps no part still lets the user change it.
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("ВАЗ")));
    QVERIFY(actions.execute(ActionId::Models_BuildFilter));
    QCOMPARE(m_ws->price().rowCount(), 0);
    QVERIFY(actions.isEnabled(ActionId::Models_BuildFilter));

    // Assignments without rows: nothing to select by.
    writeFile(CarModels::assignmentsFileName(), {"CODEMODEL|CODESPAIR"});
    QVERIFY(actions.execute(ActionId::Models_LoadSMAsg));
    QVERIFY(actions.isEnabled(ActionId::Models_CloseSMAsg));
    QVERIFY(!actions.isEnabled(ActionId::Models_Apply_To));
    QVERIFY(!actions.isEnabled(ActionId::Models_Panel));
    QVERIFY(!actions.isEnabled(ActionId::Models_BuildFilter));
}

void TestCarModels::panelCaptions()
{
    ActionList &actions = m_ws->actions();
    int hidden = 0;
    m_models->setHideIncrementalSearch([&] { ++hidden; });
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Models));
    load();
    QVERIFY(m_ws->isPanelVisible(Workspace::Panel::Models));
    QCOMPARE(actions.get(ActionId::Models_Panel).caption, QStringLiteral("Скрыть окно моделей"));
    QCOMPARE(actions.get(ActionId::Models_Panel).hint, QStringLiteral("Скрыть окно моделей"));

    QVERIFY(actions.execute(ActionId::Models_Panel));
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Models));
    QCOMPARE(actions.get(ActionId::Models_Panel).caption, QStringLiteral("Показать окно моделей"));
    QCOMPARE(actions.get(ActionId::Models_Panel).hint, QStringLiteral("Показать окно моделей"));
    QCOMPARE(hidden, 1);

    QVERIFY(actions.execute(ActionId::Models_Panel));
    QVERIFY(m_ws->isPanelVisible(Workspace::Panel::Models));
    QCOMPARE(hidden, 2);

    QVERIFY(actions.execute(ActionId::Models_CloseSMAsg));
    QVERIFY(!m_ws->isPanelVisible(Workspace::Panel::Models));
    QCOMPARE(actions.get(ActionId::Models_Panel).caption, QStringLiteral("Показать окно моделей"));
}

void TestCarModels::pickingBrands()
{
    load();
    QSignalSpy boxChanged(m_models, &CarModels::modelBoxChanged);
    const int audi = m_models->brands().indexOf(QStringLiteral("AUDI"));
    m_models->brandListChange(audi);
    QCOMPARE(m_models->brandIndex(), audi);
    QVERIFY(m_models->modelBoxEnabled());
    QCOMPARE(m_ws->models().filter(), QStringLiteral("Brand='AUDI'"));
    QVERIFY(m_ws->models().isFiltered());
    QCOMPARE(m_ws->models().rowNumber(), 1);
    QStringList models;
    for (const CarModels::ModelItem &item : m_models->modelBoxItems())
        models.append(item.key + '=' + item.text);
    std::sort(models.begin() + 1, models.end());
    QCOMPARE(models, (QStringList{"-1=< Все модели >", "1=A4", "2=A6", "5=Q7"}));
    QCOMPARE(m_models->modelBoxDropDownCount(), 4);
    QVERIFY(boxChanged.count() >= 1);

    m_models->setModelKey(QStringLiteral("2"));
    QCOMPARE(m_models->modelKey(), QStringLiteral("2"));
    QCOMPARE(m_ws->models().asString(2), QStringLiteral("A6"));
    // A key that is no model of the brand shows "< Все модели >".
    m_models->setModelKey(QStringLiteral("3"));
    QCOMPARE(m_models->modelKey(), QStringLiteral("-1"));
    m_models->setModelKey(QStringLiteral("2"));

    m_models->brandListChange(0);
    QVERIFY(!m_models->modelBoxEnabled());
    QCOMPARE(m_models->modelKey(), QStringLiteral("-1"));
    // The brand filter stays as it was.
    QCOMPARE(m_ws->models().filter(), QStringLiteral("Brand='AUDI'"));
    QVERIFY(m_ws->models().isFiltered());
}

void TestCarModels::modelBoxVisibleEntries_data()
{
    QTest::addColumn<int>("models");
    QTest::addColumn<int>("entries");
    QTest::newRow("one model") << 1 << 2;
    QTest::newRow("12 models") << 12 << 13;
    QTest::newRow("13 models") << 13 << 16;
    QTest::newRow("20 models") << 20 << 16;
}

void TestCarModels::modelBoxVisibleEntries()
{
    QFETCH(int, models);
    QFETCH(int, entries);
    QStringList lines = {"1|OTHER|X"};
    for (int i = 0; i < models; ++i)
        lines.append(QStringLiteral("%1|BRAND|M%1").arg(100 + i));
    writeFile(CarModels::modelsFileName(), lines);
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BRAND")));
    QCOMPARE(m_models->modelBoxDropDownCount(), entries);
    QCOMPARE(m_models->modelBoxItems().size(), models + 1);
}

void TestCarModels::brandWithApostrophe()
{
    load();
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("O'Brand")));
    QCOMPARE(m_ws->models().filter(), QStringLiteral("Brand='O''Brand'"));
    QVERIFY(m_ws->models().isFiltered());
    QCOMPARE(m_ws->models().rowCount(), 1);
    QVERIFY(m_ws->actions().execute(ActionId::Models_BuildFilter));
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=600 "));
    QCOMPARE(priceCodes(), QList<int>{600});
    QVERIFY(m_errors.isEmpty());
}

void TestCarModels::brandSelectsOnlyItsOwnModels_data()
{
    QTest::addColumn<QString>("brand");
    QTest::newRow("plain") << "AB";
    QTest::newRow("ending in *") << "AB*";
    QTest::newRow("ending in * with %") << "A%B*";
    QTest::newRow("%, * and an apostrophe") << "A%'B*";
    QTest::newRow("only %*") << "%*";
}

void TestCarModels::brandSelectsOnlyItsOwnModels()
{
    QFETCH(QString, brand);
    const QStringList brands{"AB",     "AB*",   "ABC",    "A%B*", "A%BC", "A%BXB*",
                             "A%B* 2", "A%'B*", "A%'B*C", "%*",   "%*X",  "X%*"};
    QStringList lines{"Код|Марка|Модель"};
    for (int i = 0; i < brands.size(); ++i)
        lines << QStringLiteral("%1|%2|M%1").arg(i + 1).arg(brands.at(i));
    writeFile(CarModels::modelsFileName(), lines);
    load();
    m_models->brandListChange(m_models->brands().indexOf(brand));
    QStringList selected;
    for (int r = 0; r < m_ws->models().rowCount(); ++r)
        selected << m_ws->models().stringAt(r, 1);
    QCOMPARE(selected, QStringList{brand});
}

void TestCarModels::buildFilterForOneModel_data()
{
    QTest::addColumn<QString>("brand");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("condition");
    QTest::addColumn<QList<int>>("codes");
    QTest::newRow("two parts") << "AUDI"
                               << "2"
                               << "Code=205 or Code=310 " << QList<int>{205, 310};
    QTest::newRow("part code above 32767") << "AUDI"
                                           << "5"
                                           << "Code=40000 " << QList<int>{40000};
    QTest::newRow("model without parts keeps none") << "ВАЗ"
                                                    << "4"
                                                    << "Code=-1" << QList<int>{};
    QTest::newRow("brand without parts keeps none") << "ZAZ"
                                                    << "-1"
                                                    << "Code=-1" << QList<int>{};
}

void TestCarModels::buildFilterForOneModel()
{
    QFETCH(QString, brand);
    QFETCH(QString, model);
    QFETCH(QString, condition);
    QFETCH(QList<int>, codes);
    load();
    m_models->brandListChange(m_models->brands().indexOf(brand));
    m_models->setModelKey(model);
    QCOMPARE(m_models->modelKey(), model);
    QVERIFY(m_ws->actions().execute(ActionId::Models_BuildFilter));
    QCOMPARE(m_ws->filter().modelCondition, condition);
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(m_ws->price().filter(), condition);
    QCOMPARE(priceCodes(), codes);
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatusHint), QStringLiteral("Применены фильтры: по моделям"));
    QVERIFY(!m_ws->modelsAsg().isLinked());
}

void TestCarModels::buildFilterForAllModelsListsSharedPartsOnce()
{
    load();
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("AUDI")));
    QVERIFY(m_ws->actions().execute(ActionId::Models_BuildFilter));
    const QString condition = m_ws->filter().modelCondition;
    QVERIFY(condition.endsWith(QLatin1Char(' ')));
    QCOMPARE(pieces(condition), (QStringList{"Code=101 ", "Code=205 ", "Code=310 ", "Code=40000 "}));
    QCOMPARE(priceCodes(), (QList<int>{101, 205, 310, 40000}));
    QCOMPARE(m_ws->models().rowNumber(), 1);
    QVERIFY(!m_ws->modelsAsg().isLinked());
}

void TestCarModels::codePiecesAreExact()
{
    writeFile(CarModels::modelsFileName(), {"1|B|One", "2|B|Two", "3|B|Three"});
    writeFile(CarModels::assignmentsFileName(), {"1|11", "2|1", "3|11", "3|111"});
    load();
    m_models->brandListChange(1);
    QVERIFY(m_ws->actions().execute(ActionId::Models_BuildFilter));
    QCOMPARE(pieces(m_ws->filter().modelCondition), (QStringList{"Code=1 ", "Code=11 ", "Code=111 "}));
}

void TestCarModels::allBrandsSwitchesConditionOff()
{
    load();
    ActionList &actions = m_ws->actions();
    // Inactive before: switched on and at once off again.
    QVERIFY(actions.execute(ActionId::Models_BuildFilter));
    QVERIFY(!m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QString());
    QVERIFY(!m_ws->price().isFiltered());

    // Active before: switched off.
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BMW")));
    QVERIFY(actions.execute(ActionId::Models_BuildFilter));
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(priceCodes(), QList<int>{400});
    m_models->brandListChange(0);
    QVERIFY(actions.execute(ActionId::Models_BuildFilter));
    QVERIFY(!m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QString());
    QCOMPARE(priceCodes().size(), 8);
    QCOMPARE(actions.get(ActionId::Models_Apply_To).caption, QStringLiteral("Отбор по моделям"));
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatusHint), QStringLiteral("Фильтры не применены"));
}

void TestCarModels::applyToToggles()
{
    load();
    ActionList &actions = m_ws->actions();
    QSignalSpy images(m_models, &CarModels::applyToImageChanged);
    QCOMPARE(actions.get(ActionId::Models_Apply_To).caption, QStringLiteral("Отбор по автомобилям"));
    QCOMPARE(m_models->applyToImage(), 30);

    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("AUDI")));
    m_models->setModelKey(QStringLiteral("1"));
    QVERIFY(actions.execute(ActionId::Models_Apply_To));
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=101 or Code=205 "));
    QCOMPARE(priceCodes(), (QList<int>{101, 205}));
    QCOMPARE(actions.get(ActionId::Models_Apply_To).caption, QStringLiteral("Отменить отбор"));
    QCOMPARE(actions.get(ActionId::Models_Apply_To).hint,
             QStringLiteral("Отменить отбор по моделям|Отменить отбор запчастей"));
    QCOMPARE(m_models->applyToImage(), 31);
    QCOMPARE(images.count(), 1);

    QVERIFY(actions.execute(ActionId::Models_Apply_To));
    QVERIFY(!m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QString());
    QVERIFY(!m_ws->price().isFiltered());
    QCOMPARE(actions.get(ActionId::Models_Apply_To).caption, QStringLiteral("Отбор по моделям"));
    QCOMPARE(actions.get(ActionId::Models_Apply_To).hint,
             QStringLiteral("Отбор по моделям|Использовать отбор запчастей по заданной модели автомобиля"));
    QCOMPARE(m_models->applyToImage(), 30);
    QCOMPARE(images.count(), 2);

    // A price-list condition that the table refuses switches the model
    // condition off; the command then offers to switch it on again.
    QVERIFY(actions.execute(ActionId::Models_Apply_To));
    QCOMPARE(m_models->applyToImage(), 31);
    editFilter(*m_ws, [&](Workspace::FilterState &f) { f.priceCondition = QStringLiteral("NoSuchField=1"); });
    QVERIFY(actions.execute(ActionId::FilterPrice));
    QVERIFY(!m_ws->filter().modelActive);
    QCOMPARE(actions.get(ActionId::Models_Apply_To).caption, QStringLiteral("Отбор по моделям"));
    QCOMPARE(m_models->applyToImage(), 30);
}

void TestCarModels::applicabilityMenu_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("part of two models") << 205 << QStringList{"gml_1=AUDI A4", "gml_2=AUDI A6"};
    QTest::newRow("part of two brands") << 600 << QStringList{"gml_7=O'Brand Model O", "gml_9=Kia Rio"};
    QTest::newRow("part code above 32767") << 40000 << QStringList{"gml_5=AUDI Q7"};
    QTest::newRow("model missing from the model list") << 500 << QStringList{};
    QTest::newRow("part of one model") << 310 << QStringList{"gml_2=AUDI A6"};
    QTest::newRow("part of no model") << 700 << QStringList{};
}

void TestCarModels::applicabilityMenu()
{
    QFETCH(int, part);
    QFETCH(QStringList, entries);
    load();
    // The brand box's filter does not narrow the menu.
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BMW")));
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), part));
    m_models->popupMenuPopup();
    QStringList shown;
    for (const CarModels::MenuEntry &entry : m_models->subMenuEntries())
        shown.append(entry.name + '=' + entry.caption);
    QCOMPARE(shown, entries);
    QVERIFY(m_models->applicabilityVisible());
    QCOMPARE(m_models->applicabilityEnabled(), !entries.isEmpty());
    QCOMPARE(m_models->noneEntryVisible(), entries.isEmpty());
    QVERIFY(!m_ws->modelsAsg().isLinked());
    QCOMPARE(m_ws->models().filter(), QStringLiteral("Brand='BMW'"));
    QVERIFY(m_errors.isEmpty());

    // The next opening replaces the entries.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 101));
    m_models->popupMenuPopup();
    QCOMPARE(m_models->subMenuEntries().size(), 1);
    QCOMPARE(m_models->subMenuEntries().first().name, QStringLiteral("gml_1"));
}

void TestCarModels::applicabilityHiddenUntilLoaded()
{
    PriceLoader::loadFile(*m_ws, QStringLiteral("prices.txt"));
    m_models->popupMenuPopup();
    QVERIFY(!m_models->applicabilityVisible());
    QVERIFY(m_models->subMenuEntries().isEmpty());
    QVERIFY(m_models->noneEntryVisible());
    QVERIFY(!m_models->applicabilityEnabled());
    QVERIFY(m_ws->actions().execute(ActionId::Models_LoadSMAsg));
    QVERIFY(m_models->applicabilityVisible());
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 205));
    m_models->popupMenuPopup();
    QCOMPARE(m_models->subMenuEntries().size(), 2);
    QVERIFY(m_ws->actions().execute(ActionId::Models_CloseSMAsg));
    QVERIFY(!m_models->applicabilityVisible());
    QVERIFY(m_models->subMenuEntries().isEmpty());
}

void TestCarModels::choosingAnEntryFiltersByThatModel()
{
    load();
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BMW")));
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 310));
    m_models->popupMenuPopup();
    QCOMPARE(m_models->subMenuEntries().size(), 1);
    m_models->selectModelEntry(m_models->subMenuEntries().first().name);
    QCOMPARE(m_models->brandIndex(), m_models->brands().indexOf(QStringLiteral("AUDI")));
    QVERIFY(m_models->modelBoxEnabled());
    QCOMPARE(m_models->modelKey(), QStringLiteral("2"));
    QCOMPARE(m_ws->models().filter(), QStringLiteral("Brand='AUDI'"));
    QVERIFY(m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QStringLiteral("Code=205 or Code=310 "));
    QCOMPARE(priceCodes(), (QList<int>{205, 310}));
    // The part the menu was opened on stays current.
    QCOMPARE(m_ws->price().asString(1), QStringLiteral("310"));
    QCOMPARE(m_ws->actions().get(ActionId::Models_Apply_To).caption, QStringLiteral("Отменить отбор"));

    // Another entry while the condition is active: applied at once.
    QVERIFY(m_ws->price().locate(QStringLiteral("Code"), 205));
    m_models->popupMenuPopup();
    m_models->selectModelEntry(QStringLiteral("gml_1"));
    QCOMPARE(m_models->modelKey(), QStringLiteral("1"));
    QCOMPARE(priceCodes(), (QList<int>{101, 205}));
}

void TestCarModels::choosingABadEntryDoesNothing_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("no number") << "gml_x";
    QTest::newRow("zero") << "gml_0";
    QTest::newRow("no underscore") << "gml5";
    QTest::newRow("unknown model") << "gml_77";
}

void TestCarModels::choosingABadEntryDoesNothing()
{
    QFETCH(QString, name);
    load();
    m_models->selectModelEntry(name);
    QCOMPARE(m_models->brandIndex(), 0);
    QVERIFY(!m_ws->filter().modelActive);
    QVERIFY(!m_ws->price().isFiltered());
}

void TestCarModels::unloadingEndsModelSelection()
{
    load();
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BMW")));
    QVERIFY(m_ws->actions().execute(ActionId::Models_Apply_To));
    QCOMPARE(priceCodes(), QList<int>{400});
    QVERIFY(m_ws->actions().execute(ActionId::Models_CloseSMAsg));
    QVERIFY(!m_ws->filter().modelActive);
    QCOMPARE(m_ws->filter().modelCondition, QString());
    QVERIFY(!m_ws->price().isFiltered());
    QCOMPARE(m_ws->actions().get(ActionId::Models_Apply_To).caption, QStringLiteral("Отбор по моделям"));
    QCOMPARE(m_ws->label(Workspace::Label::FilterStatusHint), QStringLiteral("Фильтры не применены"));
    QVERIFY(m_models->brands().isEmpty());
    QVERIFY(!m_models->modelBoxBound());
}

void TestCarModels::priceLoadAppliesActiveModelCondition()
{
    load();
    m_models->brandListChange(m_models->brands().indexOf(QStringLiteral("BMW")));
    QVERIFY(m_ws->actions().execute(ActionId::Models_Apply_To));
    QCOMPARE(priceCodes(), QList<int>{400});
    PriceLoader::loadPriceList(*m_ws, QStringLiteral("prices.txt"), QString());
    QVERIFY(m_ws->price().isFiltered());
    QCOMPARE(priceCodes(), QList<int>{400});
    QVERIFY(m_ws->filter().modelActive);
}

QTEST_GUILESS_MAIN(TestCarModels)
#include "tst_carmodels.moc"
