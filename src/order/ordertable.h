#pragma once

#include <QList>
#include <QString>

#include "recordtable.h"

class Workspace;

// The order table `OrderDataSet` as the rest of the order works on it: its
// fields, starting a new empty order, the columns of the order grid, the
// widest-content tracking after every post, and the total shown in `SUMM`.
class OrderTable final
{
public:
    // Field positions of the order table (the order file reader appends rows
    // by position).
    enum Field
    {
        AvailabilityFlag = 0,
        Code,
        Name,
        CatalogID,
        Producer,
        Count,
        Price,
        SUM
    };

    static constexpr int FieldCount = 8;

    static QList<FieldDef> fields();
    // The display text of a line's field as files and exports write it: a
    // code the program made for a supplier without codes is left empty.
    static QString displayText(const RecordTable &table, int viewRow, int field);
    static QString codeText(const RecordTable &table, int viewRow) { return displayText(table, viewRow, Code); }

    // Largest amount a line may carry: beyond it the money texts lose their
    // kopecks (and far beyond it the product is no number at all).
    static constexpr double MaxAmount = 1e13;
    // Price × count of a line; throws OrdixError when the product passes
    // MaxAmount, so no line is ever stored with a wrong amount.
    static double lineAmount(double price, qint64 count);

    // Starts a new order: no file name, the table open and empty with its
    // fields and display formats, the saved state, a total of 0, the order
    // panel shown and placed, the grid's columns built, and the labels
    // "Заказ" and "Сумма". The table must not be open.
    static void startNew(Workspace &workspace);

    // Builds the order grid's columns (titles, widths, two fixed ones).
    static void buildColumns(Workspace &workspace);

    // After a row of the order was stored: raises the PreferredWidth of
    // columns 1 to 8 to the width of the row's display texts plus 4.
    // `viewRow` is 0-based; -1 means the current row.
    static void notePosted(Workspace &workspace, int viewRow = -1);

    // Of many lines added or changed at once, the one with the longest
    // text in each field, so that only those are measured for the grid
    // (texts by their characters, whole numbers by their digits, money by
    // its digits with kopecks).
    class LongestLines final
    {
    public:
        // The line's values in field order, as they are stored now.
        void note(int viewRow, const RecordTable::StoredValue *values);
        // notePosted() for each of the lines kept.
        void notePosted(Workspace &workspace) const;

    private:
        int m_rows[FieldCount]{-1, -1, -1, -1, -1, -1, -1, -1};
        qsizetype m_lengths[FieldCount]{-1, -1, -1, -1, -1, -1, -1, -1};
    };

    // ShowOrderSum: the texts of the order's sum from its total, with the
    // customer's discount or markup, given to the document (for the
    // writers) and to `SUMM` and its hint.
    static void showOrderSum(Workspace &workspace);
    // No sum shown: `SUMM` reads `label`, and the writers print no amount.
    static void hideOrderSum(Workspace &workspace, const QString &label);

    // The title after an order file was read or written: "Заказ: " and the
    // file's name without its folder.
    static QString titleFor(const QString &path);
};
