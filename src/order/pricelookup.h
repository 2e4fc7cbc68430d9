#pragma once

#include <QChar>
#include <QString>

class RecordTable;

// The rule of the incremental search over the price list: a character typed
// into the search box is taken when the box's text followed by it begins a
// value of the searched field (the price list then moves to the first such
// row), when it is Backspace, or, in the code column, always for a text that
// is a number so far. Anything the search cannot use is refused and the
// current row stays.
class PriceLookup final
{
public:
    static constexpr char16_t Backspace = u'\b';

    // `lookupField`: the searched field's name (`LookupField`); empty takes
    // every character without searching.
    static bool offer(RecordTable &price, const QString &lookupField, const QString &boxText, QChar ch);
    // Whether the box's text names the current row, so that Enter may add
    // it: a number field (the code) must equal the text as a number, a text
    // field must begin with it in any letter case. An empty text, a text
    // that is no number for a number field, or no current row names nothing.
    static bool identifiesCurrent(const RecordTable &price, const QString &lookupField, const QString &boxText);
};
