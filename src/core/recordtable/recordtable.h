#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "fielddef.h"
#include "viewchange.h"

// The in-memory table that holds the price list, the order and the car-model
// tables: typed fields, a cursor, a filtered and ordered view, named indexes,
// locate, master-detail linking, clones and notifications for the grids.
//
// Storage is columnar. Text is kept as Windows-1251 bytes in one arena per
// column; numbers in plain vectors; one bit per cell marks an unset value.
// The view is a vector of row numbers, so RowCount and RowNumber are O(1).
//
// Every failing operation throws OrdixError and leaves the table unchanged.

class RecordTablePrivate;
class RecordTableStorage; // rows shared between a table and its clones
struct RowBatchData;

class RecordTable final
{
public:
    RecordTable();
    explicit RecordTable(const QString &tableName);
    ~RecordTable();

    RecordTable(const RecordTable &) = delete;
    RecordTable &operator=(const RecordTable &) = delete;

    QString tableName() const;

    // --- life -----------------------------------------------------------
    // Activates the table with these fields, empty. Throws when already
    // active or when the definition is unusable (no field, duplicate name).
    void open(const QList<FieldDef> &fields);
    // Deactivates the table, discarding all rows, the filter, the index
    // definitions and any link. A closed table has no fields.
    void close();
    bool isActive() const;
    // Removes all rows; the table stays active.
    void empty();

    // --- fields ---------------------------------------------------------
    int fieldCount() const;
    const FieldDef &field(int position) const;
    // Position of a field, looked up without regard to letter case; -1 when
    // the table has no such field.
    int findField(const QString &name) const;
    // As findField(), but throws "Field 'x' not found".
    int fieldByName(const QString &name) const;

    // Display format (number mask) of a field: "# ### ##0.00 р." style money
    // masks and "00000" style zero-padded integers. Empty: plain text.
    void setDisplayFormat(int position, const QString &mask);
    QString displayFormat(int position) const;
    // Formats a number by a mask of the kinds above, with the program-wide
    // decimal separator.
    static QString formatByMask(double value, const QString &mask);
    // A mask taken apart once, for formatting many numbers: appends the text
    // formatByMask() gives, as UTF-8.
    struct NumberMask
    {
        explicit NumberMask(const QString &mask);
        void appendUtf8(QByteArray &out, double value) const;
        // The same text written to to[0, room): its length, or -1 (nothing
        // meant) when it needs more room.
        qsizetype writeUtf8(char *to, qsizetype room, double value) const;

        bool plain = true; // no placeholder: the number as the tables show it
        QByteArray prefix;
        QByteArray suffix;
        bool grouped = false;
        int minInt = 0;
        int decimals = 0;
        int minDecimals = 0;
    };

    // --- appending ------------------------------------------------------
    // Adds a row at the end of the table and stores it. Values are given for
    // the first n fields in field order and converted to the field types
    // (numbers with the program-wide decimal separator). An empty text for a
    // numeric field leaves it unset; a QVariant that is null leaves any field
    // unset. A value that does not convert, or an integer out of its type's
    // range, throws and adds no row. The new row becomes current when it is
    // in the view.
    void appendRow(const QStringList &values);
    void appendRow(const QVariantList &values);
    // Fast path for loaders: values as Windows-1251 bytes. Does not move the
    // cursor or notify; callers that append in bulk call suspendViews first.
    void appendRowRaw(const QByteArrayView *values, int count);
    // A value given by type rather than as text: for a text field its
    // Windows-1251 bytes (cut to the width), for a numeric field the number
    // (a whole one for integer fields); `unset` leaves the cell unset.
    struct StoredValue
    {
        QByteArrayView text;
        double number = 0;
        bool unset = false;
    };
    // The same fast path for values given by type (see StoredValue): throws
    // and adds no row when a number does not fit its field.
    void appendRowValues(const StoredValue *values, int count);
    // Rows converted for a table's fields away from it (on any thread, the
    // table untouched), to be appended in one step by appendBatch(): for
    // loaders that read on more than one core.
    class RowBatch final
    {
    public:
        explicit RowBatch(const RecordTable &table); // an active table
        ~RowBatch();
        RowBatch(const RowBatch &) = delete;
        RowBatch &operator=(const RowBatch &) = delete;

        // Keeps the row as appendRowRaw() would store it; false, and no row
        // kept, when a value does not convert or is out of its range.
        bool addRaw(const QByteArrayView *values, int count);
        int rowCount() const;
        size_t textBytes(int position) const; // kept bytes of a text field
        void clear();                         // keeps the memory for more rows
        void truncate(int rows);              // keeps the first rows only

    private:
        friend class RecordTable;
        QString m_table;
        QList<FieldDef> m_fields;
        std::unique_ptr<RowBatchData> m_data;
    };
    // Appends the batch's rows in their order, as appendRowRaw() would one by
    // one (views stay as they are; see appendRowRaw). Returns how many rows
    // the table could not hold. Throws when the batch was made for fields of
    // other types.
    int appendBatch(const RowBatch &batch);
    // Makes room for `rows` rows and for textBytes[position] bytes of text
    // in each text field before a bulk append.
    void reserve(qint64 rows, const std::vector<size_t> &textBytes);
    // After a bulk append: the room made and not filled goes back to the
    // system (it stays the table's, taken again as rows come).
    void releaseSpareRoom();

    // --- bulk work in stored order ----------------------------------------
    // The stored row numbers of the view's rows, ascending: reading and
    // writing in this order runs straight through the columns.
    std::vector<uint32_t> viewRowsInStoredOrder();
    uint32_t storedRowCount() const; // every stored row, in the view or not
    // The table's invariants hold: its columns agree with its row count, its
    // view holds distinct stored rows with the cursor inside it, and a row
    // is edited only where there is a current row. Closed: no rows at all.
    bool isConsistent() const;
    qint64 storedInteger(uint32_t storedRow, int position) const; // unset: 0
    double storedFloat(uint32_t storedRow, int position) const;   // unset: 0
    // Fills `rows` with the stored rows whose numeric field equals the value
    // (unset reads as 0), in no particular order, through the field's
    // look-up table (built on first use).
    void storedRowsWithValue(int position, double value, std::vector<uint32_t> &rows);
    // Whether no two stored rows hold the same value of the numeric field
    // (unset reads as 0); builds the same look-up table.
    bool storedValuesUnique(int position);
    // For each of `values`, the first stored row whose numeric field holds
    // it (unset reads as 0; -1: none) and, in `shared`, whether a later row
    // holds it too: through that look-up table when it is up to date,
    // otherwise in one pass over the field, building no table.
    void firstStoredRows(int position, const std::vector<double> &values, std::vector<qint64> &rows,
                         std::vector<char> &shared);
    // Sets a float field of the given stored rows (values[i] for rows[i]) in
    // one step: the view is brought up to date once and told once.
    void setStoredFloats(int position, const std::vector<uint32_t> &storedRows, const std::vector<double> &values);
    // Sets one field of many stored rows in one step (values[i] for
    // rows[i]), as setStoredFloats() does; texts must not come from this
    // table. A number that does not fit the field throws before anything
    // changed.
    void setStoredValues(int position, const std::vector<uint32_t> &storedRows, const std::vector<StoredValue> &values);
    // The raw bytes of a text field of a stored row (unset: empty).
    QByteArrayView storedBytes(uint32_t storedRow, int position) const;
    // The same for the stored rows first .. first + count - 1 at once.
    void storedBytes(uint32_t first, uint32_t count, int position, QByteArrayView *texts) const;
    // The stored row of a view position (0-based); throws outside the view.
    uint32_t storedRowAt(int viewRow) const;

    // --- a chosen list of rows ------------------------------------------
    // While a choice is set the view holds the chosen stored rows, in the
    // order given, that pass the filter and the link; the filter and the
    // active index keep their settings and hold again once the choice is
    // cleared. The first row of the new view becomes current. Rows appended
    // meanwhile stay out of the view; emptying the table drops the choice.
    void setRowChoice(std::vector<uint32_t> storedRows);
    void clearRowChoice();
    bool hasRowChoice() const;

    // --- cursor over the view -------------------------------------------
    void first();
    void last();
    void next();        // from the last row: atEnd() becomes true
    void prior();       // from the first row: stays, atBegin() becomes true
    bool atEnd() const; // after next() from the last row; on an empty view
    bool atBegin() const;
    int rowCount() const;  // rows in the view, O(1)
    int rowNumber() const; // 1-based position of the current row; 0 when the view is empty
    // 1..rowCount() makes that row current; other values are ignored.
    void setRowNumber(int number);

    // --- values of the current row (throw on an inactive table or an empty view)
    bool isNull(int position) const;
    QString asString(int position) const;    // unset: empty text
    qint64 asInteger(int position) const;    // unset: 0; text fields: parsed, 0 when no number
    double asFloat(int position) const;      // unset: 0
    QString displayText(int position) const; // by the display format; unset: empty
    QVariant value(int position) const;      // unset: null QVariant

    // --- values by view position (0-based), for grids and bulk readers ----
    // None of these scans the table.
    bool isNullAt(int viewRow, int position) const;
    QString stringAt(int viewRow, int position) const;
    QByteArrayView bytesAt(int viewRow, int position) const; // text fields: raw bytes
    qint64 integerAt(int viewRow, int position) const;
    double floatAt(int viewRow, int position) const;
    QString displayTextAt(int viewRow, int position) const;
    // Bulk reads for printers: one field of the view rows first ..
    // first + count - 1, the cells fetched ahead of use so that rows in any
    // order read at memory speed. Text fields give their raw bytes (unset:
    // empty); numeric fields their value (unset: 0) and whether unset.
    void bytesAt(int firstViewRow, int count, int position, QByteArrayView *texts) const;
    void numbersAt(int firstViewRow, int count, int position, double *values, bool *unset) const;

    // --- editing --------------------------------------------------------
    // edit() starts changing the current row; the setters below (allowed only
    // while editing) throw on a value that does not convert; post() stores the
    // row: it takes its place in the active index order and is tested against
    // the filter again. A row that no longer passes leaves the view and the
    // row that followed it becomes current (atEnd() when there is none).
    // cancel() drops the changes.
    void edit();
    bool isEditing() const;
    void setString(int position, const QString &value); // numeric fields: converted, empty text unsets
    void setInteger(int position, qint64 value);
    void setFloat(int position, double value);
    void setValue(int position, const QVariant &value); // null: unset
    void setNull(int position);
    void post();
    void cancel();
    // Removes the current row; the next row of the view becomes current.
    void deleteRow();

    // --- filtering ------------------------------------------------------
    // Setting the text while filtering is on parses it and rebuilds the view.
    // A text that does not parse throws and leaves filtering off.
    void setFilter(const QString &text);
    QString filter() const;
    void setFiltered(bool on);
    bool isFiltered() const;

    // --- ordering -------------------------------------------------------
    // Text keys compare by their Windows-1251 bytes: Latin before Cyrillic,
    // capitals before small letters, Ё and ё before А (case-insensitive
    // indexes compare the letters folded). Rows with equal keys keep the
    // order in which they were stored; a descending index is the ascending
    // order read backwards. Unset values sort as 0 and as empty text.
    void addIndexDef(const QString &name, const QString &fieldName, bool descending = false,
                     bool caseInsensitive = false);
    void clearIndexDefs();
    QStringList indexNames() const;
    // Makes a defined index active (empty: insertion order). Throws for an
    // unknown name.
    void setIndexName(const QString &name);
    QString indexName() const;
    // Orders the view by one field without a named index; empty: insertion order.
    void setIndexFields(const QString &fieldName);
    QString indexFields() const;
    // Reorders the rows themselves by one field (text compared with case
    // significant); the order persists until the next sort. Used by the order.
    void sortOnField(const QString &fieldName, bool descending);
    // Under an active index: the current row is the first of a run of rows
    // with equal key.
    bool isGroupFirst() const;

    // --- locating -------------------------------------------------------
    // Unset cells are found as 0 or as empty text.
    // Finds the first row of the view, in view order, whose field equals the
    // value, makes it current and returns true; false leaves the cursor alone.
    // For a numeric field a text value is converted first and a text that is
    // no number throws. Exact look-ups of numeric fields use a hash, not a scan.
    bool locate(const QString &fieldName, const QVariant &value, bool caseInsensitive = false, bool partialKey = false);

    // --- linking and clones ---------------------------------------------
    // While linked, the view holds only rows whose detail field equals the
    // master's current value of the master field, and follows the master.
    void linkToMaster(RecordTable *master, const QString &detailField, const QString &masterField);
    void unlink();
    bool isLinked() const;
    // A second cursor over the same rows with its own filter, index and
    // current row. It sees every row, not this table's view. It must not
    // outlive this table.
    std::unique_ptr<RecordTable> clone() const;

    // --- views and notifications ----------------------------------------
    // Counted. While suspended, viewChanged/afterScroll are not sent; the last
    // resumeViews() sends one viewChanged.
    void suspendViews();
    void resumeViews();
    bool viewsSuspended() const;

    using Callback = std::function<void()>;
    // Listeners return an id for removal. viewChanged: the view was rebuilt
    // (filter, index, append, delete, empty, open/close); grids reset their
    // models. rowChanged(viewRow): one row's values changed in place.
    int onViewChanged(Callback cb);
    // Inside a viewChanged listener: what changed, when the table knows it
    // (one row come into the view or gone from it); Rebuilt otherwise.
    ViewChange lastViewChange() const;
    int onRowChanged(std::function<void(int viewRow)> cb);
    void removeListener(int id);
    // The single handlers the program hangs on a table: afterScroll (current row changed) and
    // afterPost (a row was stored). Either may be empty.
    void setAfterScroll(Callback cb);
    Callback afterScroll() const;
    void setAfterPost(Callback cb);

    // Memory held by the rows, for the benchmark.
    qint64 memoryBytes() const;

private:
    std::unique_ptr<RecordTablePrivate> d;
};
