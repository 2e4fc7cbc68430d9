// The filter expression language: how texts parse (precedence, grouping,
// constants, keywords), which texts are refused, and which rows each form
// keeps on a small price table, evaluated both over the whole table and row
// by row as rows arrive.
#include <QScopeGuard>
#include <QTest>

#include "cp1251.h"
#include "filterexpr.h"
#include "ordixerror.h"
#include "recordtable.h"
#include "textfile.h"

namespace
{
    QList<FieldDef> priceFields()
    {
        return {
            {QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
            {QStringLiteral("CODE"), FieldType::I4, 0},
            {QStringLiteral("Name"), FieldType::String, 200},
            {QStringLiteral("Group"), FieldType::String, 200},
            {QStringLiteral("Price"), FieldType::R8, 0},
        };
    }

    // Flag, code, name, group, price.
    const QList<QStringList> &priceRows()
    {
        static const QList<QStringList> rows = {
            {"1", "101", "Болт М8", "Крепёж", "12"},     {"6", "102", "БОЛТЫ", "Болты", "12.5"},
            {"0", "103", "болтик", "Мелочи", "3"},       {"2", "104", "Гайка 5'", "Крепёж", "1"},
            {"3", "105", "Шайба болтовая", "12", "0.5"}, {"7", "106", "Filter OIL", "Filters", "1234567.5"},
            {"4", "107", "Ёлка", "Ђ-группа", "7"},       {"", "108", "", "", ""},
            {"1", "109", "БОЛТ", "Болты", "20"},         {"2", "110", "A*B", "Прочее", "9"},
            {"2", "111", "x_y", "Прочее", "10"},         {"1", "112", "Їжак", "Прочее", "11"},
        };
        return rows;
    }

    QList<int> viewCodes(RecordTable &t)
    {
        QList<int> codes;
        for (int r = 0; r < t.rowCount(); ++r)
            codes.append(int(t.integerAt(r, 1)));
        return codes;
    }
}

class TestFilterExpr final : public QObject
{
    Q_OBJECT

private slots:
    void structure_data();
    void structure();
    void refused_data();
    void refused();
    void nestingLimit();
    void longNotRunParses();
    void keeps_data();
    void keeps();
    void everyCapitalMatchesItsSmallLetter();
    void unknownFieldRefused();
    void orOfManyCodesOnAThousandRows();
    void decimalSeparatorInTextConstant();
};

void TestFilterExpr::structure_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed");

    QTest::newRow("AND binds tighter than OR") << "a=1 AND b=2 OR c=3"
                                               << "((a = 1 AND b = 2) OR c = 3)";
    QTest::newRow("AND binds tighter than OR on the right") << "a=1 OR b=2 AND c=3"
                                                            << "(a = 1 OR (b = 2 AND c = 3))";
    QTest::newRow("parenthesised terms as the system writes them") << "(a=1) AND (b=2) OR (c=3)"
                                                                   << "((a = 1 AND b = 2) OR c = 3)";
    QTest::newRow("NOT binds tighter than AND") << "NOT a=1 AND b=2"
                                                << "(NOT a = 1 AND b = 2)";
    QTest::newRow("NOT of a group") << "NOT (a=1 AND b=2)"
                                    << "NOT (a = 1 AND b = 2)";
    QTest::newRow("NOT NOT cancels") << "NOT NOT a=1"
                                     << "a = 1";
    QTest::newRow("keywords in any case") << "a=1 and b=2 Or nOt c=3"
                                          << "((a = 1 AND b = 2) OR NOT c = 3)";
    QTest::newRow("parenthesised OR inside OR joins it") << "a=1 OR (b=2 OR c=3)"
                                                         << "(a = 1 OR b = 2 OR c = 3)";
    QTest::newRow("grouping overrides precedence") << "a=1 AND (b=2 OR c=3)"
                                                   << "(a = 1 AND (b = 2 OR c = 3))";
    QTest::newRow("doubled apostrophe") << "Name LIKE '%5''%'"
                                        << "Name LIKE '%5''%'";
    QTest::newRow("negative integer") << "AvailabilityFlag=-1"
                                      << "AvailabilityFlag = -1";
    QTest::newRow("greater or equal") << "AvailabilityFlag>=5"
                                      << "AvailabilityFlag >= 5";
    QTest::newRow("no blanks needed") << "(CODE=12)or(CODE=13)"
                                      << "(CODE = 12 OR CODE = 13)";
    QTest::newRow("car model codes with a trailing blank") << "Code=17 or Code=23 "
                                                           << "(Code = 17 OR Code = 23)";
    QTest::newRow("keyword-like field name") << "ORDER=1 AND ANDROID=2"
                                             << "(ORDER = 1 AND ANDROID = 2)";
    QTest::newRow("Cyrillic text and blanks inside quotes") << "(Name LIKE '%болт м8%') or (Name='болт м8*')"
                                                            << "(Name LIKE '%болт м8%' OR Name = 'болт м8*')";
    QTest::newRow("empty text constant") << "Name=''"
                                         << "Name = ''";
    QTest::newRow("compound filter of the dialog")
        << "(((Name LIKE '%a%') or (Name='a*'))) AND (NOT (((Group LIKE '%b%') or (Group='b*'))))"
        << "((Name LIKE '%a%' OR Name = 'a*') AND NOT (Group LIKE '%b%' OR Group = 'b*'))";
    QTest::newRow("blank text keeps everything") << "   "
                                                 << "";
}

void TestFilterExpr::structure()
{
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    const auto expr = FilterExpr::parse(text);
    QCOMPARE(expr->describe(), parsed);
    QCOMPARE(expr->isEmpty(), parsed.isEmpty());
}

void TestFilterExpr::refused_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("no constant") << "Name=";
    QTest::newRow("field alone") << "Name";
    QTest::newRow("LIKE with a number") << "Name LIKE 5";
    QTest::newRow("unclosed parenthesis") << "(a=1";
    QTest::newRow("extra closing parenthesis") << "a=1)";
    QTest::newRow("dangling AND") << "a=1 AND";
    QTest::newRow("two ORs") << "a=1 OR OR b=2";
    QTest::newRow("bare text constant") << "'text'";
    QTest::newRow("unclosed text constant") << "Name='abc";
    QTest::newRow("missing operator between terms") << "a=1 b=2";
    QTest::newRow("greater than alone") << "a>1";
    QTest::newRow("not equal") << "a<>1";
    QTest::newRow("blank after minus") << "a=- 1";
    QTest::newRow("no field") << "=5";
    QTest::newRow("keyword alone") << "AND";
    QTest::newRow("empty parentheses") << "()";
    QTest::newRow("number too large") << "a=99999999999999999999999";
    QTest::newRow("double quotes") << "Name=\"x\"";
}

void TestFilterExpr::refused()
{
    QFETCH(QString, text);
    try {
        FilterExpr::parse(text);
        QFAIL("the text parsed");
    } catch (const OrdixError &e) {
        QVERIFY2(e.message().contains(QLatin1String("position")), qPrintable(e.message()));
    }
}

void TestFilterExpr::nestingLimit()
{
    const QString ok = QString(FilterExpr::kMaxDepth, QLatin1Char('(')) + QStringLiteral("a=1")
        + QString(FilterExpr::kMaxDepth, QLatin1Char(')'));
    QCOMPARE(FilterExpr::parse(ok)->describe(), QStringLiteral("a = 1"));

    const QString deep = QString(100000, QLatin1Char('(')) + QStringLiteral("a=1") + QString(100000, QLatin1Char(')'));
    try {
        FilterExpr::parse(deep);
        QFAIL("a nesting of 100000 parsed");
    } catch (const OrdixError &e) {
        QVERIFY2(e.message().contains(QLatin1String("nested too deeply")), qPrintable(e.message()));
    }

    QString notGroups;
    for (int i = 0; i < 50000; ++i)
        notGroups += QStringLiteral("NOT (");
    notGroups += QStringLiteral("a=1") + QString(50000, QLatin1Char(')'));
    QVERIFY_THROWS_EXCEPTION(OrdixError, FilterExpr::parse(notGroups));
}

void TestFilterExpr::longNotRunParses()
{
    QString text;
    for (int i = 0; i < 100001; ++i)
        text += QStringLiteral("NOT ");
    text += QStringLiteral("a=1");
    QCOMPARE(FilterExpr::parse(text)->describe(), QStringLiteral("NOT a = 1"));
}

void TestFilterExpr::keeps_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<int>>("codes");

    const QList<int> all = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112};

    QTest::newRow("one word as the quick filter builds it")
        << "((Name LIKE '%болт%') or (Name='болт*'))" << QList<int>{101, 102, 103, 105, 109};
    QTest::newRow("LIKE contains, any case") << "Name LIKE '%БоЛт%'" << QList<int>{101, 102, 103, 105, 109};
    QTest::newRow("prefix form") << "Name='болт*'" << QList<int>{101, 102, 103, 109};
    QTest::newRow("equality ignores case but is whole") << "Name='болт'" << QList<int>{109};
    QTest::newRow("LIKE without % is whole") << "Name LIKE 'болт'" << QList<int>{109};
    QTest::newRow("LIKE with % at the end") << "Name LIKE 'болт%'" << QList<int>{101, 102, 103, 109};
    QTest::newRow("LIKE with % at the start") << "Name LIKE '%м8'" << QList<int>{101};
    QTest::newRow("LIKE with % inside") << "Name LIKE 'б%к'" << QList<int>{103};
    QTest::newRow("LIKE runs must come in order") << "Name LIKE '%к%л%'" << QList<int>{};
    QTest::newRow("LIKE runs in order") << "Name LIKE '%л%к%'" << QList<int>{103, 107};
    QTest::newRow("LIKE with several runs") << "Name LIKE '%ш%б%в%'" << QList<int>{105};
    QTest::newRow("LIKE runs may not overlap") << "Name LIKE 'болт%лт'" << QList<int>{};
    QTest::newRow("lone star keeps all, unset name too") << "Name='*'" << all;
    QTest::newRow("two percent keep all") << "Name LIKE '%%'" << all;
    QTest::newRow("no availability code -1") << "AvailabilityFlag=-1" << QList<int>{};
    QTest::newRow("doubled apostrophe in LIKE") << "Name LIKE '%5''%'" << QList<int>{104};
    QTest::newRow("star inside is an ordinary character") << "Name='a*b'" << QList<int>{110};
    QTest::newRow("only the final star is the prefix form") << "Name='a*'" << QList<int>{110};
    QTest::newRow("underscore is an ordinary character") << "Name LIKE '%_%'" << QList<int>{111};
    QTest::newRow("underscore does not match another character") << "Name LIKE 'x_z'" << QList<int>{};
    QTest::newRow("Ё folds to ё") << "Name LIKE '%ЁЛК%'" << QList<int>{107};
    QTest::newRow("ё finds Ё") << "Name='ёлка'" << QList<int>{107};
    QTest::newRow("Ї folds to ї") << "Name='їж*'" << QList<int>{112};
    QTest::newRow("Ђ folds to ђ") << "Group='ђ-*'" << QList<int>{107};
    QTest::newRow("Latin letters fold") << "Name LIKE '%oil%'" << QList<int>{106};
    QTest::newRow("field name without case") << "code=105" << QList<int>{105};
    QTest::newRow("keywords lower case") << "code=105 or code=106 and not code=106" << QList<int>{105};
    QTest::newRow("x AND y OR z is (x AND y) OR z") << "AvailabilityFlag=1 AND CODE=102 OR CODE=103" << QList<int>{103};
    QTest::newRow("NOT a AND b is (NOT a) AND b") << "NOT AvailabilityFlag=1 AND CODE=101" << QList<int>{};
    QTest::newRow("NOT of a group") << "NOT (AvailabilityFlag=1 AND CODE=101)"
                                    << QList<int>{102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112};
    QTest::newRow("marked rows") << "AvailabilityFlag>=5" << QList<int>{102, 106};
    QTest::newRow("availability pairs")
        << "(AvailabilityFlag=1) or (AvailabilityFlag=6) or (AvailabilityFlag=2) or (AvailabilityFlag=7)"
        << QList<int>{101, 102, 104, 106, 109, 110, 111, 112};
    QTest::newRow("float equals an integer exactly") << "Price=12" << QList<int>{101};
    QTest::newRow("float greater or equal") << "Price>=12" << QList<int>{101, 102, 106, 109};
    QTest::newRow("codes joined by OR") << "(CODE=101) or (CODE=103) or (CODE=999)" << QList<int>{101, 103};
    QTest::newRow("codes and a text term") << "CODE=101 or Name='ёлка' or CODE=111" << QList<int>{101, 107, 111};
    QTest::newRow("codes far apart") << "CODE=2000000000 or CODE=101 or CODE=-2000000000" << QList<int>{101};
    QTest::newRow("code out of the integer range") << "CODE=99999999999 or CODE=-99999999999" << QList<int>{};
    QTest::newRow("text constant that is a number on a number field") << "CODE='101'" << QList<int>{101};
    QTest::newRow("prefix form on a number field compares its text")
        << "CODE='10*'" << QList<int>{101, 102, 103, 104, 105, 106, 107, 108, 109};
    QTest::newRow("LIKE on a float field compares its text") << "Price LIKE '%.5'" << QList<int>{102, 105, 106};
    QTest::newRow("integer on a text field compares the digits") << "Group=12" << QList<int>{105};
    QTest::newRow("text greater or equal compares folded bytes") << "Name>='ш'" << QList<int>{105};
    QTest::newRow("unset number reads as 0") << "AvailabilityFlag=0" << QList<int>{103, 108};
    QTest::newRow("unset text reads as empty") << "Name=''" << QList<int>{108};
    QTest::newRow("compound with NOT on another field")
        << "(((Name LIKE '%болт%') or (Name='болт*'))) AND (NOT (((Group LIKE '%болт%') or (Group='болт*'))))"
        << QList<int>{101, 103, 105};
    QTest::newRow("model condition and price condition")
        << "(Code=101 or Code=102 or Code=106 ) and (((Name LIKE '%болт%') or (Name='болт*')))" << QList<int>{101, 102};
    QTest::newRow("character outside the code page matches nothing") << "Name LIKE '%中%'" << QList<int>{};
    QTest::newRow("blank filter keeps all") << "" << all;
}

void TestFilterExpr::keeps()
{
    QFETCH(QString, filter);
    QFETCH(QList<int>, codes);

    // Whole table at once.
    RecordTable table(QStringLiteral("PriceDataSet"));
    table.open(priceFields());
    for (const QStringList &row : priceRows())
        table.appendRow(row);
    table.setFilter(filter);
    table.setFiltered(true);
    QCOMPARE(viewCodes(table), codes);

    // Row by row: the filter is on first and each appended row is tested
    // alone.
    RecordTable growing(QStringLiteral("PriceDataSet"));
    growing.open(priceFields());
    growing.setFilter(filter);
    growing.setFiltered(true);
    for (const QStringList &row : priceRows())
        growing.appendRow(row);
    QCOMPARE(viewCodes(growing), codes);
}

void TestFilterExpr::everyCapitalMatchesItsSmallLetter()
{
    // Capital and small letter of every pair of the code page, as bytes.
    QList<QPair<int, int>> pairs = {
        {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2},
        {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
    };
    for (int b = 0; b < 26; ++b)
        pairs.append({'A' + b, 'a' + b});
    for (int b = 0; b < 32; ++b)
        pairs.append({0xC0 + b, 0xE0 + b});
    auto letter = [](int byte) { return QString(QChar(Cp1251::toUnicode(static_cast<unsigned char>(byte)))); };

    // Long names, so that the search runs over whole blocks of text.
    RecordTable table;
    table.open(priceFields());
    const QString padding(40, QLatin1Char('.'));
    for (int i = 0; i < pairs.size(); ++i) {
        table.appendRow(QStringList{"1", QString::number(2 * i),
                                    padding + letter(pairs[i].first) + QStringLiteral("9#"),
                                    letter(pairs[i].first) + QStringLiteral("9")});
        table.appendRow(QStringList{"1", QString::number(2 * i + 1),
                                    padding + letter(pairs[i].second) + QStringLiteral("9#"),
                                    letter(pairs[i].second) + QStringLiteral("9")});
    }
    for (int i = 0; i < pairs.size(); ++i) {
        const QList<int> both{2 * i, 2 * i + 1};
        for (const int byte : {pairs[i].first, pairs[i].second}) {
            const QString l = letter(byte);
            for (const QString &filter : QStringList{QStringLiteral("Name LIKE '%") + l + QStringLiteral("9%'"),
                                                     QStringLiteral("Name LIKE '%") + l + QStringLiteral("9#'"),
                                                     QStringLiteral("Group='") + l + QStringLiteral("9'"),
                                                     QStringLiteral("Group='") + l + QStringLiteral("*'")}) {
                table.setFilter(filter);
                table.setFiltered(true);
                QVERIFY2(viewCodes(table) == both, qPrintable(filter));
            }
        }
    }
}

void TestFilterExpr::unknownFieldRefused()
{
    auto expr = FilterExpr::parse(QStringLiteral("Colour='red'"));
    try {
        expr->bind(priceFields());
        QFAIL("an unknown field was accepted");
    } catch (const OrdixError &e) {
        QCOMPARE(e.message(), QStringLiteral("Field 'Colour' not found"));
    }
}

void TestFilterExpr::orOfManyCodesOnAThousandRows()
{
    // The car-model filter: thousands of codes joined by OR, each piece with
    // a trailing blank.
    RecordTable table(QStringLiteral("PriceDataSet"));
    table.open(priceFields());
    table.suspendViews();
    for (int code = 1; code <= 10000; ++code)
        table.appendRow(QStringList{QStringLiteral("1"), QString::number(code), QStringLiteral("n")});
    table.resumeViews();

    QString text;
    QList<int> expected;
    for (int i = 0; i < 5000; ++i) {
        const int code = 3 + i * 2;
        if (!text.isEmpty())
            text += QStringLiteral("or ");
        text += QStringLiteral("Code=%1 ").arg(code);
        if (code <= 10000)
            expected.append(code);
    }
    table.setFilter(text);
    table.setFiltered(true);
    QCOMPARE(table.rowCount(), expected.size());
    QCOMPARE(viewCodes(table), expected);

    // The same condition combined with another one, as the price filter does.
    table.setFilter(QStringLiteral("(") + text + QStringLiteral(") and (CODE>=9000)"));
    QCOMPARE(table.rowCount(), 500);
    QCOMPARE(table.integerAt(0, 1), 9001);
}

void TestFilterExpr::decimalSeparatorInTextConstant()
{
    const QChar saved = Decimal::separator();
    const auto restore = qScopeGuard([saved] { Decimal::setSeparator(saved); });
    Decimal::setSeparator(QLatin1Char(','));

    RecordTable table;
    table.open(priceFields());
    table.appendRow(QStringList{"1", "1", "a", "", "12,5"});
    table.appendRow(QStringList{"1", "2", "b", "", "3"});
    table.setFilter(QStringLiteral("Price='12,5'"));
    table.setFiltered(true);
    QCOMPARE(viewCodes(table), QList<int>{1});
    table.setFilter(QStringLiteral("Price LIKE '%,5'"));
    QCOMPARE(viewCodes(table), QList<int>{1});
}

QTEST_APPLESS_MAIN(TestFilterExpr)
#include "tst_filterexpr.moc"
