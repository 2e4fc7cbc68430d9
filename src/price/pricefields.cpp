#include "pricefields.h"

namespace
{
    struct Entry
    {
        PriceFields::Field field;
        const char *name;
        FieldType type;
        int size;
    };

    // The one place the price table's field names stand.
    constexpr Entry Table[PriceFields::FieldCount] = {
        {PriceFields::AvailabilityFlag, "AvailabilityFlag", FieldType::I2, 0},
        {PriceFields::Code, "CODE", FieldType::I4, 0},
        {PriceFields::Name, "Name", FieldType::String, 200},
        {PriceFields::CatalogID, "CatalogID", FieldType::String, 100},
        {PriceFields::ProductionOf, "ProductionOf", FieldType::String, 100},
        {PriceFields::Pack, "Pack", FieldType::String, 20},
        {PriceFields::Price, "Price", FieldType::R8, 0},
        {PriceFields::Group, "Group", FieldType::String, 200},
        {PriceFields::Analogue, "Analogue", FieldType::String, 200},
        {PriceFields::OldPrice, "OldPrice", FieldType::R8, 0},
    };

    constexpr bool inOrder()
    {
        for (int i = 0; i < PriceFields::FieldCount; ++i) {
            if (Table[i].field != i)
                return false;
        }
        return true;
    }
    static_assert(inOrder(), "the table lists the fields in their order");
}

const QString &PriceFields::name(Field field)
{
    // Made once: lookups by name run in loops over many codes.
    static const QList<QString> names = [] {
        QList<QString> list;
        for (const Entry &entry : Table)
            list.append(QLatin1StringView(entry.name));
        return list;
    }();
    return names.at(field);
}

QList<FieldDef> PriceFields::definitions()
{
    QList<FieldDef> fields;
    fields.reserve(FieldCount);
    for (const Entry &entry : Table)
        fields.append({QLatin1StringView(entry.name), entry.type, entry.size});
    return fields;
}
