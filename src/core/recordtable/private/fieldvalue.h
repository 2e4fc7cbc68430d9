#pragma once

#include <cstdint>
#include <limits>
#include <type_traits>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVariant>

#include "fielddef.h"
#include "recordtablestorage.h"

// The values of a record table's fields: texts, numbers and variants
// converted for a field's type on their way in, and a cell read back as
// text, number or variant on its way out.
namespace FieldValue
{
    // A value kept for a field while the row is being edited.
    struct Cell
    {
        bool unset = true;
        qint64 integer = 0;
        double number = 0;
        QByteArray text;
    };

    // A read-only look at one cell, stored or being edited.
    struct CellRef
    {
        FieldType type = FieldType::String;
        bool unset = true;
        qint64 integer = 0;
        double number = 0;
        const char *text = "";
        uint32_t length = 0;
    };

    inline bool isBlankChar(char16_t ch)
    {
        return ch == u' ' || ch == u'\t';
    }

    // One character of a text given as characters or as Windows-1251 bytes.
    template<typename View>
    char16_t unitAt(View text, qsizetype k)
    {
        if constexpr (std::is_same_v<View, QStringView>)
            return text[k].unicode();
        else
            return char16_t(static_cast<unsigned char>(text[k]));
    }

    // An integer: optional sign, decimal digits, blanks around allowed.
    template<typename View>
    bool parseInteger(View text, qint64 *value)
    {
        qsizetype i = 0;
        qsizetype end = text.size();
        while (i < end && isBlankChar(unitAt(text, i)))
            ++i;
        while (end > i && isBlankChar(unitAt(text, end - 1)))
            --end;
        bool negative = false;
        if (i < end && (unitAt(text, i) == u'-' || unitAt(text, i) == u'+')) {
            negative = unitAt(text, i) == u'-';
            ++i;
        }
        if (i == end)
            return false;
        qint64 result = 0;
        for (; i < end; ++i) {
            const char16_t ch = unitAt(text, i);
            if (ch < u'0' || ch > u'9')
                return false;
            if (result > (std::numeric_limits<qint64>::max() - 9) / 10)
                return false;
            result = result * 10 + (ch - u'0');
        }
        *value = negative ? -result : result;
        return true;
    }

    template<typename View>
    bool isBlankText(View text)
    {
        for (qsizetype i = 0; i < text.size(); ++i)
            if (!isBlankChar(unitAt(text, i)))
                return false;
        return true;
    }

    inline qint64 minOf(FieldType type)
    {
        return type == FieldType::I2 ? -32768 : qint64(std::numeric_limits<qint32>::min());
    }

    inline qint64 maxOf(FieldType type)
    {
        return type == FieldType::I2 ? 32767 : qint64(std::numeric_limits<qint32>::max());
    }

    [[noreturn]] void throwOutOfRange(const FieldDef &def, const QString &value);
    [[noreturn]] void throwNotConvertible(const FieldDef &def, const QString &value);

    // --- into a field: throw on a value that does not convert -------------
    // A text (characters or Windows-1251 bytes): cut to a text field's
    // width; blank for a number leaves the cell unset.
    void convertText(const FieldDef &def, QStringView text, Cell &cell);
    void convertText(const FieldDef &def, QByteArrayView text, Cell &cell);
    void convertInteger(const FieldDef &def, qint64 value, Cell &cell);
    void convertFloat(const FieldDef &def, double value, Cell &cell);
    // A null variant leaves the cell unset.
    void convertVariant(const FieldDef &def, const QVariant &value, Cell &cell);
    // The cell as the store takes it (pointing into the cell's text).
    CellInput inputOf(const Cell &cell);

    // --- out of a cell ------------------------------------------------------
    QString cellString(const CellRef &c);                       // unset: empty text
    qint64 cellInteger(const CellRef &c);                       // unset: 0; text: parsed, 0 when no number
    double cellFloat(const CellRef &c);                         // unset: 0
    QVariant cellValue(const CellRef &c);                       // unset: null
    QString cellDisplay(const CellRef &c, const QString &mask); // numbers by the mask
}
