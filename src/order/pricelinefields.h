#pragma once

#include <QString>

#include "recordtable.h"

// The price list's fields an order line is made from, looked up once per
// command rather than per line.
struct PriceLineFields final
{
    explicit PriceLineFields(const RecordTable &price)
        : flag(price.fieldByName(QStringLiteral("AvailabilityFlag")))
        , code(price.fieldByName(QStringLiteral("Code")))
        , name(price.fieldByName(QStringLiteral("Name")))
        , catalog(price.fieldByName(QStringLiteral("CatalogID")))
        , producer(price.fieldByName(QStringLiteral("ProductionOf")))
        , price(price.fieldByName(QStringLiteral("Price")))
    {
    }

    int flag;
    int code;
    int name;
    int catalog;
    int producer;
    int price;
};
