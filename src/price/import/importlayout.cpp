#include "importlayout.h"

#include <QCryptographicHash>
#include <QJsonArray>

#include "ordixerror.h"
#include "sheetnotes.h"

namespace
{
    struct FieldNames
    {
        const char *key;
        const char16_t *title;
    };

    constexpr FieldNames names[ImportFields::count] = {
        {"code", u"Код"},       {"name", u"Наименование"}, {"partNumber", u"Артикул"}, {"maker", u"Производитель"},
        {"pack", u"Кратность"}, {"price", u"Цена"},        {"group", u"Группа"},       {"analogues", u"Аналоги"},
        {"stock", u"Наличие"},
    };
}

QString ImportFields::key(ImportField field)
{
    const int i = int(field);
    return i >= 0 && i < count ? QString::fromLatin1(names[i].key) : QString();
}

ImportField ImportFields::fromKey(const QString &key)
{
    for (int i = 0; i < count; ++i) {
        if (key.compare(QLatin1String(names[i].key), Qt::CaseInsensitive) == 0)
            return ImportField(i);
    }
    return ImportField::None;
}

QString ImportFields::title(ImportField field)
{
    const int i = int(field);
    return i >= 0 && i < count ? QString::fromUtf16(names[i].title) : QStringLiteral("— не загружать —");
}

ImportField ImportLayout::fieldOfColumn(int column) const
{
    if (column < 0)
        return ImportField::None;
    for (int i = 0; i < ImportFields::count; ++i) {
        if (columns[size_t(i)] == column)
            return ImportField(i);
    }
    return ImportField::None;
}

bool ImportLayout::isComplete() const
{
    return column(ImportField::Name) >= 0 && column(ImportField::Price) >= 0
        && (column(ImportField::Code) >= 0 || column(ImportField::PartNumber) >= 0);
}

QString ImportLayout::missingFields() const
{
    QStringList missing;
    if (column(ImportField::Name) < 0)
        missing << ImportFields::title(ImportField::Name);
    if (column(ImportField::Price) < 0)
        missing << ImportFields::title(ImportField::Price);
    if (column(ImportField::Code) < 0 && column(ImportField::PartNumber) < 0)
        missing << ImportFields::title(ImportField::Code) + QStringLiteral(" или ")
                + ImportFields::title(ImportField::PartNumber);
    return missing.join(QStringLiteral(", "));
}

QString ImportLayout::normalizedHeader(const QString &cell)
{
    QString out;
    out.reserve(cell.size());
    for (QChar ch : cell) {
        if (!ch.isLetterOrNumber())
            continue;
        ch = ch.toLower();
        if (ch == u'ё')
            ch = u'е';
        out.append(ch);
    }
    return out;
}

QByteArray ImportLayout::fingerprint(const QStringList &header, const QString &sheet, int columnCount)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(normalizedHeader(sheet).toUtf8());
    hash.addData(QByteArray::number(columnCount));
    for (const QString &cell : header) {
        hash.addData(QByteArrayView("\x1f", 1));
        hash.addData(normalizedHeader(cell).toUtf8());
    }
    return hash.result().toHex().left(16);
}

QString ImportLayout::columnLetter(int column)
{
    return SheetNotes::columnName(column);
}

int ImportLayout::columnFromLetter(const QString &letters)
{
    if (letters.isEmpty() || letters.size() > 3)
        return -1;
    int n = 0;
    for (QChar ch : letters) {
        const char16_t c = ch.toUpper().unicode();
        if (c < u'A' || c > u'Z')
            return -1;
        n = n * 26 + (c - u'A' + 1);
    }
    return n - 1;
}

QJsonObject ImportLayout::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QStringLiteral("ordix-price-layout"));
    object.insert(QStringLiteral("version"), currentVersion);
    object.insert(QStringLiteral("name"), name);
    object.insert(QStringLiteral("format"), fileFormat);
    if (!sheet.isEmpty())
        object.insert(QStringLiteral("sheet"), sheet);
    object.insert(QStringLiteral("headerRow"), headerRow);
    object.insert(QStringLiteral("columnCount"), columnCount);
    object.insert(QStringLiteral("header"), QJsonArray::fromStringList(header));
    object.insert(QStringLiteral("fingerprint"), QString::fromLatin1(fingerprint()));
    QJsonObject mapping;
    for (int i = 0; i < ImportFields::count; ++i) {
        const int c = columns[size_t(i)];
        if (c < 0)
            continue;
        QJsonObject entry;
        entry.insert(QStringLiteral("column"), columnLetter(c));
        if (c < header.size())
            entry.insert(QStringLiteral("header"), header.at(c));
        mapping.insert(ImportFields::key(ImportField(i)), entry);
    }
    object.insert(QStringLiteral("columns"), mapping);
    if (!decimalMark.isNull())
        object.insert(QStringLiteral("decimalMark"), QString(decimalMark));
    if (!encoding.isEmpty())
        object.insert(QStringLiteral("encoding"), QString::fromLatin1(encoding));
    if (delimiter != 0)
        object.insert(QStringLiteral("delimiter"),
                      delimiter == '\t' ? QStringLiteral("\\t") : QString(QLatin1Char(delimiter)));
    return object;
}

ImportLayout ImportLayout::fromJson(const QJsonObject &object)
{
    if (object.value(QStringLiteral("kind")).toString() != QLatin1String("ordix-price-layout"))
        throw OrdixError(QStringLiteral("Это не файл столбцов прайс-листа"));
    const int version = object.value(QStringLiteral("version")).toInt();
    if (version < 1 || version > currentVersion)
        throw OrdixError(QStringLiteral("Файл столбцов прайс-листа версии %1 не поддерживается").arg(version));
    ImportLayout layout;
    layout.name = object.value(QStringLiteral("name")).toString();
    layout.fileFormat = object.value(QStringLiteral("format")).toString();
    layout.sheet = object.value(QStringLiteral("sheet")).toString();
    layout.headerRow = qMax(0, object.value(QStringLiteral("headerRow")).toInt());
    const QJsonArray header = object.value(QStringLiteral("header")).toArray();
    for (const QJsonValue &cell : header)
        layout.header.append(cell.toString());
    layout.columnCount = qMax(int(layout.header.size()), object.value(QStringLiteral("columnCount")).toInt());
    const QJsonObject mapping = object.value(QStringLiteral("columns")).toObject();
    for (auto it = mapping.begin(); it != mapping.end(); ++it) {
        const ImportField field = ImportFields::fromKey(it.key());
        if (field == ImportField::None)
            continue;
        const int c = ImportLayout::columnFromLetter(it.value().toObject().value(QStringLiteral("column")).toString());
        if (c >= 0 && c < 16384)
            layout.setColumn(field, c);
    }
    const QString mark = object.value(QStringLiteral("decimalMark")).toString();
    if (mark == QLatin1String(".") || mark == QLatin1String(","))
        layout.decimalMark = mark.at(0);
    layout.encoding = object.value(QStringLiteral("encoding")).toString().toLatin1();
    const QString delimiter = object.value(QStringLiteral("delimiter")).toString();
    if (delimiter == QLatin1String("\\t") || delimiter == QLatin1String("\t"))
        layout.delimiter = '\t';
    else if (delimiter.size() == 1 && delimiter.at(0).unicode() < 128)
        layout.delimiter = char(delimiter.at(0).unicode());
    return layout;
}
