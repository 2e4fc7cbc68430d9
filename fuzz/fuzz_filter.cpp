// Parses and evaluates an arbitrary filter text on a small price table. A
// text that does not parse must fail with OrdixError and leave the table
// unfiltered; one that parses must give a view no larger than the table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "cp1251.h"
#include "ordixerror.h"
#include "recordtable.h"

namespace
{
    [[noreturn]] void fail(const char *what)
    {
        std::fprintf(stderr, "fuzz_filter: %s\n", what);
        std::abort();
    }

    RecordTable &priceTable()
    {
        static RecordTable *table = [] {
            auto *t = new RecordTable(QStringLiteral("PriceDataSet"));
            t->open({
                {QStringLiteral("AvailabilityFlag"), FieldType::I2, 0},
                {QStringLiteral("CODE"), FieldType::I4, 0},
                {QStringLiteral("Name"), FieldType::String, 200},
                {QStringLiteral("CatalogID"), FieldType::String, 100},
                {QStringLiteral("Price"), FieldType::R8, 0},
                {QStringLiteral("Group"), FieldType::String, 200},
                {QStringLiteral("OldPrice"), FieldType::R8, 0},
            });
            t->appendRow(QStringList{"1", "12", "Болт М8", "N0101", "5.50", "Крепёж,Болты", ""});
            t->appendRow(QStringList{"6", "42", "БОЛТЫ", "", "1234567.5", "Болты", "1000"});
            t->appendRow(QStringList{"0", "-7", "Гайка 'М8'", "A%B_C", "0", "", "0"});
            t->appendRow(QStringList{"3", "2147483647", "filter oil", "W 712/75", "-1.25", "Filters", ""});
            t->appendRow(QStringList{"", "", "", "", "", "", ""});
            return t;
        }();
        return *table;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RecordTable &table = priceTable();
    const int allRows = [&table] {
        table.setFiltered(false);
        return table.rowCount();
    }();

    const QString text = Cp1251::decode(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    try {
        table.setFilter(text);
        table.setFiltered(true);
    } catch (const OrdixError &) {
        if (table.isFiltered())
            fail("a filter that failed left filtering on");
        if (table.rowCount() != allRows)
            fail("a filter that failed changed the view");
        return 0;
    }

    const int count = table.rowCount();
    if (count < 0 || count > allRows)
        fail("view larger than the table");
    // Walk the view as the grid and the loops of the program do.
    int seen = 0;
    for (table.first(); !table.atEnd(); table.next()) {
        if (++seen > count)
            fail("walking the view passed its row count");
        for (int f = 0; f < table.fieldCount(); ++f)
            (void)table.asString(f);
    }
    if (seen != count)
        fail("walking the view did not reach its row count");
    for (int r = 0; r < count; ++r)
        (void)table.displayTextAt(r, 2);
    table.setFiltered(false);
    if (table.rowCount() != allRows)
        fail("switching the filter off did not restore the view");
    return 0;
}
