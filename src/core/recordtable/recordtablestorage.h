#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include <QList>
#include <QString>

#include "fielddef.h"
#include "textoffsets.h"
#include "valuekey.h"

// The rows of a record table, shared by the table and its clones, and the
// search aids built over them on demand (pre-folded text, sort orders, value
// look-up tables). Internal to the record table and the filter evaluator.
//
// Rows are numbered 0..rowCount()-1 in their stored order. Each column holds
// one kind of value: numbers in plain vectors (an unset cell holds 0; a float
// column whose every value is 0 holds no vector), text as Windows-1251 bytes
// in one arena per column addressed by offset and length (an unset cell has
// length 0; where each text begins is kept in two levels while the texts lie
// in row order, see TextOffsets), and one bit per cell for "unset".

// Asks the system for huge pages under a large table that is read at random
// (Linux; elsewhere nothing).
void adviseHugePages(void *data, size_t bytes);

// One converted cell on its way into the store.
struct CellInput
{
    bool unset = true;
    qint64 integer = 0;         // I2 and I4
    double number = 0;          // R8
    const char *text = nullptr; // String: Windows-1251 bytes, already cut to the width
    uint32_t length = 0;
};

// Rows converted for a store's columns away from it, appended in one step
// (RecordTableStorage::appendBatch). Filled by one thread at a time.
struct RowBatchData
{
    struct Column
    {
        FieldType type = FieldType::String;
        bool wide = false;
        std::vector<int16_t> i16;
        std::vector<int32_t> i32;
        std::vector<double> f64;
        std::vector<char> bytes; // the texts one after another
        std::vector<uint8_t> len8;
        std::vector<uint16_t> len16;
        std::vector<uint64_t> unsetBits; // from the batch's first row
    };

    explicit RowBatchData(const QList<FieldDef> &fields);
    void add(const CellInput *cells); // one cell per field
    void clear();
    void truncate(uint32_t count); // keeps the first `count` rows

    std::vector<Column> columns;
    uint32_t rows = 0;
};

// Told by the store about changes that affect every cursor over the rows.
class StorageObserver
{
public:
    virtual ~StorageObserver() = default;
    virtual void storageRowRemoved(uint32_t row) = 0;
    // newRowOfOld[old] is the row's new number.
    virtual void storageRowsReordered(const std::vector<uint32_t> &newRowOfOld) = 0;
    // A row's values were changed through another cursor.
    virtual void storageRowUpdated(uint32_t row) = 0;
    virtual void storageCleared() = 0;
};

class RecordTableStorage final
{
public:
    struct Column
    {
        FieldType type = FieldType::String;
        uint32_t width = 0;

        std::vector<int16_t> i16;
        std::vector<int32_t> i32;
        std::vector<double> f64;

        std::vector<char> bytes;  // text arena
        std::vector<char> folded; // the arena with letter case folded, when hasFolded
        bool hasFolded = false;
        // Offsets never decrease from row to row (the arena may have gaps).
        bool monotonic = true;
        // The arena holds the texts one after another in row order with no
        // gaps: a text ends where the next row's begins (the last one at the
        // arena's end), and the lengths are not kept. An edit that moves or
        // resizes a text, or a removed row, makes the column keep them.
        bool packed = true;
        TextOffsets offsets;
        std::vector<uint8_t> len8;   // widths up to 255, when not packed
        std::vector<uint16_t> len16; // wider text fields, when not packed
        bool wide = false;

        std::vector<uint64_t> unsetBits;

        // R8: every value is 0 and f64 holds none, until a cell gets another
        // value (a column that no row sets, as the old prices of a list
        // before any comparison, takes no memory).
        bool zeroes = false;

        // I2 and I4: a range that holds every stored value (unset cells hold
        // 0), once asked for; widened by later changes, never narrowed.
        bool rangeKnown = false;
        qint64 rangeMin = 0;
        qint64 rangeMax = 0;

        bool isUnset(uint32_t row) const { return (unsetBits[row >> 6] >> (row & 63)) & 1u; }
        uint32_t length(uint32_t row) const
        {
            if (packed)
                return (row + 1 < offsets.size() ? offsets[row + 1] : uint32_t(bytes.size())) - offsets[row];
            return wide ? len16[row] : len8[row];
        }
        const char *text(uint32_t row) const { return bytes.data() + offsets[row]; }
        const char *foldedText(uint32_t row) const { return folded.data() + offsets[row]; }
        double number(uint32_t row) const
        {
            switch (type) {
            case FieldType::I2:
                return i16[row];
            case FieldType::I4:
                return i32[row];
            case FieldType::R8:
                return zeroes ? 0.0 : f64[row];
            case FieldType::String:
                break;
            }
            return 0;
        }
        qint64 integer(uint32_t row) const
        {
            switch (type) {
            case FieldType::I2:
                return i16[row];
            case FieldType::I4:
                return i32[row];
            default:
                break;
            }
            return 0;
        }
    };

    explicit RecordTableStorage(const QList<FieldDef> &fields);
    ~RecordTableStorage();

    RecordTableStorage(const RecordTableStorage &) = delete;
    RecordTableStorage &operator=(const RecordTableStorage &) = delete;

    const QList<FieldDef> &fields() const { return m_fields; }
    int fieldCount() const { return int(m_columns.size()); }
    const Column &column(int field) const { return m_columns[size_t(field)]; }
    uint32_t rowCount() const { return m_rows; }

    QString displayFormat(int field) const { return m_displayFormats[size_t(field)]; }
    void setDisplayFormat(int field, const QString &mask) { m_displayFormats[size_t(field)] = mask; }

    // --- changing rows (cells must be converted and cut already) ----------
    void appendRow(const CellInput *cells); // one cell per field
    // Appends the batch's rows in their order, as appendRow() one by one
    // would; returns how many of them the store could not hold.
    uint32_t appendBatch(const RowBatchData &batch);
    // Makes room for `rows` rows in all and for textBytes[field] bytes of
    // text in each text column, so that a bulk load grows nothing.
    void reserve(uint32_t rows, const std::vector<size_t> &textBytes);
    // Gives the system back the whole pages of the text arenas past their
    // last byte: under huge pages the last one filled holds up to 2 MB
    // that no text uses.
    void releaseSpareRoom();
    // Sets a float field of many rows at once (values[i] for rows[i]).
    void setFloats(int field, const std::vector<uint32_t> &rows, const std::vector<double> &values);
    void setCell(uint32_t row, int field, const CellInput &cell);
    void removeRow(uint32_t row);
    void clear();
    // Puts the rows into the order given: order[i] is the old number of the
    // row that becomes row i.
    void reorder(const std::vector<uint32_t> &order);

    // --- search aids --------------------------------------------------------
    // Builds the pre-folded copy of a text column (kept up to date afterwards).
    void ensureFolded(int field);
    // Makes the offsets of a text column non-decreasing again (after edits).
    void ensureMonotonic(int field);

    // Rows of the whole table ordered by (key, row number), ascending. Built
    // on first use and kept until the column changes.
    const std::vector<uint32_t> &permutation(int field, bool caseInsensitive);
    // The same rows, held for as long as the holder wants them: a view in
    // the permutation's order reads them instead of a copy of its own.
    std::shared_ptr<const std::vector<uint32_t>> sharedPermutation(int field, bool caseInsensitive);
    // Keys alone: <0, 0, >0.
    int compareKeys(int field, bool caseInsensitive, uint32_t a, uint32_t b) const;
    // The order of the permutation: key first, then row number.
    int compareRows(int field, bool caseInsensitive, uint32_t a, uint32_t b) const;
    // Keys equal exactly (case significant; unset reads as 0 or empty text).
    bool keysEqual(int field, uint32_t a, uint32_t b) const;

    // A range holding every value of an I2 or I4 column (see Column).
    void integerRange(int field, qint64 *min, qint64 *max);

    // Calls fn(row) for every row whose numeric field equals the value, in no
    // particular order, through a hash table built on first use and rebuilt
    // after the rows changed.
    template<typename Fn>
    void forEachRowWithValue(int field, double value, Fn &&fn);
    // Whether no two rows hold the same value of the numeric field, through
    // the same hash table.
    bool valuesUnique(int field);
    // For each of `values`, the first row whose numeric field holds it (-1:
    // none) and whether a later row holds it too: through that hash table
    // when it is up to date, otherwise in one pass over the column with a
    // table of the values sought, building no index.
    void firstRowsWithValues(int field, const std::vector<double> &values, std::vector<qint64> &rows,
                             std::vector<char> &shared);

    // --- observers ----------------------------------------------------------
    void addObserver(StorageObserver *observer);
    void removeObserver(StorageObserver *observer);
    void notifyRowUpdated(uint32_t row, StorageObserver *by);

    qint64 memoryBytes() const;
    // Every column holds a value (and an unset bit) for each row, and every
    // text lies inside its column's arena.
    bool isConsistent() const;

    // The text of a number as the tables show it: integers in decimal, floats
    // with up to 15 significant digits and the program's decimal separator.
    static QString numberText(double value);
    static QByteArray numberBytes(double value, FieldType type);

private:
    struct Permutation
    {
        // Never changed while a view shares it: replaced by a copy then.
        std::shared_ptr<std::vector<uint32_t>> rows = std::make_shared<std::vector<uint32_t>>();
        uint32_t covered = 0; // rows 0..covered-1 are in `rows`
    };

    class ValueIndex;

    // Gives a column of zeroes its values (all 0) before one changes.
    void holdValues(Column &c);
    // Makes a packed text column keep its lengths before a text moves.
    void keepLengths(Column &c);
    void invalidateColumn(int field);
    void invalidateAll();
    ValueIndex &valueIndex(int field);

    QList<FieldDef> m_fields;
    std::vector<QString> m_displayFormats;
    std::vector<Column> m_columns;
    uint32_t m_rows = 0;

    std::map<std::pair<int, bool>, Permutation> m_permutations;
    std::vector<std::unique_ptr<ValueIndex>> m_valueIndexes; // by field
    std::vector<StorageObserver *> m_observers;
};

// Hash table from the value of a numeric field to its rows. Distinct values
// take one slot each (open addressing); a value held by one row keeps that
// row in its slot, a value held by several points to a count followed by the
// rows in ascending order. Integer columns use 8-byte entries, or, when
// their values lie close together (a range at most twice the rows, as a
// price list's codes), a plain array by value of 4-byte entries, a third of
// the memory. Rebuilt whole when the rows changed since it was built.
class RecordTableStorage::ValueIndex
{
public:
    void build(const Column &column, uint32_t rows);
    bool isCurrent(uint32_t rows) const { return m_built && m_rows == rows; }
    bool allUnique() const { return m_multi.empty(); }
    qint64 memoryBytes() const;

    template<typename Fn>
    void forEach(const Column &column, double value, Fn &&fn) const
    {
        uint64_t key;
        if (!valueKey(column.type, value, &key))
            return;
        if (column.type == FieldType::R8) {
            m_wide.forEach(key, m_multi, fn);
        } else if (m_dense.empty()) {
            m_narrow.forEach(uint32_t(key), m_multi, fn);
        } else {
            const uint64_t at = uint64_t(qint64(key) - m_denseMin);
            if (at < m_dense.size())
                forEachRef(m_dense[at], m_multi, fn);
        }
    }

private:
    static constexpr uint32_t kShared = 0x80000000u;

    // A slot's reference: 0 none, row + 1, or kShared | where its rows are.
    template<typename Fn>
    static void forEachRef(uint32_t ref, const std::vector<uint32_t> &shared, Fn &fn)
    {
        if (ref == 0)
            return;
        if (!(ref & kShared)) {
            fn(ref - 1);
            return;
        }
        const uint32_t at = ref & ~kShared;
        for (uint32_t k = 1; k <= shared[at]; ++k)
            fn(shared[at + k]);
    }

    template<typename Key>
    struct Table
    {
        struct Slot
        {
            Key key = 0;
            uint32_t ref = 0; // 0: empty; row + 1; or kShared | index into the shared rows
        };
        std::vector<Slot> entries;
        uint64_t mask = 0;
        int shift = 0;

        uint64_t bucket(Key key) const
        {
            if constexpr (sizeof(Key) == 4)
                return (uint32_t(key) * 0x9E3779B1u) >> shift;
            else
                return ((key ^ (key >> 29)) * 0xBF58476D1CE4E5B9ULL) >> shift;
        }

        uint64_t find(Key key) const
        {
            uint64_t i = bucket(key);
            while (entries[i].ref != 0 && entries[i].key != key)
                i = (i + 1) & mask;
            return i;
        }

        template<typename Fn>
        void forEach(Key key, const std::vector<uint32_t> &shared, Fn &fn) const
        {
            if (entries.empty())
                return;
            forEachRef(entries[find(key)].ref, shared, fn);
        }
    };

    template<typename Key>
    void buildTable(Table<Key> &table, const Column &column, uint32_t rows);
    bool buildDense(const Column &column, uint32_t rows);
    // Lays out the rows of the values held by several rows: `refOf(slot)` is
    // a slot's reference, `slotOf(row)` the slot of the row's value.
    template<typename RefOf, typename SlotOf>
    void shareRows(uint64_t slotCount, uint32_t rows, RefOf &&refOf, SlotOf &&slotOf);

    Table<uint32_t> m_narrow;      // I2 and I4
    Table<uint64_t> m_wide;        // R8, by the bits of the value
    std::vector<uint32_t> m_dense; // I2 and I4 close together: the reference by value - m_denseMin
    qint64 m_denseMin = 0;
    std::vector<uint32_t> m_multi;
    uint32_t m_rows = 0;
    bool m_built = false;
};

inline bool RecordTableStorage::valuesUnique(int field)
{
    return valueIndex(field).allUnique();
}

template<typename Fn>
void RecordTableStorage::forEachRowWithValue(int field, double value, Fn &&fn)
{
    ValueIndex &index = valueIndex(field);
    index.forEach(m_columns[size_t(field)], value, std::forward<Fn>(fn));
}
