// The record table: conversions and refusals, the cursor over a filtered and
// ordered view, posting rows out of the view (the loop that removes the order
// marks), locate, indexes, sorting, groups, linking, clones and the
// notifications that the grids rely on.
#include <numeric>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include "cp1251.h"
#include "ordixerror.h"
#include "priceloader.h"
#include "recordtable.h"
#include "textfile.h"

namespace
{
    enum PriceField
    {
        Flag,
        Code,
        Name,
        CatalogId,
        ProductionOf,
        Pack,
        Price,
        Group,
        Analogue,
        OldPrice
    };

    // A price table with the indexes of the loader: PreX and RevX per field.
    void openPrice(RecordTable &t)
    {
        t.open(PriceLoader::priceFields());
        for (int f = 0; f < t.fieldCount() - 1; ++f) {
            t.addIndexDef(QStringLiteral("Pre") + t.field(f).name, t.field(f).name);
            t.addIndexDef(QStringLiteral("Rev") + t.field(f).name, t.field(f).name, true);
        }
    }

    void addPrice(RecordTable &t, int flag, int code, const QString &name, const QString &price = QStringLiteral("1"))
    {
        t.appendRow(
            QStringList{QString::number(flag), QString::number(code), name, QString(), QString(), QString(), price});
    }

    QList<int> codes(RecordTable &t, int field = Code)
    {
        QList<int> result;
        for (int r = 0; r < t.rowCount(); ++r)
            result.append(int(t.integerAt(r, field)));
        return result;
    }

    QStringList names(RecordTable &t, int field = Name)
    {
        QStringList result;
        for (int r = 0; r < t.rowCount(); ++r)
            result.append(t.stringAt(r, field));
        return result;
    }

    QList<FieldDef> modelFields()
    {
        return {
            {QStringLiteral("CODE"), FieldType::I2, 0},
            {QStringLiteral("Brand"), FieldType::String, 20},
            {QStringLiteral("Model"), FieldType::String, 51},
        };
    }

    QList<FieldDef> assignmentFields()
    {
        return {
            {QStringLiteral("CODEMODEL"), FieldType::I2, 0},
            {QStringLiteral("CODESPAIR"), FieldType::I2, 0},
        };
    }

    // Checks a table's invariants after every operation it tells its
    // listeners about, and once more when the test leaves it.
    class Consistency final
    {
    public:
        explicit Consistency(RecordTable &table)
            : m_table(table)
        {
            m_ids[0] = table.onViewChanged([this] { check(); });
            m_ids[1] = table.onRowChanged([this](int) { check(); });
        }
        ~Consistency()
        {
            for (const int id : m_ids)
                m_table.removeListener(id);
            check();
            QVERIFY2(m_broken == 0, "a record table operation broke the table's invariants");
        }

    private:
        void check() { m_broken += m_table.isConsistent() ? 0 : 1; }

        RecordTable &m_table;
        int m_ids[2]{};
        int m_broken = 0;
    };
}

class TestRecordTable final : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data();
    void conversions();
    void refusedRowLeavesTableUnchanged();
    void rawRowsConvertLikeText();
    void batchesStoreAsRawRows_data();
    void batchesStoreAsRawRows();
    void unsetValuesRead();
    void valuesByVariant();
    void textIsCutToWidth();
    void textsReadBackAfterMovesAndReorders_data();
    void textsReadBackAfterMovesAndReorders();
    void definitionsRefused_data();
    void definitionsRefused();
    void formatByMask_data();
    void formatByMask();
    void displayTextUsesFieldMask();

    void walkingTheView();
    void rowNumberAfterFilterChanges();
    void unparsableFilterLeavesViewUnfiltered();
    void filterTextChangedWhileOff();
    void postLeavingTheViewMovesToNextRow();
    void restorePriceDataLoop_data();
    void restorePriceDataLoop();
    void postReplacesRowInIndexOrder();
    void editAndCancel();
    void settersRefuseBadValues();
    void deleteMakesNextRowCurrent();
    void emptyAndReopen();

    void indexOrder_data();
    void indexOrder();
    void indexKeepsCurrentRow();
    void indexAfterAppends();
    void largeIndexOrder_data();
    void largeIndexOrder();
    void unknownIndexRefused();
    void sortOnFieldReordersRows();
    void groupFirstUnderIndex();

    void locateFindsFirstInViewOrder();
    void locateIgnoresRowsHiddenByFilter();
    void locateInLargeViews();
    void locateWithCodesFarApart();
    void locateTextOptions();
    void locateRefusesNonNumberForNumericField();

    void linkFollowsMaster();
    void linkDetailToPriceTable();
    void clonesHaveTheirOwnCursor();

    void suspendAndResume();
    void afterScrollAndAfterPost();
    void rowChangedForInPlaceEdits();

    void fastAndRowByRowFilteringAgree();
};

// --- conversions -----------------------------------------------------------------

void TestRecordTable::conversions_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("stored");

    const int i2 = int(FieldType::I2);
    const int i4 = int(FieldType::I4);
    const int r8 = int(FieldType::R8);
    QTest::newRow("i2 40000 refused") << i2 << "40000" << false << "";
    QTest::newRow("i2 32768 refused") << i2 << "32768" << false << "";
    QTest::newRow("i2 -32769 refused") << i2 << "-32769" << false << "";
    QTest::newRow("i2 lowest") << i2 << "-32768" << true << "-32768";
    QTest::newRow("i2 highest") << i2 << "32767" << true << "32767";
    QTest::newRow("i2 with blanks and plus") << i2 << "  +5 " << true << "5";
    QTest::newRow("i2 decimal refused") << i2 << "5.0" << false << "";
    QTest::newRow("i4 beyond 32 bits refused") << i4 << "2147483648" << false << "";
    QTest::newRow("i4 lowest") << i4 << "-2147483648" << true << "-2147483648";
    QTest::newRow("i4 letters refused") << i4 << "12a" << false << "";
    QTest::newRow("i4 sign alone refused") << i4 << "-" << false << "";
    QTest::newRow("i4 huge refused") << i4 << "99999999999999999999999" << false << "";
    QTest::newRow("r8 with point") << r8 << "5.50" << true << "5.5";
    QTest::newRow("r8 comma refused with point separator") << r8 << "5,50" << false << "";
    QTest::newRow("r8 whole") << r8 << "1234567" << true << "1234567";
    QTest::newRow("r8 negative") << r8 << "-0.25" << true << "-0.25";
    QTest::newRow("r8 exponent refused") << r8 << "1e5" << false << "";
    QTest::newRow("r8 text refused") << r8 << "abc" << false << "";
    QTest::newRow("empty number unset") << i4 << "" << true << "";
    QTest::newRow("blank number unset") << r8 << "   " << true << "";
}

void TestRecordTable::conversions()
{
    QFETCH(int, type);
    QFETCH(QString, input);
    QFETCH(bool, accepted);
    QFETCH(QString, stored);

    RecordTable t;
    const Consistency tChecked(t);
    t.open({{QStringLiteral("Value"), FieldType(type), 0}});
    if (!accepted) {
        QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(QStringList{input}));
        QCOMPARE(t.rowCount(), 0);
        const QByteArray bytes = Cp1251::encode(input);
        const QByteArrayView raw(bytes);
        QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRowRaw(&raw, 1));
        QCOMPARE(t.rowCount(), 0);
        return;
    }
    t.appendRow(QStringList{input});
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.asString(0), stored);
    QCOMPARE(t.isNull(0), stored.isEmpty());
}

void TestRecordTable::refusedRowLeavesTableUnchanged()
{
    RecordTable t(QStringLiteral("PriceDataSet"));
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 10, QStringLiteral("Болт"));
    try {
        t.appendRow(QStringList{QStringLiteral("40000"), QStringLiteral("11"), QStringLiteral("Гайка")});
        QFAIL("an i2 value of 40000 was stored");
    } catch (const OrdixError &e) {
        QVERIFY2(e.message().contains(QLatin1String("AvailabilityFlag")), qPrintable(e.message()));
    }
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(QStringList{"1", "12", "x", "", "", "", "5,50"}));
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(codes(t), QList<int>{10});
    QCOMPARE(t.asString(Name), QStringLiteral("Болт"));
    // Too many values for the fields.
    QStringList eleven;
    for (int i = 0; i < 11; ++i)
        eleven.append(QStringLiteral("1"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(eleven));
    QCOMPARE(t.rowCount(), 1);
}

void TestRecordTable::rawRowsConvertLikeText()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    const QByteArray name = Cp1251::encode(u"Болт М8");
    const QByteArray fields[] = {"2", " 42 ", name, "", "", "10", "5.50"};
    QByteArrayView views[7];
    for (int i = 0; i < 7; ++i)
        views[i] = fields[i];
    t.suspendViews();
    t.appendRowRaw(views, 7);
    t.resumeViews();
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.asInteger(Flag), 2);
    QCOMPARE(t.asInteger(Code), 42);
    QCOMPARE(t.asString(Name), QStringLiteral("Болт М8"));
    QCOMPARE(t.bytesAt(0, Name).toByteArray(), name);
    QVERIFY(!t.isNull(CatalogId)); // an empty text is stored as text
    QCOMPARE(t.asFloat(Price), 5.5);
    QVERIFY(t.isNull(Group));
    QVERIFY(t.isNull(OldPrice));

    const QByteArray bad[] = {"40000", "1"};
    const QByteArrayView badViews[] = {bad[0], bad[1]};
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRowRaw(badViews, 2));
    QCOMPARE(t.rowCount(), 1);
}

void TestRecordTable::batchesStoreAsRawRows_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("kept");
    QTest::newRow("into an empty table") << 0 << -1;
    QTest::newRow("after one row") << 1 << -1;
    QTest::newRow("after 63 rows") << 63 << -1;
    QTest::newRow("after 64 rows") << 64 << -1;
    QTest::newRow("after 100 rows, the first 70 kept") << 100 << 70;
    QTest::newRow("none kept") << 5 << 0;
}

void TestRecordTable::batchesStoreAsRawRows()
{
    // Rows converted in a batch (away from the table) and appended at once
    // read back exactly as the same rows appended one by one; rows that do
    // not convert are left out of both.
    QFETCH(int, before);
    QFETCH(int, kept);
    const QList<FieldDef> fields{
        {QStringLiteral("Flag"), FieldType::I2, 0},      {QStringLiteral("Code"), FieldType::I4, 0},
        {QStringLiteral("Short"), FieldType::String, 3}, {QStringLiteral("Note"), FieldType::String, 300},
        {QStringLiteral("Price"), FieldType::R8, 0},     {QStringLiteral("Old"), FieldType::R8, 0}};
    QList<QList<QByteArray>> lines;
    for (int i = 0; i < 300; ++i) {
        QList<QByteArray> line{QByteArray::number(i % 3), QByteArray::number(i * 7),
                               Cp1251::encode(u"Болт") + QByteArray::number(i), QByteArray(i % 280, char('a' + i % 26)),
                               i % 5 ? QByteArray::number(i) + ".25" : QByteArray(" ")};
        if (i % 17 == 0)
            line[1] = "x"; // not an integer: no row
        if (i % 23 == 0)
            line[0] = "40000"; // out of range: no row
        if (i % 11 == 0)
            line.resize(2); // the rest unset
        lines << line;
    }
    const auto views = [](const QList<QByteArray> &line) {
        std::vector<QByteArrayView> result;
        for (const QByteArray &value : line)
            result.emplace_back(value);
        return result;
    };

    RecordTable one;
    const Consistency oneChecked(one);
    RecordTable batched;
    const Consistency batchedChecked(batched);
    one.open(fields);
    batched.open(fields);
    const QByteArray first[] = {"1", "5", "abcdef", "n"};
    const QByteArrayView firstViews[] = {first[0], first[1], first[2], first[3]};
    for (int i = 0; i < before; ++i) {
        one.appendRowRaw(firstViews, 4);
        batched.appendRowRaw(firstViews, 4);
    }
    RecordTable::RowBatch batch(batched);
    int refused = 0;
    for (const QList<QByteArray> &line : lines) {
        const std::vector<QByteArrayView> v = views(line);
        if (!batch.addRaw(v.data(), int(v.size())))
            ++refused;
    }
    QCOMPARE(batch.rowCount() + refused, int(lines.size()));
    if (kept >= 0)
        batch.truncate(kept);
    int added = 0;
    for (const QList<QByteArray> &line : lines) {
        if (kept >= 0 && added == kept)
            break;
        const std::vector<QByteArrayView> v = views(line);
        try {
            one.appendRowRaw(v.data(), int(v.size()));
            ++added;
        } catch (const OrdixError &) {
        }
    }
    QCOMPARE(batched.appendBatch(batch), 0);

    QCOMPARE(batched.rowCount(), one.rowCount());
    for (int r = 0; r < one.rowCount(); ++r) {
        for (int f = 0; f < fields.size(); ++f) {
            QCOMPARE(batched.isNullAt(r, f), one.isNullAt(r, f));
            QCOMPARE(batched.stringAt(r, f), one.stringAt(r, f));
        }
    }
    // The batched table goes on as any other.
    batched.appendRowRaw(firstViews, 4);
    QCOMPARE(batched.rowCount(), one.rowCount() + 1);
    QCOMPARE(batched.stringAt(batched.rowCount() - 1, 2), QStringLiteral("abc"));
}

void TestRecordTable::unsetValuesRead()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.appendRow(QStringList{QStringLiteral("1"), QStringLiteral("7")});
    QVERIFY(t.isNull(OldPrice));
    QCOMPARE(t.asString(OldPrice), QString());
    QCOMPARE(t.asFloat(OldPrice), 0.0);
    QCOMPARE(t.asInteger(OldPrice), 0);
    QVERIFY(!t.value(OldPrice).isValid());
    QCOMPARE(t.displayText(OldPrice), QString());
    QCOMPARE(t.asString(Name), QString());
    QVERIFY(t.isNull(Name));
    QCOMPARE(t.stringAt(0, Group), QString());
    QCOMPARE(t.floatAt(0, Price), 0.0);
}

void TestRecordTable::valuesByVariant()
{
    RecordTable t;
    const Consistency tChecked(t);
    t.open({{QStringLiteral("Count"), FieldType::I4, 0},
            {QStringLiteral("Price"), FieldType::R8, 0},
            {QStringLiteral("Name"), FieldType::String, 10}});
    t.appendRow(QVariantList{QVariant(3), QVariant(2.5), QVariant(QStringLiteral("Ёж"))});
    QCOMPARE(t.value(0), QVariant(3));
    QCOMPARE(t.value(1), QVariant(2.5));
    QCOMPARE(t.value(2), QVariant(QStringLiteral("Ёж")));
    t.appendRow(QVariantList{QVariant(), QVariant(QStringLiteral("4")), QVariant(12)});
    QVERIFY(t.isNull(0));
    QCOMPARE(t.asFloat(1), 4.0);
    QCOMPARE(t.asString(2), QStringLiteral("12"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(QVariantList{QVariant(qint64(1) << 40)}));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(QVariantList{QVariant(1), QVariant(QStringLiteral("x"))}));
    QCOMPARE(t.rowCount(), 2);
}

void TestRecordTable::textIsCutToWidth()
{
    RecordTable t;
    const Consistency tChecked(t);
    t.open({{QStringLiteral("Brand"), FieldType::String, 5}, {QStringLiteral("Model"), FieldType::String, 3}});
    t.appendRow(QStringList{QStringLiteral("Mercedes-Benz"), QStringLiteral("Жигули")});
    QCOMPARE(t.asString(0), QStringLiteral("Merce"));
    QCOMPARE(t.asString(1), QStringLiteral("Жиг"));
    t.edit();
    t.setString(1, QStringLiteral("Москвич"));
    t.post();
    QCOMPARE(t.asString(1), QStringLiteral("Мос"));
    const QByteArray longBytes = "ABCDEFGH";
    const QByteArrayView views[] = {longBytes, longBytes};
    t.appendRowRaw(views, 2);
    QCOMPARE(t.stringAt(1, 0), QStringLiteral("ABCDE"));
    QCOMPARE(t.stringAt(1, 1), QStringLiteral("ABC"));

    RecordTable wide;
    const Consistency wideChecked(wide);
    wide.open({{QStringLiteral("Note"), FieldType::String, 300}});
    wide.appendRow(QStringList{QString(400, QLatin1Char('x'))});
    QCOMPARE(wide.asString(0).size(), 300);
    wide.edit();
    wide.setString(0, QString(299, QLatin1Char('y')) + QStringLiteral("ЖЖ"));
    wide.post();
    QCOMPARE(wide.asString(0), QString(299, QLatin1Char('y')) + QStringLiteral("Ж"));
}

void TestRecordTable::textsReadBackAfterMovesAndReorders_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("short texts") << 20;
    QTest::newRow("grown text far past its neighbours") << 600;
    QTest::newRow("64 rows of texts longer than 64 KB") << 1500;
}

void TestRecordTable::textsReadBackAfterMovesAndReorders()
{
    QFETCH(int, width);
    RecordTable t;
    const Consistency tChecked(t);
    t.open({{QStringLiteral("Code"), FieldType::I4, 0}, {QStringLiteral("Name"), FieldType::String, width}});
    // The first rows as the loader adds them, in a batch; the rest one by one.
    QStringList expected;
    RecordTable::RowBatch batch(t);
    for (int r = 0; r < 300; ++r) {
        const int length = width / 2 + (r * 7) % (width / 2);
        expected.append(QString::number(299 - r).leftJustified(length, QChar(u'а' + r % 32)));
        const QByteArray cells[] = {QByteArray::number(r), Cp1251::encode(expected.last())};
        const QByteArrayView views[] = {cells[0], cells[1]};
        if (r < 200)
            QVERIFY(batch.addRaw(views, 2));
        else
            t.appendRowRaw(views, 2);
        if (r == 199)
            QCOMPARE(t.appendBatch(batch), 0);
    }
    QCOMPARE(names(t, 1), expected);
    // A longer text moves to the arena's end.
    t.setRowNumber(70);
    t.edit();
    expected[69] = QStringLiteral("x").repeated(width);
    t.setString(1, expected[69]);
    t.post();
    QCOMPARE(names(t, 1), expected);
    // The rows after a deleted one come a place nearer.
    t.setRowNumber(10);
    t.deleteRow();
    expected.removeAt(9);
    QCOMPARE(names(t, 1), expected);
    // Sorted, the texts lie in row order again.
    t.sortOnField(QStringLiteral("Name"), false);
    std::sort(expected.begin(), expected.end(),
              [](const QString &a, const QString &b) { return Cp1251::encode(a) < Cp1251::encode(b); });
    QCOMPARE(names(t, 1), expected);
}

void TestRecordTable::definitionsRefused_data()
{
    QTest::addColumn<QList<FieldDef>>("fields");
    QTest::newRow("no field") << QList<FieldDef>{};
    QTest::newRow("duplicate name in another case")
        << QList<FieldDef>{{QStringLiteral("Code"), FieldType::I4, 0}, {QStringLiteral("CODE"), FieldType::I2, 0}};
    QTest::newRow("text without width") << QList<FieldDef>{{QStringLiteral("Name"), FieldType::String, 0}};
    QTest::newRow("empty name") << QList<FieldDef>{{QString(), FieldType::I4, 0}};
}

void TestRecordTable::definitionsRefused()
{
    QFETCH(QList<FieldDef>, fields);
    RecordTable t;
    const Consistency tChecked(t);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.open(fields));
    QVERIFY(!t.isActive());
    QCOMPARE(t.fieldCount(), 0);
}

void TestRecordTable::formatByMask_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");

    const QString money = QStringLiteral("# ### ##0.00 р.");
    QTest::newRow("millions grouped") << 1234567.5 << money << "."
                                      << "1 234 567.50 р.";
    QTest::newRow("comma separator") << 1234567.5 << money << ","
                                     << "1 234 567,50 р.";
    QTest::newRow("below one") << 0.5 << money << "."
                               << "0.50 р.";
    QTest::newRow("zero") << 0.0 << money << "."
                          << "0.00 р.";
    QTest::newRow("thousand exactly") << 1000.0 << money << "."
                                      << "1 000.00 р.";
    QTest::newRow("rounded up into a new group") << 999999.999 << money << "."
                                                 << "1 000 000.00 р.";
    QTest::newRow("negative") << -1234.5 << money << "."
                              << "-1 234.50 р.";
    QTest::newRow("negative rounding to zero has no sign") << -0.001 << money << "."
                                                           << "0.00 р.";
    QTest::newRow("code padded") << 42.0 << "00000"
                                 << "."
                                 << "00042";
    QTest::newRow("code longer than the mask") << 123456.0 << "00000"
                                               << "."
                                               << "123456";
    QTest::newRow("negative code") << -42.0 << "00000"
                                   << "."
                                   << "-00042";
    QTest::newRow("exactly halfway rounds up") << 0.125 << "0.00"
                                               << "."
                                               << "0.13";
    QTest::newRow("halfway in money") << 1.125 << money << ","
                                      << "1,13 р.";
    QTest::newRow("halfway in its decimal form") << 2.675 << money << "."
                                                 << "2.68 р.";
    QTest::newRow("optional decimals dropped") << 2.5 << "0.##"
                                               << "."
                                               << "2.5";
    QTest::newRow("very large") << 1e16 << money << "."
                                << "10 000 000 000 000 000.00 р.";
    QTest::newRow("no placeholder") << 2.5 << "р."
                                    << "."
                                    << "2.5";
}

void TestRecordTable::formatByMask()
{
    QFETCH(double, value);
    QFETCH(QString, mask);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    const QChar saved = Decimal::separator();
    const auto restore = qScopeGuard([saved] { Decimal::setSeparator(saved); });
    Decimal::setSeparator(separator.at(0));
    QCOMPARE(RecordTable::formatByMask(value, mask), expected);
}

void TestRecordTable::displayTextUsesFieldMask()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.setDisplayFormat(Price, QStringLiteral("# ### ##0.00 р."));
    t.setDisplayFormat(Code, QStringLiteral("00000"));
    addPrice(t, 1, 42, QStringLiteral("Болт"), QStringLiteral("1234567.5"));
    QCOMPARE(t.displayText(Price), QStringLiteral("1 234 567.50 р."));
    QCOMPARE(t.displayText(Code), QStringLiteral("00042"));
    QCOMPARE(t.displayTextAt(0, Name), QStringLiteral("Болт"));
    QCOMPARE(t.displayText(OldPrice), QString());
    QCOMPARE(t.displayFormat(Code), QStringLiteral("00000"));
}

// --- cursor, filter, editing ------------------------------------------------------

void TestRecordTable::walkingTheView()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    QVERIFY(t.atEnd());
    QCOMPARE(t.rowNumber(), 0);
    for (int i = 1; i <= 3; ++i)
        addPrice(t, 1, i, QStringLiteral("n%1").arg(i));
    QList<int> seen;
    for (t.first(); !t.atEnd(); t.next())
        seen.append(int(t.asInteger(Code)));
    QCOMPARE(seen, (QList<int>{1, 2, 3}));
    QCOMPARE(t.rowNumber(), 3); // stays on the last row
    t.prior();
    QCOMPARE(t.rowNumber(), 2);
    QVERIFY(!t.atEnd());
    t.first();
    t.prior();
    QVERIFY(t.atBegin());
    QCOMPARE(t.rowNumber(), 1);
    t.setRowNumber(3);
    QCOMPARE(t.asInteger(Code), 3);
    t.setRowNumber(4); // ignored
    t.setRowNumber(0); // ignored
    QCOMPARE(t.rowNumber(), 3);
    t.last();
    QCOMPARE(t.rowNumber(), 3);
}

void TestRecordTable::rowNumberAfterFilterChanges()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 6; ++i)
        addPrice(t, i % 2, i, QStringLiteral("n%1").arg(i));
    t.setRowNumber(5);
    t.setFilter(QStringLiteral("AvailabilityFlag=0"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.rowNumber(), 1);
    QCOMPARE(t.asInteger(Code), 2);
    t.setRowNumber(3);
    t.setFilter(QStringLiteral("AvailabilityFlag=1"));
    QCOMPARE(t.rowNumber(), 1);
    QCOMPARE(t.asInteger(Code), 1);
    t.setFilter(QStringLiteral("AvailabilityFlag=-1"));
    QCOMPARE(t.rowCount(), 0);
    QCOMPARE(t.rowNumber(), 0);
    QVERIFY(t.atEnd());
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.asString(Name));
    t.setFiltered(false);
    QCOMPARE(t.rowCount(), 6);
    QCOMPARE(t.rowNumber(), 1);
}

void TestRecordTable::unparsableFilterLeavesViewUnfiltered()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 4; ++i)
        addPrice(t, i, i, QStringLiteral("n%1").arg(i));

    t.setFilter(QStringLiteral("Name LIKE"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setFiltered(true));
    QVERIFY(!t.isFiltered());
    QCOMPARE(t.rowCount(), 4);

    // A good filter first, then a bad text: filtering ends, all rows show.
    t.setFilter(QStringLiteral("AvailabilityFlag>=3"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 2);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setFilter(QStringLiteral("(CODE=1")));
    QVERIFY(!t.isFiltered());
    QCOMPARE(t.rowCount(), 4);
    QCOMPARE(t.filter(), QStringLiteral("(CODE=1"));

    // A field the table lacks is refused the same way.
    t.setFilter(QStringLiteral("Colour='red'"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setFiltered(true));
    QVERIFY(!t.isFiltered());
    QCOMPARE(t.rowCount(), 4);
}

void TestRecordTable::filterTextChangedWhileOff()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 4; ++i)
        addPrice(t, i, i, QStringLiteral("n%1").arg(i));
    t.setFilter(QStringLiteral("this does not parse ("));
    QVERIFY(!t.isFiltered());
    QCOMPARE(t.rowCount(), 4);
    t.setFilter(QStringLiteral("CODE>=3"));
    QCOMPARE(t.rowCount(), 4);
    t.setFiltered(true);
    QCOMPARE(codes(t), (QList<int>{3, 4}));
    QCOMPARE(t.filter(), QStringLiteral("CODE>=3"));
}

void TestRecordTable::postLeavingTheViewMovesToNextRow()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 6, 1, QStringLiteral("a"));
    addPrice(t, 1, 2, QStringLiteral("b"));
    addPrice(t, 7, 3, QStringLiteral("c"));
    addPrice(t, 5, 4, QStringLiteral("d"));
    t.setFilter(QStringLiteral("AvailabilityFlag>=5"));
    t.setFiltered(true);
    QCOMPARE(codes(t), (QList<int>{1, 3, 4}));

    t.setRowNumber(2);
    t.edit();
    t.setInteger(Flag, 2);
    t.post();
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.asInteger(Code), 4);
    QVERIFY(!t.atEnd());

    // The last row of the view leaves: at end, no row follows.
    t.edit();
    t.setInteger(Flag, 0);
    t.post();
    QVERIFY(t.atEnd());
    QCOMPARE(t.rowCount(), 1);
    QCOMPARE(t.rowNumber(), 1);

    // A row that stays keeps its place.
    t.first();
    t.edit();
    t.setInteger(Flag, 9);
    t.post();
    QCOMPARE(t.asInteger(Code), 1);
    QVERIFY(!t.atEnd());
}

void TestRecordTable::restorePriceDataLoop_data()
{
    QTest::addColumn<QString>("index");
    QTest::newRow("insertion order") << QString();
    QTest::newRow("PreName") << QStringLiteral("PreName");
    QTest::newRow("RevName") << QStringLiteral("RevName");
    QTest::newRow("ordered by the flag being changed") << QStringLiteral("PreAvailabilityFlag");
    QTest::newRow("descending by the flag") << QStringLiteral("RevAvailabilityFlag");
}

void TestRecordTable::restorePriceDataLoop()
{
    QFETCH(QString, index);
    RecordTable t(QStringLiteral("PriceDataSet"));
    const Consistency tChecked(t);
    openPrice(t);
    t.suspendViews();
    for (int i = 0; i < 300; ++i)
        addPrice(t, (i % 3 == 0) ? 5 + i % 5 : i % 5, i + 1, QStringLiteral("Деталь %1").arg(299 - i));
    t.resumeViews();
    t.setIndexName(index);
    t.setFilter(QStringLiteral("Name LIKE '%1%'"));
    t.setFiltered(true);

    // As the order close does: remember the user's filter, walk the marked
    // rows without Next, restore the filter.
    const QString savedFilter = t.filter();
    const bool savedFiltered = t.isFiltered();
    t.setFilter(QStringLiteral("AvailabilityFlag>=5"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 100);
    int steps = 0;
    t.first();
    while (!t.atEnd()) {
        t.edit();
        t.setInteger(Flag, t.asInteger(Flag) - 5);
        t.post();
        QVERIFY(++steps <= 100);
    }
    QCOMPARE(steps, 100);
    QCOMPARE(t.rowCount(), 0);
    t.setFiltered(false);
    t.setFilter(savedFilter);
    t.setFiltered(savedFiltered);

    t.setFiltered(false);
    QCOMPARE(t.rowCount(), 300);
    for (int r = 0; r < t.rowCount(); ++r)
        QVERIFY(t.integerAt(r, Flag) < 5);
}

void TestRecordTable::postReplacesRowInIndexOrder()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("b"));
    addPrice(t, 1, 2, QStringLiteral("d"));
    addPrice(t, 1, 3, QStringLiteral("f"));
    t.setIndexName(QStringLiteral("PreName"));
    t.first();
    t.edit();
    t.setString(Name, QStringLiteral("e"));
    t.post();
    QCOMPARE(names(t), (QStringList{"d", "e", "f"}));
    QCOMPARE(t.rowNumber(), 2);
    QCOMPARE(t.asInteger(Code), 1);

    t.setIndexName(QStringLiteral("RevName"));
    QCOMPARE(names(t), (QStringList{"f", "e", "d"}));
    t.last();
    t.edit();
    t.setString(Name, QStringLiteral("z"));
    t.post();
    QCOMPARE(names(t), (QStringList{"z", "f", "e"}));
    QCOMPARE(t.rowNumber(), 1);

    // The other orders see the change too.
    t.setIndexName(QStringLiteral("PreName"));
    QCOMPARE(names(t), (QStringList{"e", "f", "z"}));
}

void TestRecordTable::editAndCancel()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("Болт"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setString(Name, QStringLiteral("x"))); // not editing
    t.edit();
    t.setString(Name, QStringLiteral("Гайка"));
    QCOMPARE(t.asString(Name), QStringLiteral("Гайка")); // the edit shows while editing
    t.cancel();
    QVERIFY(!t.isEditing());
    QCOMPARE(t.asString(Name), QStringLiteral("Болт"));
    t.edit();
    t.setNull(Price);
    t.setValue(OldPrice, QVariant(2.5));
    t.post();
    QVERIFY(t.isNull(Price));
    QCOMPARE(t.asFloat(OldPrice), 2.5);
    // Moving the cursor stores a pending edit.
    addPrice(t, 1, 2, QStringLiteral("Шайба"));
    t.first();
    t.edit();
    t.setString(Pack, QStringLiteral("10"));
    t.next();
    QVERIFY(!t.isEditing());
    QCOMPARE(t.stringAt(0, Pack), QStringLiteral("10"));
}

void TestRecordTable::settersRefuseBadValues()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("a"));
    t.edit();
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setString(Flag, QStringLiteral("40000")));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setInteger(Flag, 40000));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setInteger(Code, qint64(1) << 32));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setString(Price, QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setFloat(Flag, 1e10));
    t.setFloat(Flag, 2.6);        // rounded
    t.setString(Code, QString()); // unsets
    t.post();
    QCOMPARE(t.asInteger(Flag), 3);
    QVERIFY(t.isNull(Code));
    QCOMPARE(t.asString(Name), QStringLiteral("a"));
}

void TestRecordTable::deleteMakesNextRowCurrent()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 4; ++i)
        addPrice(t, 1, i, QStringLiteral("n%1").arg(i));
    t.setIndexName(QStringLiteral("RevCODE"));
    t.setRowNumber(2); // code 3
    t.deleteRow();
    QCOMPARE(codes(t), (QList<int>{4, 2, 1}));
    QCOMPARE(t.asInteger(Code), 2);
    t.last();
    t.deleteRow();
    QVERIFY(t.atEnd());
    QCOMPARE(t.asInteger(Code), 2);
    t.setIndexName(QString());
    QCOMPARE(codes(t), (QList<int>{2, 4}));
    t.first();
    t.deleteRow();
    t.deleteRow();
    QCOMPARE(t.rowCount(), 0);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.deleteRow());

    // Under an ascending index the view reads the store's own order; a
    // deleted row leaves it as it leaves any view.
    for (int code : {3, 2, 1})
        addPrice(t, 1, code, QStringLiteral("n"));
    t.setIndexName(QStringLiteral("PreCODE"));
    t.setRowNumber(2);
    t.deleteRow();
    QCOMPARE(codes(t), (QList<int>{1, 3}));
    QCOMPARE(t.asInteger(Code), 3);
}

void TestRecordTable::emptyAndReopen()
{
    RecordTable t(QStringLiteral("PriceDataSet"));
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("a"));
    t.setFilter(QStringLiteral("CODE=1"));
    t.setFiltered(true);
    t.setIndexName(QStringLiteral("PreName"));
    t.empty();
    QVERIFY(t.isActive());
    QCOMPARE(t.rowCount(), 0);
    addPrice(t, 1, 1, QStringLiteral("a"));
    addPrice(t, 1, 2, QStringLiteral("b"));
    QCOMPARE(t.rowCount(), 1);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.open(PriceLoader::priceFields()));
    t.close();
    QVERIFY(!t.isActive());
    QCOMPARE(t.fieldCount(), 0);
    QCOMPARE(t.rowCount(), 0);
    QVERIFY(!t.isFiltered());
    QCOMPARE(t.filter(), QString());
    QVERIFY(t.indexNames().isEmpty());
    QCOMPARE(t.indexName(), QString());
    QCOMPARE(t.findField(QStringLiteral("Name")), -1);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.appendRow(QStringList{"1"}));
    openPrice(t);
    QCOMPARE(t.rowCount(), 0);
    QCOMPARE(t.fieldByName(QStringLiteral("code")), 1);
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.fieldByName(QStringLiteral("Colour")));
}

// --- order ----------------------------------------------------------------------------

void TestRecordTable::indexOrder_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<QStringList>("expected");
    // Case is significant; texts compare by their Windows-1251 bytes, so
    // Latin before Cyrillic, capitals before small letters, Ё and ё before А.
    QTest::newRow("ascending") << "PreName" << QStringList{"A", "Ab", "B", "a", "b", "Ё", "ё", "А", "Б", "а", "б"};
    QTest::newRow("descending is the reverse")
        << "RevName" << QStringList{"б", "а", "Б", "А", "ё", "Ё", "b", "a", "B", "Ab", "A"};
    // Equal keys keep the order in which the rows were added.
    QTest::newRow("case-insensitive index")
        << "CiName" << QStringList{"A", "a", "Ab", "b", "B", "ё", "Ё", "а", "А", "Б", "б"};
}

void TestRecordTable::indexOrder()
{
    QFETCH(QString, index);
    QFETCH(QStringList, expected);
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.addIndexDef(QStringLiteral("CiName"), QStringLiteral("name"), false, true);
    const QStringList input{"b", "Б", "A", "ё", "a", "а", "Ab", "B", "Ё", "А", "б"};
    for (int i = 0; i < input.size(); ++i)
        addPrice(t, 1, i, input[i]);
    t.setIndexName(index);
    QCOMPARE(names(t), expected);
}

void TestRecordTable::indexKeepsCurrentRow()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("c"));
    addPrice(t, 1, 2, QStringLiteral("a"));
    addPrice(t, 1, 3, QStringLiteral("b"));
    t.setRowNumber(3); // code 3, "b"
    t.setIndexName(QStringLiteral("PreName"));
    QCOMPARE(t.asInteger(Code), 3);
    QCOMPARE(t.rowNumber(), 2);
    t.setIndexFields(QStringLiteral("code"));
    QCOMPARE(t.indexName(), QString());
    QCOMPARE(t.indexFields(), QStringLiteral("code"));
    QCOMPARE(codes(t), (QList<int>{1, 2, 3}));
    QCOMPARE(t.rowNumber(), 3);
    t.setIndexName(QStringLiteral("revprice")); // names without case
    QCOMPARE(t.indexName(), QStringLiteral("RevPrice"));
    QCOMPARE(t.indexFields(), QString());
}

void TestRecordTable::indexAfterAppends()
{
    // Rows appended after the order was built take their places, in small
    // numbers and in bulk.
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.setIndexName(QStringLiteral("PreCODE"));
    for (int code : {50, 10, 30})
        addPrice(t, 1, code, QStringLiteral("x"));
    QCOMPARE(codes(t), (QList<int>{10, 30, 50}));
    QCOMPARE(t.asInteger(Code), 30); // the appended row is current
    t.suspendViews();
    for (int i = 0; i < 1000; ++i)
        addPrice(t, 1, (i * 7919) % 1000 + 100, QStringLiteral("x"));
    t.resumeViews();
    QCOMPARE(t.rowCount(), 1003);
    const QList<int> all = codes(t);
    QVERIFY(std::is_sorted(all.begin(), all.end()));
    t.setIndexName(QStringLiteral("RevCODE"));
    QCOMPARE(t.integerAt(0, Code), 1099);
    QCOMPARE(t.integerAt(1002, Code), 10);
}

void TestRecordTable::largeIndexOrder_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<bool>("caseInsensitive");
    QTest::newRow("case significant") << "PreName" << false;
    QTest::newRow("case-insensitive") << "CiName" << true;
}

void TestRecordTable::largeIndexOrder()
{
    // A list long enough to be ordered on two cores, with long common
    // prefixes, repeated names and names that are prefixes of others, comes
    // out as a stable sort of the names would order it.
    QFETCH(QString, index);
    QFETCH(bool, caseInsensitive);
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.addIndexDef(QStringLiteral("CiName"), QStringLiteral("name"), false, true);
    const QStringList stems{"Bolt M8x40 DIN 933 zinc", "bolt M8x40 DIN 933", "Nut M8", "NUT M8 DIN 934 ", "A", ""};
    QRandomGenerator rng(16);
    QStringList input;
    t.suspendViews();
    for (int i = 0; i < 120000; ++i) {
        QString name = stems[int(rng.bounded(stems.size()))];
        name.truncate(int(rng.bounded(name.size() + 1)));
        if (rng.bounded(2))
            name += QString::number(rng.bounded(300));
        input.append(name);
        addPrice(t, 1, i, name);
    }
    t.resumeViews();
    if (caseInsensitive) {
        for (QString &name : input)
            name = name.toLower();
    }
    QList<int> expected(input.size());
    std::iota(expected.begin(), expected.end(), 0);
    std::stable_sort(expected.begin(), expected.end(), [&](int a, int b) { return input[a] < input[b]; });
    t.setIndexName(index);
    QCOMPARE(codes(t), expected);
}

void TestRecordTable::unknownIndexRefused()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("a"));
    t.setIndexName(QStringLiteral("PreName"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setIndexName(QStringLiteral("NoSuchIndex")));
    QCOMPARE(t.indexName(), QStringLiteral("PreName"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.addIndexDef(QStringLiteral("PreName"), QStringLiteral("Name")));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.addIndexDef(QStringLiteral("X"), QStringLiteral("Colour")));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.setIndexFields(QStringLiteral("Colour")));
    t.clearIndexDefs();
    QCOMPARE(t.indexName(), QString());
    QVERIFY(t.indexNames().isEmpty());
}

void TestRecordTable::sortOnFieldReordersRows()
{
    RecordTable t(QStringLiteral("OrderDataSet"));
    const Consistency tChecked(t);
    t.open({{QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
            {QStringLiteral("Code"), FieldType::I4, 0},
            {QStringLiteral("Name"), FieldType::String, 200},
            {QStringLiteral("Count"), FieldType::I4, 0}});
    const QList<QStringList> rows = {
        {"1", "1", "b", "5"}, {"1", "2", "B", "3"}, {"1", "3", "a", "5"}, {"1", "4", "b", "1"}, {"1", "5", "A", "3"}};
    for (const QStringList &row : rows)
        t.appendRow(row);
    t.setRowNumber(3); // code 3
    t.sortOnField(QStringLiteral("name"), false);
    QCOMPARE(codes(t, 1), (QList<int>{5, 2, 3, 1, 4})); // case significant, stable
    QCOMPARE(t.asInteger(1), 3);                        // the same row stays current
    t.sortOnField(QStringLiteral("Count"), true);
    QCOMPARE(codes(t, 1), (QList<int>{3, 1, 5, 2, 4})); // equal counts keep the previous order
    // The order is the rows' own: a clone sees it and new rows go last.
    auto other = t.clone();
    QCOMPARE(codes(*other, 1), (QList<int>{3, 1, 5, 2, 4}));
    t.appendRow(QStringList{"1", "6", "c", "9"});
    QCOMPARE(codes(t, 1), (QList<int>{3, 1, 5, 2, 4, 6}));
}

void TestRecordTable::groupFirstUnderIndex()
{
    RecordTable t(QStringLiteral("ModelsDataSet"));
    const Consistency tChecked(t);
    t.open(modelFields());
    t.addIndexDef(QStringLiteral("Brand"), QStringLiteral("Brand"));
    const QList<QStringList> rows = {{"1", "BMW", "X5"},  {"2", "AUDI", "A4"}, {"3", "audi", "80"},
                                     {"4", "AUDI", "A6"}, {"5", "BMW", "X3"},  {"6", "VAZ", "2106"}};
    for (const QStringList &row : rows)
        t.appendRow(row);
    t.setIndexName(QStringLiteral("Brand"));
    QStringList brands;
    for (t.first(); !t.atEnd(); t.next())
        if (t.isGroupFirst())
            brands.append(t.asString(1));
    QCOMPARE(brands, (QStringList{"AUDI", "BMW", "VAZ", "audi"}));
}

// --- locate ---------------------------------------------------------------------------

void TestRecordTable::locateFindsFirstInViewOrder()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 7, QStringLiteral("b"));
    addPrice(t, 1, 8, QStringLiteral("x"));
    addPrice(t, 1, 7, QStringLiteral("c"));
    addPrice(t, 1, 7, QStringLiteral("a"));
    t.setIndexName(QStringLiteral("RevName"));
    t.first();
    QVERIFY(t.locate(QStringLiteral("Code"), 7));
    QCOMPARE(t.asString(Name), QStringLiteral("c"));
    t.setIndexName(QStringLiteral("PreName"));
    QVERIFY(t.locate(QStringLiteral("Code"), QStringLiteral("7")));
    QCOMPARE(t.asString(Name), QStringLiteral("a"));
    QVERIFY(!t.locate(QStringLiteral("Code"), 9));
    QCOMPARE(t.asString(Name), QStringLiteral("a"));
}

void TestRecordTable::locateIgnoresRowsHiddenByFilter()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 200; ++i)
        addPrice(t, i % 2, i, QStringLiteral("n%1").arg(i));
    t.setFilter(QStringLiteral("AvailabilityFlag=1"));
    t.setFiltered(true);
    t.setRowNumber(10);
    QVERIFY(!t.locate(QStringLiteral("CODE"), 42));
    QCOMPARE(t.rowNumber(), 10);
    QVERIFY(t.locate(QStringLiteral("CODE"), 43));
    QCOMPARE(t.rowNumber(), 22);
    QVERIFY(!t.locate(QStringLiteral("Name"), QStringLiteral("n42")));
    QVERIFY(t.locate(QStringLiteral("Name"), QStringLiteral("n45")));
    QCOMPARE(t.asInteger(Code), 45);
}

void TestRecordTable::locateInLargeViews()
{
    // A view too long to scan: codes close together are looked up through a
    // table by value, with duplicates, a filter, an index and rows appended
    // and changed after the table was built.
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.suspendViews();
    for (int i = 0; i < 20000; ++i)
        addPrice(t, i % 4, i % 1000, QStringLiteral("n%1").arg(19999 - i, 5, 10, QLatin1Char('0')));
    t.resumeViews();
    QVERIFY(t.locate(QStringLiteral("code"), 123));
    QCOMPARE(t.rowNumber(), 124);
    t.setIndexName(QStringLiteral("PreName")); // names descend as rows ascend
    QVERIFY(t.locate(QStringLiteral("code"), 123));
    QCOMPARE(t.asString(Name), QStringLiteral("n00876")); // row 19123, first by name
    t.setFilter(QStringLiteral("AvailabilityFlag=3"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 5000);
    QVERIFY(t.locate(QStringLiteral("code"), 123)); // rows 123, 1123, ... all have flag 3
    QCOMPARE(t.asString(Name), QStringLiteral("n00876"));
    QVERIFY(!t.locate(QStringLiteral("code"), 124)); // their flags are 0
    QVERIFY(!t.locate(QStringLiteral("code"), 1000));
    QVERIFY(!t.locate(QStringLiteral("code"), 12.5));
    addPrice(t, 3, 124, QStringLiteral("m"));
    QVERIFY(t.locate(QStringLiteral("code"), 124));
    QCOMPARE(t.rowNumber(), 1);
    t.edit();
    t.setInteger(Code, 99999);
    t.post();
    QVERIFY(!t.locate(QStringLiteral("code"), 124));
    QVERIFY(t.locate(QStringLiteral("code"), QStringLiteral(" 99999 ")));
    QCOMPARE(t.rowNumber(), 1);
    QVERIFY(!t.locate(QStringLiteral("Price"), 2.5));
    QVERIFY(t.locate(QStringLiteral("Price"), 1));
}

void TestRecordTable::locateWithCodesFarApart()
{
    // Codes too far apart for a table by value: a long view is looked up
    // through the hash of the rows.
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    t.suspendViews();
    for (int i = 0; i < 10000; ++i)
        addPrice(t, i % 2, (i % 5000) * 100000 - 250000000,
                 QStringLiteral("n%1").arg(9999 - i, 4, 10, QLatin1Char('0')));
    t.resumeViews();
    t.setIndexName(QStringLiteral("PreName"));
    QVERIFY(t.locate(QStringLiteral("Code"), -250000000 + 700000));
    QCOMPARE(t.asString(Name), QStringLiteral("n4992")); // row 5007 comes before row 7 by name
    QVERIFY(!t.locate(QStringLiteral("Code"), 1));
    t.setFilter(QStringLiteral("AvailabilityFlag=1"));
    t.setFiltered(true);
    QCOMPARE(t.rowCount(), 5000);
    QVERIFY(t.locate(QStringLiteral("Code"), -250000000 + 700000));
    QCOMPARE(t.asString(Name), QStringLiteral("n4992"));
    QVERIFY(!t.locate(QStringLiteral("Code"), -250000000 + 800000)); // rows 8 and 5008 have flag 0
}

void TestRecordTable::locateTextOptions()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("Болт М8"));
    addPrice(t, 1, 2, QStringLiteral("болт М10"));
    addPrice(t, 1, 3, QStringLiteral("Болт"));
    QVERIFY(t.locate(QStringLiteral("Name"), QStringLiteral("Болт")));
    QCOMPARE(t.asInteger(Code), 3);
    QVERIFY(!t.locate(QStringLiteral("Name"), QStringLiteral("болт")));
    QVERIFY(t.locate(QStringLiteral("Name"), QStringLiteral("болт"), true));
    QCOMPARE(t.asInteger(Code), 3);
    QVERIFY(t.locate(QStringLiteral("Name"), QStringLiteral("БОЛТ М"), true, true));
    QCOMPARE(t.asInteger(Code), 1);
    QVERIFY(t.locate(QStringLiteral("Name"), QStringLiteral("болт М1"), false, true));
    QCOMPARE(t.asInteger(Code), 2);
    QVERIFY(!t.locate(QStringLiteral("Name"), QStringLiteral("中"), true, true));
    // A numeric field ignores the options: the digits typed so far must
    // equal a code.
    QVERIFY(!t.locate(QStringLiteral("Code"), QStringLiteral("0"), true, true));
    QVERIFY(t.locate(QStringLiteral("Code"), QStringLiteral("1"), true, true));
    QCOMPARE(t.asString(Name), QStringLiteral("Болт М8"));
}

void TestRecordTable::locateRefusesNonNumberForNumericField()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    addPrice(t, 1, 1, QStringLiteral("a"));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.locate(QStringLiteral("Code"), QStringLiteral("1a")));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.locate(QStringLiteral("Code"), QString()));
    QVERIFY_THROWS_EXCEPTION(OrdixError, t.locate(QStringLiteral("Colour"), 1));
    QCOMPARE(t.rowNumber(), 1);
}

// --- linking and clones ----------------------------------------------------------

void TestRecordTable::linkFollowsMaster()
{
    RecordTable models(QStringLiteral("ModelsDataSet"));
    const Consistency modelsChecked(models);
    models.open(modelFields());
    models.appendRow(QStringList{"1", "AUDI", "A4"});
    models.appendRow(QStringList{"2", "AUDI", "A6"});
    models.appendRow(QStringList{"3", "BMW", "X5"});
    RecordTable assignments(QStringLiteral("ModelsAsgDataSet"));
    const Consistency assignmentsChecked(assignments);
    assignments.open(assignmentFields());
    for (const QStringList &row : QList<QStringList>{{"1", "17"}, {"2", "17"}, {"1", "23"}, {"3", "5"}, {"1", "9"}})
        assignments.appendRow(row);
    assignments.addIndexDef(QStringLiteral("CODESPAIR"), QStringLiteral("CODESPAIR"));

    models.first();
    assignments.linkToMaster(&models, QStringLiteral("CODEMODEL"), QStringLiteral("CODE"));
    QVERIFY(assignments.isLinked());
    QCOMPARE(codes(assignments, 1), (QList<int>{17, 23, 9}));
    QCOMPARE(assignments.rowNumber(), 1);

    models.next();
    QCOMPARE(codes(assignments, 1), QList<int>{17});
    models.last();
    QCOMPARE(codes(assignments, 1), QList<int>{5});

    // The detail keeps its own order and filter inside the link.
    models.first();
    assignments.setIndexName(QStringLiteral("CODESPAIR"));
    QCOMPARE(codes(assignments, 1), (QList<int>{9, 17, 23}));
    assignments.setFilter(QStringLiteral("CODESPAIR>=10"));
    assignments.setFiltered(true);
    QCOMPARE(codes(assignments, 1), (QList<int>{17, 23}));
    assignments.setFiltered(false);
    assignments.setIndexName(QString());

    // A master filter that hides every model leaves the detail empty.
    models.setFilter(QStringLiteral("Brand='LADA'"));
    models.setFiltered(true);
    QCOMPARE(assignments.rowCount(), 0);
    models.setFiltered(false);
    QCOMPARE(codes(assignments, 1), (QList<int>{17, 23, 9}));

    // Rows added to the detail join the view when they match.
    assignments.appendRow(QStringList{"1", "40"});
    assignments.appendRow(QStringList{"2", "41"});
    QCOMPARE(codes(assignments, 1), (QList<int>{17, 23, 9, 40}));

    assignments.unlink();
    QVERIFY(!assignments.isLinked());
    QCOMPARE(assignments.rowCount(), 7);
}

void TestRecordTable::linkDetailToPriceTable()
{
    RecordTable price(QStringLiteral("PriceDataSet"));
    const Consistency priceChecked(price);
    openPrice(price);
    price.suspendViews();
    for (int i = 1; i <= 500; ++i)
        addPrice(price, 1, i, QStringLiteral("p%1").arg(i));
    price.resumeViews();
    RecordTable assignments;
    const Consistency assignmentsChecked(assignments);
    assignments.open(assignmentFields());
    for (int i = 0; i < 3000; ++i)
        assignments.appendRow(QStringList{QString::number(i % 7), QString::number(i % 500 + 1)});
    price.setRowNumber(42);
    assignments.linkToMaster(&price, QStringLiteral("CODESPAIR"), QStringLiteral("CODE"));
    QCOMPARE(assignments.rowCount(), 6);
    QStringList t;
    for (assignments.first(); !assignments.atEnd(); assignments.next())
        t.append(QStringLiteral("Code=") + assignments.asString(0));
    QCOMPARE(t.join(QLatin1String(" or ")), QStringLiteral("Code=6 or Code=2 or Code=5 or Code=1 or Code=4 or Code=0"));
    // Walking the master moves the detail.
    price.next();
    QCOMPARE(assignments.rowCount(), 6);
    QCOMPARE(assignments.asInteger(1), 43);
    assignments.unlink();
    QCOMPARE(assignments.rowCount(), 3000);
}

void TestRecordTable::clonesHaveTheirOwnCursor()
{
    RecordTable models(QStringLiteral("ModelsDataSet"));
    const Consistency modelsChecked(models);
    models.open(modelFields());
    models.addIndexDef(QStringLiteral("Brand"), QStringLiteral("Brand"));
    models.appendRow(QStringList{"3", "VAZ", "2106"});
    models.appendRow(QStringList{"1", "AUDI", "A4"});
    models.appendRow(QStringList{"2", "BMW", "X5"});
    models.setIndexName(QStringLiteral("Brand"));
    models.setFilter(QStringLiteral("Brand='BMW'"));
    models.setFiltered(true);
    QCOMPARE(models.rowCount(), 1);

    {
        auto copy = models.clone();
        QVERIFY(copy->isActive());
        QCOMPARE(copy->rowCount(), 3); // all rows, file order
        QCOMPARE(codes(*copy, 0), (QList<int>{3, 1, 2}));
        copy->setFilter(QStringLiteral("Code=1 or Code=3"));
        copy->setFiltered(true);
        QCOMPARE(codes(*copy, 0), (QList<int>{3, 1}));
        copy->last();
        QCOMPARE(models.rowCount(), 1);
        QCOMPARE(models.asString(1), QStringLiteral("BMW"));

        // Rows added through the original show in the clone.
        models.appendRow(QStringList{"4", "AUDI", "A6"});
        QCOMPARE(copy->rowCount(), 2);
        copy->setFiltered(false);
        QCOMPARE(copy->rowCount(), 4);
        // A change through the clone shows in the original.
        copy->first();
        copy->edit();
        copy->setString(1, QStringLiteral("BMW"));
        copy->post();
        QCOMPARE(models.rowCount(), 2);
    }
    QCOMPARE(models.rowCount(), 2);
    models.setFiltered(false);
    QCOMPARE(models.rowCount(), 4);

    // Two views in an index's whole order read one permutation; the one that
    // takes a new row into it leaves the other's rows as they were.
    auto copy = models.clone();
    copy->setIndexName(QStringLiteral("Brand"));
    QCOMPARE(copy->rowCount(), 4);
    models.appendRow(QStringList{"5", "BMW", "M3"});
    models.setIndexName(QStringLiteral("Brand"));
    QCOMPARE(copy->rowCount(), 5);
    QCOMPARE(codes(*copy, 0), codes(models, 0));
}

// --- notifications ------------------------------------------------------------------

void TestRecordTable::suspendAndResume()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    int views = 0;
    int scrolls = 0;
    const int id = t.onViewChanged([&] { ++views; });
    t.setAfterScroll([&] { ++scrolls; });
    addPrice(t, 1, 1, QStringLiteral("a"));
    QCOMPARE(views, 1);
    views = 0;
    scrolls = 0;

    t.suspendViews();
    t.suspendViews();
    QVERIFY(t.viewsSuspended());
    addPrice(t, 1, 2, QStringLiteral("b"));
    t.setFilter(QStringLiteral("CODE>=1"));
    t.setFiltered(true);
    t.first();
    t.next();
    t.resumeViews();
    QCOMPARE(views, 0);
    QCOMPARE(scrolls, 0);
    QVERIFY(t.viewsSuspended());
    t.resumeViews();
    QVERIFY(!t.viewsSuspended());
    QCOMPARE(views, 1);
    QCOMPARE(scrolls, 0);
    QCOMPARE(t.rowNumber(), 2);
    t.resumeViews(); // unpaired: ignored
    QCOMPARE(views, 1);

    t.removeListener(id);
    t.setFiltered(false);
    QCOMPARE(views, 1);
}

void TestRecordTable::afterScrollAndAfterPost()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 3; ++i)
        addPrice(t, 1, i, QStringLiteral("n"));
    int scrolls = 0;
    int posts = 0;
    t.setAfterScroll([&] { ++scrolls; });
    t.setAfterPost([&] { ++posts; });
    QVERIFY(t.afterScroll());
    t.first();
    QCOMPARE(scrolls, 1);
    t.next();
    t.next();
    QCOMPARE(scrolls, 3);
    t.next(); // at end: the current row stays
    QCOMPARE(scrolls, 3);
    t.setRowNumber(3); // already there
    QCOMPARE(scrolls, 3);
    QVERIFY(t.locate(QStringLiteral("Code"), 1));
    QCOMPARE(scrolls, 4);
    t.edit();
    t.setString(Name, QStringLiteral("m"));
    t.post();
    QCOMPARE(posts, 1);
    QCOMPARE(scrolls, 4);
    t.setAfterScroll(nullptr);
    t.next();
    QCOMPARE(scrolls, 4);
}

void TestRecordTable::rowChangedForInPlaceEdits()
{
    RecordTable t;
    const Consistency tChecked(t);
    openPrice(t);
    for (int i = 1; i <= 3; ++i)
        addPrice(t, 1, i, QStringLiteral("n%1").arg(i));
    QList<int> changed;
    int views = 0;
    t.onRowChanged([&](int row) { changed.append(row); });
    t.onViewChanged([&] { ++views; });
    t.setRowNumber(2);
    t.edit();
    t.setString(Pack, QStringLiteral("10"));
    t.post();
    QCOMPARE(changed, QList<int>{1});
    QCOMPARE(views, 0);
}

// --- the fast path against the row-by-row path ------------------------------------------

void TestRecordTable::fastAndRowByRowFilteringAgree()
{
    // Random names from a small alphabet, so that every kind of match occurs,
    // with some rows changed after loading (their text moves in the store).
    QRandomGenerator rng(12345);
    const QStringList syllables{"бол", "БОЛ", "т", "Т", "ка", "ё", "Ё", "a", "A", "%", "'", " ", "М8"};
    QList<QStringList> rows;
    for (int i = 0; i < 3000; ++i) {
        QString name;
        const int parts = int(rng.bounded(5));
        for (int k = 0; k < parts; ++k)
            name += syllables[int(rng.bounded(syllables.size()))];
        rows.append(QStringList{QString::number(rng.bounded(10)), QString::number(i), name, QString(), QString(),
                                QString(), QString::number(rng.bounded(100))});
    }
    const QStringList filters{
        "((Name LIKE '%болт%') or (Name='болт*'))",
        "Name LIKE '%т%ка%'",
        "Name LIKE 'бол%'",
        "Name LIKE '%ё'",
        "Name='ёт'",
        "Name LIKE '%''%'",
        "Name LIKE '%%%'",
        "NOT Name LIKE '%a%' AND AvailabilityFlag>=5",
        "(Price>=50) and ((Name LIKE '%м8%') or (Name='м8*'))",
        "Name>='к'",
    };

    RecordTable loaded;
    const Consistency loadedChecked(loaded);
    openPrice(loaded);
    loaded.suspendViews();
    for (const QStringList &row : rows)
        loaded.appendRow(row);
    loaded.resumeViews();
    for (int i = 0; i < 3000; i += 7) {
        loaded.setRowNumber(i + 1);
        loaded.edit();
        loaded.setString(Name, rows[i][Name] + QStringLiteral("болт"));
        loaded.post();
        rows[i][Name] += QStringLiteral("болт");
    }

    for (const QString &filter : filters) {
        loaded.setFilter(filter);
        loaded.setFiltered(true);
        RecordTable growing;
        const Consistency growingChecked(growing);
        openPrice(growing);
        growing.setFilter(filter);
        growing.setFiltered(true);
        for (const QStringList &row : rows)
            growing.appendRow(row);
        QVERIFY2(growing.rowCount() > 0, qPrintable(filter));
        QCOMPARE(codes(loaded), codes(growing));
    }
}

QTEST_APPLESS_MAIN(TestRecordTable)
#include "tst_recordtable.moc"
