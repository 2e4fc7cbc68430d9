#include "pricelookup.h"

#include <QVariant>

#include "recordtable.h"

bool PriceLookup::offer(RecordTable &price, const QString &lookupField, const QString &boxText, QChar ch)
{
    if (lookupField.isEmpty())
        return true;
    // Backspace shortens the box; it does not search (a text with a control
    // character would be no number in the code column and be refused).
    if (ch == QChar(Backspace))
        return true;
    const QString candidate = boxText + ch;
    bool found = false;
    try {
        if (!price.isActive())
            return false;
        const int field = price.fieldByName(lookupField);
        // Numbers are found by equal value, texts by their beginning.
        const bool partial = !price.field(field).isNumeric();
        found = price.locate(lookupField, candidate, true, partial);
    } catch (...) {
        return false; // the search failed: the character is refused
    }
    return found || lookupField.compare(QLatin1String("code"), Qt::CaseInsensitive) == 0;
}

bool PriceLookup::identifiesCurrent(const RecordTable &price, const QString &lookupField, const QString &boxText)
{
    if (boxText.isEmpty() || lookupField.isEmpty() || !price.isActive() || price.rowCount() == 0)
        return false;
    const int field = price.findField(lookupField);
    if (field < 0)
        return false;
    if (price.field(field).isNumeric()) {
        bool number = false;
        const double typed = boxText.trimmed().toDouble(&number);
        return number && price.asFloat(field) == typed;
    }
    return price.asString(field).startsWith(boxText, Qt::CaseInsensitive);
}
