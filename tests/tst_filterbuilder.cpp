#include <QtTest>

#include "filterbuilder.h"
#include "gridlayout.h"
#include "priceloader.h"
#include "recordtable.h"

namespace
{
    using State = FilterDialogState;

    // The price grid as the loader builds it.
    GridLayout priceGrid()
    {
        GridLayout grid;
        const QList<QPair<QString, QString>> columns = {
            {"NPP", "№"},
            {"AvailabilityFlag", "..."},
            {"CODE", "Код"},
            {"Name", "Наименование / артикул производителя"},
            {"CatalogID", "OEM номер"},
            {"ProductionOf", "Производство"},
            {"Pack", "Упаковка"},
            {"Price", "Цена"},
            {"Group", "Группа"},
            {"Analogue", "Аналоги"},
        };
        for (int i = 0; i < columns.size(); ++i) {
            GridColumn column;
            column.fieldName = columns.at(i).first;
            column.title = columns.at(i).second;
            column.fieldPosition = i - 1;
            column.visible = column.fieldName != QLatin1String("Analogue");
            grid.columns.append(column);
        }
        return grid;
    }

    // Field list indexes of the prepared builder.
    enum
    {
        ICode = 0,
        IName,
        ICatalog,
        IProducer,
        IPack,
        IPrice,
        IGroup
    };
}

class TestFilterBuilder : public QObject
{
    Q_OBJECT

private slots:
    void fieldCondition_data();
    void fieldCondition();
    void availability_data();
    void availability();
    void simpleText_data();
    void simpleText();
    void compound_data();
    void compound();
    void compoundNeedsFirstFieldSelection();
    void dialogTextUsesParameters_data();
    void dialogTextUsesParameters();
    void fieldListsFromGrid();
    void fieldListsWithoutSelection_data();
    void fieldListsWithoutSelection();
    void fieldListsAreFilledOnce();
    void modeSwitchCopiesFirstRow();
    void allGoodsChecksStates();
    void extractValueIsPlainText();

private:
    FilterBuilder preparedBuilder(int selectedColumn = 3);
};

FilterBuilder TestFilterBuilder::preparedBuilder(int selectedColumn)
{
    FilterBuilder builder;
    RecordTable inactive;
    builder.prepareFields(priceGrid(), inactive, selectedColumn);
    return builder;
}

void TestFilterBuilder::fieldCondition_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("numeric");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("one word") << "болт"
                              << " " << 0 << false << "Name"
                              << "((Name LIKE '%болт%') or (Name='болт*'))";
    QTest::newRow("all words") << "болт м8"
                               << " " << 0 << false << "Name"
                               << "((Name LIKE '%болт%') or (Name='болт*')) and ((Name LIKE '%м8%') or (Name='м8*'))";
    QTest::newRow("any word, final one-character word")
        << "болт 8"
        << " " << 1 << false << "Name"
        << "((Name LIKE '%болт%') or (Name='болт*')) or ((Name LIKE '%8%') or (Name='8*'))";
    QTest::newRow("exact phrase") << "болт м8"
                                  << " " << 2 << false << "Name"
                                  << "(Name LIKE '%болт м8%') or (Name='болт м8*')";
    QTest::newRow("exact phrase keeps blanks") << " a "
                                               << " " << 2 << false << "Name"
                                               << "(Name LIKE '% a %') or (Name=' a *')";
    QTest::newRow("exact phrase of nothing keeps every row") << ""
                                                             << " " << 2 << false << "Name"
                                                             << "(Name LIKE '%%') or (Name='*')";
    QTest::newRow("all words of nothing") << ""
                                          << " " << 0 << false << "Name"
                                          << "";
    QTest::newRow("any word of nothing") << ""
                                         << " " << 1 << false << "Name"
                                         << "";
    QTest::newRow("separators only") << "  "
                                     << " " << 0 << false << "Name"
                                     << "";
    QTest::newRow("repeated separators are skipped")
        << "a,,b,"
        << "," << 1 << false << "Group"
        << "((Group LIKE '%a%') or (Group='a*')) or ((Group LIKE '%b%') or (Group='b*'))";
    QTest::newRow("cyrillic never cuts a word") << "болт м8"
                                                << ";" << 0 << false << "Name"
                                                << "((Name LIKE '%болт м8%') or (Name='болт м8*'))";
    QTest::newRow("apostrophe doubled") << "O'Reilly"
                                        << " " << 0 << false << "Name"
                                        << "((Name LIKE '%O''Reilly%') or (Name='O''Reilly*'))";
    QTest::newRow("apostrophe in exact phrase") << "5'"
                                                << " " << 2 << false << "Name"
                                                << "(Name LIKE '%5''%') or (Name='5''*')";
    QTest::newRow("percent and star keep their meaning") << "5%*"
                                                         << " " << 0 << false << "Name"
                                                         << "((Name LIKE '%5%*%') or (Name='5%**'))";
    QTest::newRow("number exact") << "12345"
                                  << " " << 2 << true << "CODE"
                                  << "CODE=12345";
    QTest::newRow("number exact, not a number") << "abc"
                                                << " " << 2 << true << "CODE"
                                                << "CODE=0";
    QTest::newRow("numbers any word") << "12 34"
                                      << " " << 1 << true << "CODE"
                                      << "(CODE=12) or (CODE=34)";
    QTest::newRow("number and word with semicolon") << "12;x"
                                                    << ";" << 1 << true << "CODE"
                                                    << "(CODE=12) or (CODE=0)";
    QTest::newRow("number with leading blank") << "1, 2,3 "
                                               << "," << 1 << true << "Code"
                                               << "(Code=1) or (Code=2) or (Code=0)";
    QTest::newRow("number out of range") << "99999999999"
                                         << " " << 0 << true << "CODE"
                                         << "(CODE=0)";
    QTest::newRow("negative number") << "-7"
                                     << " " << 0 << true << "CODE"
                                     << "(CODE=-7)";
}

void TestFilterBuilder::fieldCondition()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(int, mode);
    QFETCH(bool, numeric);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QCOMPARE(FilterBuilder::buildFieldCondition(text, separator.at(0), mode, numeric, field), expected);
}

void TestFilterBuilder::availability_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<bool>("notInStock");
    QTest::addColumn<bool>("inStock");
    QTest::addColumn<bool>("expected_");
    QTest::addColumn<bool>("onlyNew");
    QTest::addColumn<QString>("condition");

    QTest::newRow("all goods") << true << true << true << true << false << "";
    QTest::newRow("all goods wins over only new") << true << false << false << false << true << "";
    QTest::newRow("nothing checked") << false << false << false << false << false << "AvailabilityFlag=-1";
    QTest::newRow("only new alone keeps nothing") << false << false << false << false << true << "AvailabilityFlag=-1";
    QTest::newRow("three states keep everything") << false << true << true << true << false << "";
    QTest::newRow("in stock")
        << false << false << true << false << false
        << "(AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7)";
    QTest::newRow("in stock, only new") << false << false << true << false << true
                                        << "(AvailabilityFlag=2) or (AvailabilityFlag=7)";
    QTest::newRow("not in stock and expected")
        << false << true << false << true << false
        << "(AvailabilityFlag=0) or (AvailabilityFlag=5) or (AvailabilityFlag=3) or (AvailabilityFlag=8) or "
           "(AvailabilityFlag=4) or (AvailabilityFlag=9)";
    QTest::newRow("all three, only new")
        << false << true << true << true << true
        << "(AvailabilityFlag=2) or (AvailabilityFlag=7) or (AvailabilityFlag=4) or (AvailabilityFlag=9)";
    QTest::newRow("not in stock, only new") << false << true << false << false << true << "AvailabilityFlag=-1";
}

void TestFilterBuilder::availability()
{
    QFETCH(bool, all);
    QFETCH(bool, notInStock);
    QFETCH(bool, inStock);
    QFETCH(bool, expected_);
    QFETCH(bool, onlyNew);
    QFETCH(QString, condition);
    FilterBuilder builder;
    State &state = builder.state();
    state.availAll = all;
    state.availNot = notInStock;
    state.availYes = inStock;
    state.availDeliv = expected_;
    state.availNew = onlyNew;
    QCOMPARE(builder.buildAvailabilityCondition(), condition);
}

void TestFilterBuilder::simpleText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("inStockOnly");
    QTest::addColumn<bool>("includeAvailability");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("score");

    QTest::newRow("words, all goods")
        << "болт м8" << 0 << false << true
        << "((Name LIKE '%болт%') or (Name='болт*')) and ((Name LIKE '%м8%') or (Name='м8*'))" << 12;
    QTest::newRow("words and availability")
        << "болт" << 0 << true << true
        << "(((Name LIKE '%болт%') or (Name='болт*'))) and ((AvailabilityFlag=1) or (AvailabilityFlag=6) or "
           "(AvailabilityFlag=2) or (AvailabilityFlag=7))"
        << 13;
    QTest::newRow("availability alone")
        << "" << 1 << true << true
        << "(AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7)" << 1;
    QTest::newRow("availability left out")
        << "болт" << 0 << true << false << "((Name LIKE '%болт%') or (Name='болт*'))" << 12;
    QTest::newRow("nothing at all") << "" << 0 << false << true << "" << 0;
    QTest::newRow("empty exact phrase still counts")
        << "" << 2 << false << true << "(Name LIKE '%%') or (Name='*')" << 12;
}

void TestFilterBuilder::simpleText()
{
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(bool, inStockOnly);
    QFETCH(bool, includeAvailability);
    QFETCH(QString, expected);
    QFETCH(int, score);
    FilterBuilder builder;
    if (inStockOnly) {
        builder.state().setAvailAll(false);
        builder.state().availNot = false;
        builder.state().availDeliv = false;
    }
    QCOMPARE(builder.buildFilterText(text, QLatin1Char(' '), mode, includeAvailability, false, QStringLiteral("Name")),
             expected);
    QCOMPARE(builder.conditionScore(), score);
}

void TestFilterBuilder::compound_data()
{
    QTest::addColumn<QStringList>("texts");      // rows 1..5
    QTest::addColumn<QList<int>>("connectives"); // rows 2..5
    QTest::addColumn<QList<int>>("fields");      // rows 1..5
    QTest::addColumn<bool>("inStockOnly");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("score");

    const QList<int> nameAndGroup = {IName, IGroup, IName, IName, IName};
    QTest::newRow("and not") << QStringList{"a", "b", "", "", ""} << QList<int>{State::AndNot, 0, 0, 0} << nameAndGroup
                             << false
                             << "(((Name LIKE '%a%') or (Name='a*'))) AND (NOT (((Group LIKE '%b%') or (Group='b*'))))"
                             << 20;
    QTest::newRow("first row empty, or not drops its connective")
        << QStringList{"", "b", "", "", ""} << QList<int>{State::OrNot, 0, 0, 0} << nameAndGroup << false
        << "NOT (((Group LIKE '%b%') or (Group='b*')))" << 10;
    QTest::newRow("first row empty, and drops its connective")
        << QStringList{"", "b", "", "", ""} << QList<int>{State::And, 0, 0, 0} << nameAndGroup << false
        << "(((Group LIKE '%b%') or (Group='b*')))" << 10;
    QTest::newRow("and, or: left to right text")
        << QStringList{"a", "b", "c", "", ""} << QList<int>{State::And, State::Or, 0, 0} << nameAndGroup << false
        << "(((Name LIKE '%a%') or (Name='a*'))) AND (((Group LIKE '%b%') or (Group='b*'))) OR "
           "(((Name LIKE '%c%') or (Name='c*')))"
        << 30;
    QTest::newRow("or not after a condition")
        << QStringList{"a", "b", "", "", ""} << QList<int>{State::OrNot, 0, 0, 0} << nameAndGroup << false
        << "(((Name LIKE '%a%') or (Name='a*'))) OR (NOT (((Group LIKE '%b%') or (Group='b*'))))" << 20;
    QTest::newRow("inactive rows are left out")
        << QStringList{"a", "b", "c", "d", "e"} << QList<int>{State::None, State::None, State::None, State::None}
        << nameAndGroup << false << "(((Name LIKE '%a%') or (Name='a*')))" << 10;
    QTest::newRow("active row without words is left out")
        << QStringList{"a", "", "c", "", ""} << QList<int>{State::And, State::And, 0, 0} << nameAndGroup << false
        << "(((Name LIKE '%a%') or (Name='a*'))) AND (((Name LIKE '%c%') or (Name='c*')))" << 20;
    QTest::newRow("active row without field selection is left out")
        << QStringList{"a", "b", "", "", ""} << QList<int>{State::And, 0, 0, 0}
        << QList<int>{IName, -1, IName, IName, IName} << false << "(((Name LIKE '%a%') or (Name='a*')))" << 10;
    QTest::newRow("numeric row") << QStringList{"a", "12", "", "", ""} << QList<int>{State::And, 0, 0, 0}
                                 << QList<int>{IName, ICode, IName, IName, IName} << false
                                 << "(((Name LIKE '%a%') or (Name='a*'))) AND ((CODE=12))" << 20;
    QTest::newRow("all five rows")
        << QStringList{"a", "b", "c", "d", "e"} << QList<int>{State::And, State::Or, State::AndNot, State::OrNot}
        << QList<int>{IName, IGroup, ICatalog, IProducer, IPack} << false
        << "(((Name LIKE '%a%') or (Name='a*'))) AND (((Group LIKE '%b%') or (Group='b*'))) OR "
           "(((CatalogID LIKE '%c%') or (CatalogID='c*'))) AND (NOT (((ProductionOf LIKE '%d%') or "
           "(ProductionOf='d*')))) OR (NOT (((Pack LIKE '%e%') or (Pack='e*'))))"
        << 50;
    QTest::newRow("with availability")
        << QStringList{"a", "b", "", "", ""} << QList<int>{State::And, 0, 0, 0} << nameAndGroup << true
        << "((((Name LIKE '%a%') or (Name='a*'))) AND (((Group LIKE '%b%') or (Group='b*')))) and "
           "((AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7))"
        << 21;
    QTest::newRow("nothing but availability")
        << QStringList{"", "", "", "", ""} << QList<int>{State::And, 0, 0, 0} << nameAndGroup << true
        << "(AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7)" << 1;
}

void TestFilterBuilder::compound()
{
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, connectives);
    QFETCH(QList<int>, fields);
    QFETCH(bool, inStockOnly);
    QFETCH(QString, expected);
    QFETCH(int, score);

    FilterBuilder builder = preparedBuilder();
    State &state = builder.state();
    state.setSimple(false);
    for (int r = 0; r < State::RowCount; ++r) {
        state.rows[r].text = texts.at(r);
        state.rows[r].fieldIndex = fields.at(r);
        if (r > 0)
            state.rows[r].connective = connectives.at(r - 1);
    }
    if (inStockOnly) {
        state.setAvailAll(false);
        state.availNot = false;
        state.availDeliv = false;
    }
    QCOMPARE(builder.dialogFilterText(), expected);
    QCOMPARE(builder.conditionScore(), score);
}

void TestFilterBuilder::compoundNeedsFirstFieldSelection()
{
    FilterBuilder builder = preparedBuilder();
    State &state = builder.state();
    QCOMPARE(builder.buildFilterText(QStringLiteral("x"), QLatin1Char(' '), 0, true, false, QStringLiteral("Name")),
             QStringLiteral("((Name LIKE '%x%') or (Name='x*'))"));
    state.setSimple(false);
    state.rows[0].fieldIndex = -1;
    state.rows[1] = {State::And, IGroup, QStringLiteral("b")};
    QCOMPARE(builder.dialogFilterText(), QString());
    // Nothing was built: the score of the last build stands.
    QCOMPARE(builder.conditionScore(), 12);

    state.setSimple(true);
    state.fieldIndex = -1;
    state.filterString = QStringLiteral("болт");
    QCOMPARE(builder.dialogFilterText(), QString());
}

void TestFilterBuilder::dialogTextUsesParameters_data()
{
    QTest::addColumn<int>("fieldIndex");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("separator");
    QTest::addColumn<QString>("expected");

    QTest::newRow("any word, comma")
        << int(IGroup) << "a b,c" << 1 << 2
        << "((Group LIKE '%a b%') or (Group='a b*')) or ((Group LIKE '%c%') or (Group='c*'))";
    QTest::newRow("all words, semicolon") << int(IProducer) << "x;y" << 0 << 1
                                          << "((ProductionOf LIKE '%x%') or (ProductionOf='x*')) and "
                                             "((ProductionOf LIKE '%y%') or (ProductionOf='y*'))";
    QTest::newRow("exact phrase on price") << int(IPrice) << "12" << 2 << 0 << "Price=12";
    QTest::newRow("code any word") << int(ICode) << "5 9" << 1 << 0 << "(CODE=5) or (CODE=9)";
}

void TestFilterBuilder::dialogTextUsesParameters()
{
    QFETCH(int, fieldIndex);
    QFETCH(QString, text);
    QFETCH(int, mode);
    QFETCH(int, separator);
    QFETCH(QString, expected);
    FilterBuilder builder = preparedBuilder();
    State &state = builder.state();
    state.fieldIndex = fieldIndex;
    state.filterString = text;
    state.wordMode = mode;
    state.separatorIndex = separator;
    QCOMPARE(builder.dialogFilterText(), expected);
    QCOMPARE(builder.conditionScore(), 12);
}

void TestFilterBuilder::fieldListsFromGrid()
{
    RecordTable price;
    price.open(PriceLoader::priceFields());
    FilterBuilder builder;
    builder.prepareFields(priceGrid(), price, 4);
    const State &state = builder.state();
    QStringList titles;
    QStringList names;
    QList<bool> numeric;
    for (const State::FieldItem &item : state.fields) {
        titles.append(item.title);
        names.append(item.fieldName);
        numeric.append(item.numeric);
    }
    QCOMPARE(titles,
             (QStringList{"Код", "Наименование / артикул производителя", "OEM номер", "Производство", "Упаковка",
                          "Цена", "Группа"}));
    QCOMPARE(names, (QStringList{"CODE", "Name", "CatalogID", "ProductionOf", "Pack", "Price", "Group"}));
    QCOMPARE(numeric, (QList<bool>{true, false, false, false, false, true, false}));
    QCOMPARE(state.fieldIndex, 2);
    for (int r = 0; r < State::RowCount; ++r) {
        QCOMPARE(state.rows[r].fieldIndex, 2);
        QCOMPARE(state.rowMark(r), r == 0 ? 11111 : 10101);
    }
}

void TestFilterBuilder::fieldListsWithoutSelection_data()
{
    QTest::addColumn<int>("selectedColumn");
    QTest::addColumn<int>("fieldIndex");
    QTest::newRow("row number column") << 0 << -1;
    QTest::newRow("availability column") << 1 << -1;
    QTest::newRow("no column") << -1 << -1;
    QTest::newRow("code column") << 2 << 0;
    QTest::newRow("group column") << 8 << 6;
    QTest::newRow("hidden analogue column") << 9 << -1;
}

void TestFilterBuilder::fieldListsWithoutSelection()
{
    QFETCH(int, selectedColumn);
    QFETCH(int, fieldIndex);
    FilterBuilder builder = preparedBuilder(selectedColumn);
    QCOMPARE(builder.state().fieldIndex, fieldIndex);
    QCOMPARE(builder.state().rows[3].fieldIndex, fieldIndex);
}

void TestFilterBuilder::fieldListsAreFilledOnce()
{
    FilterBuilder builder = preparedBuilder(3);
    builder.state().fieldIndex = IGroup;
    RecordTable inactive;
    GridLayout other = priceGrid();
    other.columns[3].title = QStringLiteral("changed");
    builder.prepareFields(other, inactive, 2);
    QCOMPARE(builder.state().fields.at(IName).title, QStringLiteral("Наименование / артикул производителя"));
    QCOMPARE(builder.state().fieldIndex, int(IGroup));
}

void TestFilterBuilder::modeSwitchCopiesFirstRow()
{
    FilterBuilder builder = preparedBuilder();
    State &state = builder.state();
    state.filterString = QStringLiteral("болт");
    state.fieldIndex = IGroup;
    state.setSimple(false);
    QCOMPARE(state.rows[0].text, QStringLiteral("болт"));
    QCOMPARE(state.rows[0].fieldIndex, int(IGroup));
    state.rows[0].text = QStringLiteral("гайка");
    state.rows[0].fieldIndex = ICatalog;
    state.setSimple(true);
    QCOMPARE(state.filterString, QStringLiteral("гайка"));
    QCOMPARE(state.fieldIndex, int(ICatalog));
}

void TestFilterBuilder::allGoodsChecksStates()
{
    State state;
    state.setAvailAll(false);
    state.availNot = false;
    state.availYes = false;
    state.availNew = true;
    state.setAvailAll(true);
    QVERIFY(state.availNot && state.availYes && state.availDeliv);
    QVERIFY(!state.availNew);
    state.setAvailAll(false);
    QVERIFY(state.availNot && state.availYes && state.availDeliv);
}

void TestFilterBuilder::extractValueIsPlainText()
{
    RecordTable price;
    price.open(PriceLoader::priceFields());
    price.setDisplayFormat(1, QStringLiteral("00000"));
    price.appendRow(QStringList{"1", "42", "Болт М8", "OEM-1", "DE", "10", "1234.5", "Крепёж"});
    FilterBuilder builder;
    builder.prepareFields(priceGrid(), price, 3);
    QString value;
    QVERIFY(builder.extractValue(price, ICode, &value));
    QCOMPARE(value, QStringLiteral("42"));
    QVERIFY(builder.extractValue(price, IName, &value));
    QCOMPARE(value, QStringLiteral("Болт М8"));
    QVERIFY(builder.extractValue(price, IPrice, &value));
    QCOMPARE(value, QStringLiteral("1234.5"));
    QVERIFY(!builder.extractValue(price, -1, &value));
    price.setFilter(QStringLiteral("AvailabilityFlag=-1"));
    price.setFiltered(true);
    QVERIFY(!builder.extractValue(price, IName, &value));
}

QTEST_GUILESS_MAIN(TestFilterBuilder)
#include "tst_filterbuilder.moc"
