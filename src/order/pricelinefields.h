#pragma once

#include <QString>

#include "pricefields.h"
#include "recordtable.h"

// The price list's fields an order line is made from, looked up once per
// command rather than per line.
struct PriceLineFields final
{
    explicit PriceLineFields(const RecordTable &price)
        : flag(PriceFields::of(price, PriceFields::AvailabilityFlag))
        , code(PriceFields::of(price, PriceFields::Code))
        , name(PriceFields::of(price, PriceFields::Name))
        , catalog(PriceFields::of(price, PriceFields::CatalogID))
        , producer(PriceFields::of(price, PriceFields::ProductionOf))
        , price(PriceFields::of(price, PriceFields::Price))
    { }

    int flag;
    int code;
    int name;
    int catalog;
    int producer;
    int price;
};
