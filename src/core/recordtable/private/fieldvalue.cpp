#include "fieldvalue.h"

#include <algorithm>
#include <cmath>

#include "cp1251.h"
#include "ordixerror.h"
#include "recordtable.h"
#include "textfile.h"

using namespace FieldValue;

namespace
{
    qint64 checkedInteger(const FieldDef &def, qint64 value)
    {
        if (value < minOf(def.type) || value > maxOf(def.type))
            throwOutOfRange(def, QString::number(value));
        return value;
    }

    qint64 integerFromFloat(const FieldDef &def, double value)
    {
        if (!std::isfinite(value))
            throwNotConvertible(def, QString::number(value));
        const double rounded = std::round(value);
        if (rounded < double(minOf(def.type)) || rounded > double(maxOf(def.type)))
            throwOutOfRange(def, RecordTableStorage::numberText(value));
        return qint64(rounded);
    }

    // Converts a text (as characters or as Windows-1251 bytes) for a field.
    template<typename View>
    void convertTextOf(const FieldDef &def, View text, Cell &cell)
    {
        cell = Cell();
        if (def.type == FieldType::String) {
            if constexpr (std::is_same_v<View, QStringView>)
                cell.text = Cp1251::encode(text.left(def.width));
            else
                cell.text = QByteArray(text.data(), std::min<qsizetype>(text.size(), def.width));
            cell.unset = false;
            return;
        }
        auto shown = [&] {
            if constexpr (std::is_same_v<View, QStringView>)
                return text.toString();
            else
                return Cp1251::decode(text);
        };
        if (isBlankText(text))
            return; // empty text for a number: unset
        if (def.type == FieldType::R8) {
            double value = 0;
            if (!Decimal::parse(text, &value))
                throwNotConvertible(def, shown());
            cell.number = value;
        } else {
            qint64 value = 0;
            if (!parseInteger(text, &value))
                throwNotConvertible(def, shown());
            if (value < minOf(def.type) || value > maxOf(def.type))
                throwOutOfRange(def, shown().trimmed());
            cell.integer = value;
        }
        cell.unset = false;
    }
}

void FieldValue::convertText(const FieldDef &def, QStringView text, Cell &cell)
{
    convertTextOf(def, text, cell);
}

void FieldValue::convertText(const FieldDef &def, QByteArrayView text, Cell &cell)
{
    convertTextOf(def, text, cell);
}

void FieldValue::throwOutOfRange(const FieldDef &def, const QString &value)
{
    throw OrdixError(QStringLiteral("Value %1 is out of range for field %2 (%3..%4)")
                         .arg(value, def.name)
                         .arg(minOf(def.type))
                         .arg(maxOf(def.type)));
}

void FieldValue::throwNotConvertible(const FieldDef &def, const QString &value)
{
    throw OrdixError(def.type == FieldType::R8
                         ? QStringLiteral("'%1' is not a valid number for field %2").arg(value, def.name)
                         : QStringLiteral("'%1' is not a valid integer for field %2").arg(value, def.name));
}

void FieldValue::convertInteger(const FieldDef &def, qint64 value, Cell &cell)
{
    cell = Cell();
    cell.unset = false;
    switch (def.type) {
    case FieldType::I2:
    case FieldType::I4:
        cell.integer = checkedInteger(def, value);
        break;
    case FieldType::R8:
        cell.number = double(value);
        break;
    case FieldType::String:
        cell.text = QByteArray::number(value).left(def.width);
        break;
    }
}

void FieldValue::convertFloat(const FieldDef &def, double value, Cell &cell)
{
    cell = Cell();
    cell.unset = false;
    switch (def.type) {
    case FieldType::I2:
    case FieldType::I4:
        cell.integer = integerFromFloat(def, value);
        break;
    case FieldType::R8:
        if (!std::isfinite(value))
            throwNotConvertible(def, QString::number(value));
        cell.number = value;
        break;
    case FieldType::String:
        cell.text = Cp1251::encode(RecordTableStorage::numberText(value)).left(def.width);
        break;
    }
}

void FieldValue::convertVariant(const FieldDef &def, const QVariant &value, Cell &cell)
{
    if (!value.isValid() || value.isNull()) {
        cell = Cell();
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QString:
        convertText(def, QStringView(value.toString()), cell);
        return;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        convertText(def, QByteArrayView(bytes), cell);
        return;
    }
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        convertInteger(def, value.toLongLong(), cell);
        return;
    case QMetaType::ULong:
    case QMetaType::ULongLong: {
        const qulonglong v = value.toULongLong();
        if (v > qulonglong(std::numeric_limits<qint64>::max()))
            throwOutOfRange(def, QString::number(v));
        convertInteger(def, qint64(v), cell);
        return;
    }
    case QMetaType::Double:
    case QMetaType::Float:
        convertFloat(def, value.toDouble(), cell);
        return;
    default:
        break;
    }
    if (value.canConvert<QString>()) {
        convertText(def, QStringView(value.toString()), cell);
        return;
    }
    throw OrdixError(QStringLiteral("The value cannot be stored in field %1").arg(def.name));
}

CellInput FieldValue::inputOf(const Cell &cell)
{
    CellInput in;
    in.unset = cell.unset;
    in.integer = cell.integer;
    in.number = cell.number;
    in.text = cell.text.constData();
    in.length = uint32_t(cell.text.size());
    return in;
}

QString FieldValue::cellString(const CellRef &c)
{
    if (c.unset)
        return QString();
    switch (c.type) {
    case FieldType::I2:
    case FieldType::I4:
        return QString::number(c.integer);
    case FieldType::R8:
        return RecordTableStorage::numberText(c.number);
    case FieldType::String:
        return Cp1251::decode(QByteArrayView(c.text, c.length));
    }
    return QString();
}

qint64 FieldValue::cellInteger(const CellRef &c)
{
    if (c.unset)
        return 0;
    switch (c.type) {
    case FieldType::I2:
    case FieldType::I4:
        return c.integer;
    case FieldType::R8:
        return std::isfinite(c.number) ? qint64(std::llround(c.number)) : 0;
    case FieldType::String: {
        const QByteArrayView bytes(c.text, c.length);
        qint64 v = 0;
        if (parseInteger(bytes, &v))
            return v;
        double d = 0;
        if (Decimal::parse(bytes, &d) && std::fabs(d) < 9.2e18)
            return qint64(std::llround(d));
        return 0;
    }
    }
    return 0;
}

double FieldValue::cellFloat(const CellRef &c)
{
    if (c.unset)
        return 0;
    switch (c.type) {
    case FieldType::I2:
    case FieldType::I4:
        return double(c.integer);
    case FieldType::R8:
        return c.number;
    case FieldType::String: {
        double d = 0;
        return Decimal::parse(QByteArrayView(c.text, c.length), &d) ? d : 0;
    }
    }
    return 0;
}

QVariant FieldValue::cellValue(const CellRef &c)
{
    if (c.unset)
        return QVariant();
    switch (c.type) {
    case FieldType::I2:
    case FieldType::I4:
        return QVariant(int(c.integer));
    case FieldType::R8:
        return QVariant(c.number);
    case FieldType::String:
        return QVariant(Cp1251::decode(QByteArrayView(c.text, c.length)));
    }
    return QVariant();
}

QString FieldValue::cellDisplay(const CellRef &c, const QString &mask)
{
    if (c.unset)
        return QString();
    if (!mask.isEmpty() && c.type != FieldType::String)
        return RecordTable::formatByMask(cellFloat(c), mask);
    return cellString(c);
}
