#pragma once

#include <array>

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// The fields of the price table that a supplier's column can feed.
enum class ImportField : int
{
    None = -1,
    Code = 0, // the supplier's whole-number code
    Name,
    PartNumber, // the maker's part number (CatalogID)
    Maker,
    Pack,
    Price,
    Group,
    Analogues,
    Stock, // availability: a quantity or a word ("есть", "нет")
    Count
};

namespace ImportFields
{
    constexpr int count = int(ImportField::Count);
    // "code", "name", "partNumber"…: the names in a layout file and on the
    // command line.
    QString key(ImportField field);
    ImportField fromKey(const QString &key); // None when unknown
    // "Код", "Наименование"…: the names the buyer reads.
    QString title(ImportField field);
}

// How one supplier's list is read: where its header is, which column feeds
// which field, and for text files the encoding and delimiter. Kept as a
// readable JSON file per supplier and recognised by the fingerprint of its
// header.
struct ImportLayout
{
    static constexpr int currentVersion = 1;

    QString name;        // the supplier, as the buyer named it
    QString fileFormat;  // "xlsx", "ods", "xls", "csv"
    QString sheet;       // the sheet's name (workbooks)
    int headerRow = 0;   // 1-based row of the header; 0: the list has none
    int columnCount = 0; // columns of the header row (or of the widest row)
    QStringList header;  // the header's cells as written
    // The column (0-based) of each field, -1 when the list has none.
    std::array<int, ImportFields::count> columns;
    QChar decimalMark;   // '.' or ','; null: decided from the data
    QByteArray encoding; // text files
    char delimiter = 0;  // text files

    ImportLayout() { columns.fill(-1); }

    int column(ImportField field) const { return columns[size_t(field)]; }
    void setColumn(ImportField field, int column) { columns[size_t(field)] = column; }
    ImportField fieldOfColumn(int column) const;

    // A list needs a name, a price and a code or a part number.
    bool isComplete() const;
    // Which required fields are missing, for a message ("Цена, Код или Артикул").
    QString missingFields() const;

    // The fingerprint of a header: its normalised cells, the sheet's name
    // and the number of columns.
    static QByteArray fingerprint(const QStringList &header, const QString &sheet, int columnCount);
    QByteArray fingerprint() const { return fingerprint(header, sheet, columnCount); }

    // "Цена, руб." → "цена": lower case, ё as е, letters and digits only.
    static QString normalizedHeader(const QString &cell);
    // "A", "B", … "AA".
    static QString columnLetter(int column);
    static int columnFromLetter(const QString &letters); // -1 when not letters

    QJsonObject toJson() const;
    // Throws OrdixError when the object is no layout of a version this
    // program reads.
    static ImportLayout fromJson(const QJsonObject &object);
};
