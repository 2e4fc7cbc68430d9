#pragma once

#include <QList>
#include <QString>

#include "recordtable.h"

// The fields of the price table `PriceDataSet`: their positions in the table
// the price loaders build and their stored names. A price list opened from
// other data may hold them elsewhere, so the logic finds a field by its name
// (field names compare without case) and names it through this table.
class PriceFields final
{
public:
    // Field positions of the table the price loaders build.
    enum Field
    {
        AvailabilityFlag = 0,
        Code,
        Name,
        CatalogID,
        ProductionOf,
        Pack,
        Price,
        Group,
        Analogue,
        OldPrice
    };

    static constexpr int FieldCount = 10;

    // The stored name of a field ("CODE" for Code).
    static const QString &name(Field field);
    // The definitions of the loaders' table, in field order.
    static QList<FieldDef> definitions();

    // The field's position in `table`: fieldByName() (throws when missing)
    // and findField() (-1 when missing).
    static int of(const RecordTable &table, Field field) { return table.fieldByName(name(field)); }
    static int find(const RecordTable &table, Field field) { return table.findField(name(field)); }
    // Whether a field name (of a grid column, say) names `field`.
    static bool is(const QString &fieldName, Field field)
    {
        return fieldName.compare(name(field), Qt::CaseInsensitive) == 0;
    }
};
