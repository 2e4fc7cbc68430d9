#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "importlayout.h"
#include "sheetreader.h"

// What a row of a supplier's list is.
enum class RowClass : int
{
    Title, // above the header
    Header,
    Item,
    Group, // a name and no price: the group of the items below
    RepeatedHeader,
    Total,
    Blank,
    Unreadable,
    Count
};

namespace RowClasses
{
    constexpr int count = int(RowClass::Count);
    QString title(RowClass rowClass); // "товар", "группа"… for the buyer
    QString key(RowClass rowClass);   // "item", "group"… for the command line
}

// The first guess of a list's layout: the header found by its words (a
// Russian and English list of names for each field), the other columns by
// their values.
class LayoutGuess final
{
public:
    // The field a header cell names, by its words; None when it names none.
    static ImportField fieldOfHeader(const QString &cell);
    // The index in `rows` of the header row: the row among the first ones
    // whose cells name the most fields (at least two); -1 when none does.
    static int findHeaderRow(const QList<SheetRow> &rows);
    // The layout of `rows` (the first rows of a sheet). `why` receives one
    // text per column saying why it got its field; `certain` whether the
    // required fields were all found by their header words. `headerRow`
    // (1-based) names the header instead of finding it; -1: find it, 0: none.
    static ImportLayout guess(const QList<SheetRow> &rows, QStringList *why = nullptr, bool *certain = nullptr,
                              int headerRow = -1);
    // Fills the columns of `layout` from the header cells by their
    // normalised names, as a saved layout is applied to a header that
    // changed; `changes` receives what moved, what is gone and what is new
    // ("Цена: был столбец F, теперь G"). Returns whether every field the
    // layout had was found.
    static bool applyByHeader(ImportLayout &layout, const QStringList &header, QStringList *changes);
};

// Sorts the rows after the header into items, groups, totals and the rest.
class RowClassifier final
{
public:
    explicit RowClassifier(const ImportLayout &layout);

    // `price` receives an item's price.
    RowClass classify(const SheetRow &row, QString *why = nullptr, double *price = nullptr) const;
    QChar decimalMark() const { return m_decimalMark; }
    void setDecimalMark(QChar mark) { m_decimalMark = mark; }
    // The text of a group row.
    static QString groupText(const SheetRow &row);
    // Whether a row of text cells given in Windows-1251 is an item, as
    // classify() says of the same row, with its price; false where it is
    // no item or the bytes do not settle it (classify() then decides).
    // `code` receives the item's code where the layout has a code column.
    bool isPlainItem(qint64 index, const QByteArrayView *cells, qsizetype count, double *price, qint32 *code) const;

private:
    ImportLayout m_layout;
    QChar m_decimalMark;
    // The header's cells in Windows-1251; empty where the code page lacks
    // a character of one (or it is empty).
    QList<QByteArray> m_headerBytes;
};
