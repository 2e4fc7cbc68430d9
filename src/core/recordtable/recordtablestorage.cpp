#include "recordtablestorage.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "columnsort.h"
#include "cp1251.h"
#include "ordixerror.h"
#include "textfile.h"

void adviseHugePages(void *data, size_t bytes)
{
#if defined(__linux__)
    // Large look-up tables are read at random; huge pages spare the page
    // walks. Only the whole 2 MB pages inside the range are advised.
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    if (bytes < 2 * huge)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

namespace
{
    size_t wordsFor(uint32_t bits)
    {
        return (size_t(bits) + 63) / 64;
    }

    void setBit(std::vector<uint64_t> &bits, uint32_t pos, bool on)
    {
        const uint64_t mask = uint64_t(1) << (pos & 63);
        if (on)
            bits[pos >> 6] |= mask;
        else
            bits[pos >> 6] &= ~mask;
    }

    // Removes bit `pos` of a set of `count` bits, moving the later bits down.
    void eraseBit(std::vector<uint64_t> &bits, uint32_t count, uint32_t pos)
    {
        const size_t w = pos >> 6;
        const unsigned b = pos & 63;
        const uint64_t word = bits[w];
        const uint64_t low = b == 0 ? 0 : (word & ((uint64_t(1) << b) - 1));
        const uint64_t high = b == 63 ? 0 : ((word >> (b + 1)) << b);
        bits[w] = low | high;
        for (size_t i = w + 1; i < bits.size(); ++i) {
            bits[i - 1] |= (bits[i] & 1u) << 63;
            bits[i] >>= 1;
        }
        bits.resize(wordsFor(count - 1));
        if (!bits.empty() && ((count - 1) & 63))
            bits.back() &= (uint64_t(1) << ((count - 1) & 63)) - 1;
    }

    void widenRange(RecordTableStorage::Column &c, qint64 value)
    {
        if (c.rangeKnown) {
            c.rangeMin = std::min(c.rangeMin, value);
            c.rangeMax = std::max(c.rangeMax, value);
        }
    }

    template<typename T>
    void releaseVector(std::vector<T> &v)
    {
        std::vector<T>().swap(v);
    }

    template<typename T>
    std::vector<T> gather(const std::vector<T> &from, const std::vector<uint32_t> &order)
    {
        std::vector<T> to;
        to.reserve(order.size());
        for (uint32_t old : order)
            to.push_back(from[old]);
        return to;
    }

    // Puts a cell's unset bit and its number or text length at the end of a
    // column of the store or of a batch (they have the same members);
    // returns the text's length in a text column.
    template<typename C>
    void pushUnsetBit(C &c, uint32_t row, bool unset)
    {
        if ((row & 63) == 0)
            c.unsetBits.push_back(0);
        if (unset)
            c.unsetBits.back() |= uint64_t(1) << (row & 63);
    }

    // A value a column of zeroes holds without its values (-0 is not one).
    bool isZero(double value)
    {
        return std::bit_cast<uint64_t>(value) == 0;
    }

    template<typename C>
    uint32_t pushCell(C &c, uint32_t row, const CellInput &cell, bool withLength = true)
    {
        pushUnsetBit(c, row, cell.unset);
        switch (c.type) {
        case FieldType::I2:
            c.i16.push_back(cell.unset ? 0 : int16_t(cell.integer));
            break;
        case FieldType::I4:
            c.i32.push_back(cell.unset ? 0 : int32_t(cell.integer));
            break;
        case FieldType::R8:
            c.f64.push_back(cell.unset ? 0.0 : cell.number);
            break;
        case FieldType::String: {
            const uint32_t length = cell.unset ? 0 : cell.length;
            if (!withLength)
                return length;
            if (c.wide)
                c.len16.push_back(uint16_t(length));
            else
                c.len8.push_back(uint8_t(length));
            return length;
        }
        }
        return 0;
    }
}

RecordTableStorage::RecordTableStorage(const QList<FieldDef> &fields)
    : m_fields(fields)
    , m_displayFormats(size_t(fields.size()))
    , m_columns(size_t(fields.size()))
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        Column &c = m_columns[size_t(i)];
        c.type = fields[i].type;
        c.width = c.type == FieldType::String ? uint32_t(fields[i].width) : 0;
        c.wide = c.width > 255;
        c.zeroes = c.type == FieldType::R8;
    }
}

void RecordTableStorage::holdValues(Column &c)
{
    if (!c.zeroes)
        return;
    c.f64.assign(m_rows, 0.0);
    c.zeroes = false;
}

void RecordTableStorage::keepLengths(Column &c)
{
    if (c.type != FieldType::String || !c.packed)
        return;
    if (c.wide)
        c.len16.resize(m_rows);
    else
        c.len8.resize(m_rows);
    for (uint32_t r = 0; r < m_rows; ++r) {
        if (c.wide)
            c.len16[r] = uint16_t(c.length(r));
        else
            c.len8[r] = uint8_t(c.length(r));
    }
    c.packed = false;
}

RecordTableStorage::~RecordTableStorage() = default;

bool RecordTableStorage::isConsistent() const
{
    const size_t rows = m_rows;
    if (m_columns.size() != size_t(m_fields.size()) || m_displayFormats.size() != m_columns.size())
        return false;
    for (const Column &c : m_columns) {
        if (c.unsetBits.size() < (rows + 63) / 64)
            return false;
        switch (c.type) {
        case FieldType::I2:
            if (c.i16.size() != rows)
                return false;
            break;
        case FieldType::I4:
            if (c.i32.size() != rows)
                return false;
            break;
        case FieldType::R8:
            if (c.f64.size() != (c.zeroes ? 0 : rows))
                return false;
            break;
        case FieldType::String:
            if (c.packed) {
                // One text after another from the arena's start to its end.
                if (c.offsets.size() != rows || !c.len8.empty() || !c.len16.empty() || !c.monotonic
                    || (rows > 0 && (c.offsets[0] != 0 || c.offsets[rows - 1] > c.bytes.size()))
                    || (rows == 0 && !c.bytes.empty()))
                    return false;
                for (uint32_t r = 1; r < m_rows; ++r) {
                    if (c.offsets[r] < c.offsets[r - 1])
                        return false;
                }
            } else if (c.offsets.size() != rows || (c.wide ? c.len16.size() : c.len8.size()) != rows) {
                return false;
            }
            if (c.hasFolded && c.folded.size() != c.bytes.size())
                return false;
            for (uint32_t r = 0; r < m_rows; ++r) {
                if (size_t(c.offsets[r]) + c.length(r) > c.bytes.size())
                    return false;
            }
            break;
        }
    }
    for (const auto &[key, permutation] : m_permutations) {
        if (!permutation.rows || permutation.covered > m_rows || permutation.rows->size() < permutation.covered)
            return false;
    }
    return true;
}

void RecordTableStorage::appendRow(const CellInput *cells)
{
    if (m_rows == std::numeric_limits<uint32_t>::max() - 1)
        throw OrdixError(QStringLiteral("The table cannot hold more rows"));
    for (size_t f = 0; f < m_columns.size(); ++f) {
        const Column &c = m_columns[f];
        if (c.type == FieldType::String && !cells[f].unset
            && c.bytes.size() + cells[f].length > std::numeric_limits<uint32_t>::max())
            throw OrdixError(QStringLiteral("The table cannot hold more text"));
    }

    const uint32_t row = m_rows;
    const unsigned char *fold = Cp1251::foldTable();
    for (size_t f = 0; f < m_columns.size(); ++f) {
        Column &c = m_columns[f];
        const CellInput &cell = cells[f];
        if (c.zeroes) {
            if (cell.unset || isZero(cell.number)) {
                pushUnsetBit(c, row, cell.unset);
                continue;
            }
            holdValues(c);
        }
        if (c.type == FieldType::String)
            c.offsets.push_back(uint32_t(c.bytes.size()));
        const uint32_t length = pushCell(c, row, cell, !c.packed);
        if (c.type == FieldType::I2)
            widenRange(c, c.i16.back());
        else if (c.type == FieldType::I4)
            widenRange(c, c.i32.back());
        if (length) {
            c.bytes.insert(c.bytes.end(), cell.text, cell.text + length);
            if (c.hasFolded) {
                const size_t at = c.folded.size();
                c.folded.resize(at + length);
                for (uint32_t i = 0; i < length; ++i)
                    c.folded[at + i] = char(fold[static_cast<unsigned char>(cell.text[i])]);
            }
        }
    }
    ++m_rows;
}

RowBatchData::RowBatchData(const QList<FieldDef> &fields)
    : columns(size_t(fields.size()))
{
    for (qsizetype i = 0; i < fields.size(); ++i) {
        columns[size_t(i)].type = fields[i].type;
        columns[size_t(i)].wide = fields[i].type == FieldType::String && fields[i].width > 255;
    }
}

void RowBatchData::add(const CellInput *cells)
{
    for (size_t f = 0; f < columns.size(); ++f) {
        const uint32_t length = pushCell(columns[f], rows, cells[f]);
        if (length)
            columns[f].bytes.insert(columns[f].bytes.end(), cells[f].text, cells[f].text + length);
    }
    ++rows;
}

void RowBatchData::clear()
{
    for (Column &c : columns) {
        c.i16.clear();
        c.i32.clear();
        c.f64.clear();
        c.bytes.clear();
        c.len8.clear();
        c.len16.clear();
        c.unsetBits.clear();
    }
    rows = 0;
}

void RowBatchData::truncate(uint32_t count)
{
    if (count >= rows)
        return;
    for (Column &c : columns) {
        c.unsetBits.resize(wordsFor(count));
        if (count & 63)
            c.unsetBits.back() &= (uint64_t(1) << (count & 63)) - 1;
        c.i16.resize(std::min<size_t>(c.i16.size(), count));
        c.i32.resize(std::min<size_t>(c.i32.size(), count));
        c.f64.resize(std::min<size_t>(c.f64.size(), count));
        if (c.type == FieldType::String) {
            size_t bytes = 0;
            for (uint32_t r = 0; r < count; ++r)
                bytes += c.wide ? c.len16[r] : c.len8[r];
            c.bytes.resize(bytes);
            c.len8.resize(std::min<size_t>(c.len8.size(), count));
            c.len16.resize(std::min<size_t>(c.len16.size(), count));
        }
    }
    rows = count;
}

uint32_t RecordTableStorage::appendBatch(const RowBatchData &batch)
{
    if (batch.rows == 0)
        return 0;
    bool fits = uint64_t(m_rows) + batch.rows < std::numeric_limits<uint32_t>::max();
    for (size_t f = 0; fits && f < m_columns.size(); ++f) {
        if (m_columns[f].type == FieldType::String)
            fits = m_columns[f].bytes.size() + batch.columns[f].bytes.size() <= std::numeric_limits<uint32_t>::max();
    }
    if (!fits) {
        // At the store's limits: row by row, so that exactly the rows that
        // one-by-one appending would refuse are left out.
        uint32_t refused = 0;
        std::vector<CellInput> cells(m_columns.size());
        std::vector<size_t> at(m_columns.size(), 0);
        for (uint32_t row = 0; row < batch.rows; ++row) {
            for (size_t f = 0; f < m_columns.size(); ++f) {
                const RowBatchData::Column &b = batch.columns[f];
                CellInput &cell = cells[f];
                cell = CellInput();
                cell.unset = (b.unsetBits[row >> 6] >> (row & 63)) & 1u;
                switch (b.type) {
                case FieldType::I2:
                    cell.integer = b.i16[row];
                    break;
                case FieldType::I4:
                    cell.integer = b.i32[row];
                    break;
                case FieldType::R8:
                    cell.number = b.f64[row];
                    break;
                case FieldType::String:
                    cell.length = b.wide ? b.len16[row] : b.len8[row];
                    cell.text = b.bytes.data() + at[f];
                    at[f] += cell.length;
                    break;
                }
            }
            try {
                appendRow(cells.data());
            } catch (const OrdixError &) {
                ++refused;
            }
        }
        return refused;
    }

    const uint32_t first = m_rows;
    const uint32_t total = m_rows + batch.rows;
    const unsigned char *fold = Cp1251::foldTable();
    for (size_t f = 0; f < m_columns.size(); ++f) {
        Column &c = m_columns[f];
        const RowBatchData::Column &b = batch.columns[f];
        // The batch's bits shifted to the rows they land on.
        c.unsetBits.resize(wordsFor(total), 0);
        const unsigned shift = first & 63;
        for (size_t k = 0; k < b.unsetBits.size(); ++k) {
            const uint64_t word = b.unsetBits[k];
            if (!word)
                continue;
            const size_t to = (first >> 6) + k;
            c.unsetBits[to] |= word << shift;
            if (shift && to + 1 < c.unsetBits.size())
                c.unsetBits[to + 1] |= word >> (64 - shift);
        }
        switch (c.type) {
        case FieldType::I2:
            c.i16.insert(c.i16.end(), b.i16.begin(), b.i16.end());
            for (int16_t v : b.i16)
                widenRange(c, v);
            break;
        case FieldType::I4:
            c.i32.insert(c.i32.end(), b.i32.begin(), b.i32.end());
            for (int32_t v : b.i32)
                widenRange(c, v);
            break;
        case FieldType::R8:
            if (c.zeroes) {
                if (std::all_of(b.f64.begin(), b.f64.end(), isZero))
                    break;
                holdValues(c);
            }
            c.f64.insert(c.f64.end(), b.f64.begin(), b.f64.end());
            break;
        case FieldType::String: {
            const uint32_t start = uint32_t(c.bytes.size());
            if (c.wide) {
                c.offsets.appendLaidOut(start, b.len16.data(), batch.rows);
                if (!c.packed)
                    c.len16.insert(c.len16.end(), b.len16.begin(), b.len16.end());
            } else {
                c.offsets.appendLaidOut(start, b.len8.data(), batch.rows);
                if (!c.packed)
                    c.len8.insert(c.len8.end(), b.len8.begin(), b.len8.end());
            }
            c.bytes.insert(c.bytes.end(), b.bytes.begin(), b.bytes.end());
            if (c.hasFolded) {
                const size_t at = c.folded.size();
                c.folded.resize(at + b.bytes.size());
                for (size_t i = 0; i < b.bytes.size(); ++i)
                    c.folded[at + i] = char(fold[static_cast<unsigned char>(b.bytes[i])]);
            }
            break;
        }
        }
    }
    m_rows = total;
    return 0;
}

void RecordTableStorage::reserve(uint32_t rows, const std::vector<size_t> &textBytes)
{
    const size_t words = (size_t(rows) + 63) / 64;
    for (size_t f = 0; f < m_columns.size(); ++f) {
        Column &c = m_columns[f];
        c.unsetBits.reserve(words);
        switch (c.type) {
        case FieldType::I2:
            c.i16.reserve(rows);
            break;
        case FieldType::I4:
            c.i32.reserve(rows);
            break;
        case FieldType::R8:
            if (!c.zeroes)
                c.f64.reserve(rows);
            break;
        case FieldType::String:
            c.offsets.reserve(rows);
            if (!c.packed && c.wide)
                c.len16.reserve(rows);
            else if (!c.packed)
                c.len8.reserve(rows);
            if (f < textBytes.size() && textBytes[f] > c.bytes.capacity()) {
                c.bytes.reserve(textBytes[f]);
                adviseHugePages(c.bytes.data(), c.bytes.capacity());
            }
            break;
        }
    }
}

void RecordTableStorage::releaseSpareRoom()
{
#if defined(__linux__)
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const auto release = [page](std::vector<char> &arena) {
        const uintptr_t data = reinterpret_cast<uintptr_t>(arena.data());
        const uintptr_t begin = (data + arena.size() + page - 1) & ~(page - 1);
        const uintptr_t end = (data + arena.capacity()) & ~(page - 1);
        if (end > begin)
            madvise(reinterpret_cast<void *>(begin), end - begin, MADV_DONTNEED);
    };
    for (Column &c : m_columns) {
        if (c.type != FieldType::String)
            continue;
        release(c.bytes);
        release(c.folded);
    }
#endif
}

void RecordTableStorage::setFloats(int field, const std::vector<uint32_t> &rows, const std::vector<double> &values)
{
    Column &c = m_columns[size_t(field)];
    if (c.type != FieldType::R8)
        throw OrdixError(QStringLiteral("Field %1 does not hold floats").arg(m_fields[field].name));
    invalidateColumn(field);
    const size_t n = std::min(rows.size(), values.size());
    if (!std::all_of(values.begin(), values.begin() + std::ptrdiff_t(n), isZero))
        holdValues(c);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t row = rows[i];
        c.unsetBits[row >> 6] &= ~(uint64_t(1) << (row & 63));
        if (!c.zeroes)
            c.f64[row] = values[i];
    }
}

void RecordTableStorage::setCell(uint32_t row, int field, const CellInput &cell)
{
    Q_ASSERT(row < m_rows && field >= 0 && size_t(field) < m_columns.size());
    Column &c = m_columns[size_t(field)];
    invalidateColumn(field);
    setBit(c.unsetBits, row, cell.unset);
    switch (c.type) {
    case FieldType::I2:
        c.i16[row] = cell.unset ? 0 : int16_t(cell.integer);
        widenRange(c, c.i16[row]);
        break;
    case FieldType::I4:
        c.i32[row] = cell.unset ? 0 : int32_t(cell.integer);
        widenRange(c, c.i32[row]);
        break;
    case FieldType::R8:
        if (c.zeroes && !cell.unset && !isZero(cell.number))
            holdValues(c);
        if (!c.zeroes)
            c.f64[row] = cell.unset ? 0.0 : cell.number;
        break;
    case FieldType::String: {
        const uint32_t length = cell.unset ? 0 : cell.length;
        if (length != c.length(row))
            keepLengths(c);
        uint32_t at = c.offsets[row];
        if (length > c.length(row)) {
            if (c.bytes.size() + length > std::numeric_limits<uint32_t>::max())
                throw OrdixError(QStringLiteral("The table cannot hold more text"));
            at = uint32_t(c.bytes.size());
            c.bytes.resize(c.bytes.size() + length);
            if (c.hasFolded)
                c.folded.resize(c.bytes.size());
            if (row + 1 != m_rows)
                c.monotonic = false;
            c.offsets.set(row, at);
        }
        if (length)
            std::memcpy(c.bytes.data() + at, cell.text, length);
        if (c.hasFolded) {
            const unsigned char *fold = Cp1251::foldTable();
            for (uint32_t i = 0; i < length; ++i)
                c.folded[at + i] = char(fold[static_cast<unsigned char>(cell.text[i])]);
        }
        if (c.packed)
            break; // the same length in the same place
        if (c.wide)
            c.len16[row] = uint16_t(length);
        else
            c.len8[row] = uint8_t(length);
        break;
    }
    }
}

void RecordTableStorage::removeRow(uint32_t row)
{
    Q_ASSERT(row < m_rows);
    for (Column &c : m_columns) {
        eraseBit(c.unsetBits, m_rows, row);
        switch (c.type) {
        case FieldType::I2:
            c.i16.erase(c.i16.begin() + row);
            break;
        case FieldType::I4:
            c.i32.erase(c.i32.begin() + row);
            break;
        case FieldType::R8:
            if (!c.zeroes)
                c.f64.erase(c.f64.begin() + row);
            break;
        case FieldType::String:
            keepLengths(c); // the row's text stays behind as a gap
            c.offsets.erase(row);
            if (c.wide)
                c.len16.erase(c.len16.begin() + row);
            else
                c.len8.erase(c.len8.begin() + row);
            break;
        }
    }
    --m_rows;
    invalidateAll();
    const auto observers = m_observers;
    for (StorageObserver *o : observers)
        o->storageRowRemoved(row);
}

void RecordTableStorage::clear()
{
    for (Column &c : m_columns) {
        releaseVector(c.i16);
        releaseVector(c.i32);
        releaseVector(c.f64);
        releaseVector(c.bytes);
        releaseVector(c.folded);
        c.offsets.release();
        releaseVector(c.len8);
        releaseVector(c.len16);
        releaseVector(c.unsetBits);
        c.hasFolded = false;
        c.monotonic = true;
        c.packed = true;
        c.rangeKnown = false;
        c.zeroes = c.type == FieldType::R8;
    }
    m_rows = 0;
    invalidateAll();
    const auto observers = m_observers;
    for (StorageObserver *o : observers)
        o->storageCleared();
}

void RecordTableStorage::reorder(const std::vector<uint32_t> &order)
{
    for (Column &c : m_columns) {
        std::vector<uint64_t> bits(wordsFor(m_rows), 0);
        for (uint32_t i = 0; i < m_rows; ++i)
            if (c.isUnset(order[i]))
                bits[i >> 6] |= uint64_t(1) << (i & 63);
        c.unsetBits.swap(bits);
        switch (c.type) {
        case FieldType::I2:
            c.i16 = gather(c.i16, order);
            break;
        case FieldType::I4:
            c.i32 = gather(c.i32, order);
            break;
        case FieldType::R8:
            if (!c.zeroes)
                c.f64 = gather(c.f64, order);
            break;
        case FieldType::String: {
            std::vector<char> bytes;
            TextOffsets offsets;
            offsets.reserve(m_rows);
            for (uint32_t old : order) {
                offsets.push_back(uint32_t(bytes.size()));
                bytes.insert(bytes.end(), c.text(old), c.text(old) + c.length(old));
            }
            c.bytes.swap(bytes);
            c.offsets.swap(offsets);
            c.monotonic = true;
            c.packed = true;
            releaseVector(c.len8);
            releaseVector(c.len16);
            releaseVector(c.folded);
            c.hasFolded = false;
            break;
        }
        }
    }
    invalidateAll();
    std::vector<uint32_t> newRowOfOld(m_rows);
    for (uint32_t i = 0; i < m_rows; ++i)
        newRowOfOld[order[i]] = i;
    const auto observers = m_observers;
    for (StorageObserver *o : observers)
        o->storageRowsReordered(newRowOfOld);
}

void RecordTableStorage::ensureFolded(int field)
{
    Column &c = m_columns[size_t(field)];
    if (c.type != FieldType::String || c.hasFolded)
        return;
    const unsigned char *fold = Cp1251::foldTable();
    c.folded.resize(c.bytes.size());
    const auto *in = reinterpret_cast<const unsigned char *>(c.bytes.data());
    char *out = c.folded.data();
    for (size_t i = 0, n = c.bytes.size(); i < n; ++i)
        out[i] = char(fold[in[i]]);
    c.hasFolded = true;
}

void RecordTableStorage::ensureMonotonic(int field)
{
    Column &c = m_columns[size_t(field)];
    if (c.type != FieldType::String || c.monotonic)
        return;
    size_t total = 0;
    for (uint32_t r = 0; r < m_rows; ++r)
        total += c.length(r);
    std::vector<char> bytes;
    std::vector<char> folded;
    TextOffsets offsets;
    bytes.reserve(total);
    if (c.hasFolded)
        folded.reserve(total);
    offsets.reserve(m_rows);
    for (uint32_t r = 0; r < m_rows; ++r) {
        offsets.push_back(uint32_t(bytes.size()));
        bytes.insert(bytes.end(), c.text(r), c.text(r) + c.length(r));
        if (c.hasFolded)
            folded.insert(folded.end(), c.foldedText(r), c.foldedText(r) + c.length(r));
    }
    c.bytes.swap(bytes);
    c.folded.swap(folded);
    c.offsets.swap(offsets);
    c.monotonic = true;
    // One text after another again: the lengths follow from the offsets.
    c.packed = true;
    releaseVector(c.len8);
    releaseVector(c.len16);
}

const std::vector<uint32_t> &RecordTableStorage::permutation(int field, bool caseInsensitive)
{
    if (m_columns[size_t(field)].type != FieldType::String)
        caseInsensitive = false;
    return *sharedPermutation(field, caseInsensitive);
}

std::shared_ptr<const std::vector<uint32_t>> RecordTableStorage::sharedPermutation(int field, bool caseInsensitive)
{
    if (m_columns[size_t(field)].type != FieldType::String)
        caseInsensitive = false;
    Permutation &p = m_permutations[{field, caseInsensitive}];
    if (p.covered == m_rows)
        return p.rows;
    if (caseInsensitive)
        ensureFolded(field);
    std::vector<uint32_t> tail(m_rows - p.covered);
    std::iota(tail.begin(), tail.end(), p.covered);
    ColumnSort::sortRows(m_columns[size_t(field)], caseInsensitive, tail);
    if (p.covered == 0) {
        // A view may still read the old rows: the new order is a new vector.
        p.rows = std::make_shared<std::vector<uint32_t>>(std::move(tail));
    } else {
        if (p.rows.use_count() > 1) {
            auto copy = std::make_shared<std::vector<uint32_t>>();
            copy->reserve(m_rows);
            copy->assign(p.rows->begin(), p.rows->end());
            p.rows = std::move(copy);
        }
        std::vector<uint32_t> &rows = *p.rows;
        const size_t middle = rows.size();
        rows.insert(rows.end(), tail.begin(), tail.end());
        std::inplace_merge(rows.begin(), rows.begin() + std::ptrdiff_t(middle), rows.end(),
                           [&](uint32_t a, uint32_t b) { return compareRows(field, caseInsensitive, a, b) < 0; });
    }
    p.covered = m_rows;
    return p.rows;
}

int RecordTableStorage::compareRows(int field, bool caseInsensitive, uint32_t a, uint32_t b) const
{
    const int cmp = compareKeys(field, caseInsensitive, a, b);
    if (cmp != 0)
        return cmp;
    return a < b ? -1 : (a > b ? 1 : 0);
}

int RecordTableStorage::compareKeys(int field, bool caseInsensitive, uint32_t a, uint32_t b) const
{
    const Column &c = m_columns[size_t(field)];
    int cmp;
    if (c.type == FieldType::String) {
        if (caseInsensitive && c.hasFolded) {
            cmp = ColumnSort::compareBytes(c.foldedText(a), c.length(a), c.foldedText(b), c.length(b));
        } else if (caseInsensitive) {
            const unsigned char *fold = Cp1251::foldTable();
            const uint32_t la = c.length(a);
            const uint32_t lb = c.length(b);
            const auto *pa = reinterpret_cast<const unsigned char *>(c.text(a));
            const auto *pb = reinterpret_cast<const unsigned char *>(c.text(b));
            cmp = 0;
            for (uint32_t i = 0; i < std::min(la, lb) && cmp == 0; ++i)
                cmp = int(fold[pa[i]]) - int(fold[pb[i]]);
            if (cmp == 0)
                cmp = la < lb ? -1 : (la > lb ? 1 : 0);
        } else {
            cmp = ColumnSort::compareBytes(c.text(a), c.length(a), c.text(b), c.length(b));
        }
    } else {
        const uint64_t ka = ColumnSort::numericSortKey(c, a);
        const uint64_t kb = ColumnSort::numericSortKey(c, b);
        cmp = ka < kb ? -1 : (ka > kb ? 1 : 0);
    }
    return cmp;
}

bool RecordTableStorage::keysEqual(int field, uint32_t a, uint32_t b) const
{
    const Column &c = m_columns[size_t(field)];
    if (c.type == FieldType::String)
        return ColumnSort::compareBytes(c.text(a), c.length(a), c.text(b), c.length(b)) == 0;
    return c.number(a) == c.number(b);
}

void RecordTableStorage::invalidateColumn(int field)
{
    for (auto it = m_permutations.begin(); it != m_permutations.end();) {
        if (it->first.first == field)
            it = m_permutations.erase(it);
        else
            ++it;
    }
    if (size_t(field) < m_valueIndexes.size())
        m_valueIndexes[size_t(field)].reset();
}

void RecordTableStorage::invalidateAll()
{
    m_permutations.clear();
    for (auto &index : m_valueIndexes)
        index.reset();
}

void RecordTableStorage::integerRange(int field, qint64 *min, qint64 *max)
{
    Column &c = m_columns[size_t(field)];
    if (!c.rangeKnown) {
        qint64 lo = 0;
        qint64 hi = 0;
        if (m_rows > 0) {
            lo = hi = c.integer(0);
            if (c.type == FieldType::I2) {
                for (int16_t v : c.i16) {
                    lo = std::min<qint64>(lo, v);
                    hi = std::max<qint64>(hi, v);
                }
            } else if (c.type == FieldType::I4) {
                for (int32_t v : c.i32) {
                    lo = std::min<qint64>(lo, v);
                    hi = std::max<qint64>(hi, v);
                }
            }
        }
        c.rangeMin = lo;
        c.rangeMax = hi;
        c.rangeKnown = true;
    }
    *min = c.rangeMin;
    *max = c.rangeMax;
}

RecordTableStorage::ValueIndex &RecordTableStorage::valueIndex(int field)
{
    if (m_valueIndexes.size() < m_columns.size())
        m_valueIndexes.resize(m_columns.size());
    std::unique_ptr<ValueIndex> &index = m_valueIndexes[size_t(field)];
    if (!index)
        index = std::make_unique<ValueIndex>();
    if (!index->isCurrent(m_rows))
        index->build(m_columns[size_t(field)], m_rows);
    return *index;
}

void RecordTableStorage::firstRowsWithValues(int field, const std::vector<double> &values, std::vector<qint64> &rows,
                                             std::vector<char> &shared)
{
    const Column &c = m_columns[size_t(field)];
    rows.assign(values.size(), -1);
    shared.assign(values.size(), 0);
    if (size_t(field) < m_valueIndexes.size() && m_valueIndexes[size_t(field)]
        && m_valueIndexes[size_t(field)]->isCurrent(m_rows)) {
        const ValueIndex &index = *m_valueIndexes[size_t(field)];
        for (size_t i = 0; i < values.size(); ++i) {
            index.forEach(c, values[i], [&](uint32_t row) {
                if (rows[i] >= 0)
                    shared[i] = 1;
                if (rows[i] < 0 || row < rows[i])
                    rows[i] = row;
            });
        }
        return;
    }

    // The values sought, each once, in an open-addressing table that stays
    // in the cache when they are few; the column is read straight through.
    struct Slot
    {
        uint64_t key = 0;
        uint32_t first = std::numeric_limits<uint32_t>::max(); // no row yet
        bool used = false;
        bool shared = false;
    };
    int bits = 4;
    while ((uint64_t(1) << bits) < 2 * uint64_t(values.size()))
        ++bits;
    std::vector<Slot> sought(size_t(1) << bits);
    const uint64_t mask = sought.size() - 1;
    const auto bucket = [bits](uint64_t key) { return ((key ^ (key >> 29)) * 0xBF58476D1CE4E5B9ULL) >> (64 - bits); };
    std::vector<int64_t> slotOf(values.size(), -1);
    for (size_t i = 0; i < values.size(); ++i) {
        uint64_t key = 0;
        if (!valueKey(c.type, values[i], &key))
            continue;
        uint64_t at = bucket(key);
        while (sought[at].used && sought[at].key != key)
            at = (at + 1) & mask;
        sought[at].used = true;
        sought[at].key = key;
        slotOf[i] = int64_t(at);
    }
    // A bit per hash of every value sought turns most other rows away
    // before the table is read.
    int filterBits = 9;
    while ((uint64_t(1) << filterBits) < 8 * uint64_t(values.size()))
        ++filterBits;
    std::vector<uint64_t> filter((size_t(1) << filterBits) / 64, 0);
    const uint64_t filterMask = (uint64_t(1) << filterBits) - 1;
    const auto filterBit = [filterMask](uint64_t key) {
        return ((key ^ (key >> 31)) * 0x9E3779B97F4A7C15ULL >> 17) & filterMask;
    };
    for (size_t i = 0; i < values.size(); ++i) {
        if (slotOf[i] >= 0) {
            const uint64_t bit = filterBit(sought[size_t(slotOf[i])].key);
            filter[bit >> 6] |= uint64_t(1) << (bit & 63);
        }
    }
    const auto seen = [&](uint64_t key, uint32_t row) {
        const uint64_t bit = filterBit(key);
        if (!((filter[bit >> 6] >> (bit & 63)) & 1))
            return;
        uint64_t at = bucket(key);
        while (sought[at].used) {
            if (sought[at].key == key) {
                if (sought[at].first == std::numeric_limits<uint32_t>::max())
                    sought[at].first = row;
                else
                    sought[at].shared = true;
                return;
            }
            at = (at + 1) & mask;
        }
    };
    // Unset cells hold 0 and are found as 0, as through the hash table.
    switch (c.type) {
    case FieldType::I2:
        for (uint32_t r = 0; r < m_rows; ++r)
            seen(uint64_t(int64_t(c.i16[r])), r);
        break;
    case FieldType::I4:
        for (uint32_t r = 0; r < m_rows; ++r)
            seen(uint64_t(int64_t(c.i32[r])), r);
        break;
    case FieldType::R8:
        for (uint32_t r = 0; r < m_rows; ++r) {
            uint64_t key = 0;
            valueKey(c.type, c.number(r), &key);
            seen(key, r);
        }
        break;
    case FieldType::String:
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (slotOf[i] < 0)
            continue;
        const Slot &slot = sought[size_t(slotOf[i])];
        if (slot.first != std::numeric_limits<uint32_t>::max()) {
            rows[i] = slot.first;
            shared[i] = slot.shared;
        }
    }
}

void RecordTableStorage::addObserver(StorageObserver *observer)
{
    m_observers.push_back(observer);
}

void RecordTableStorage::removeObserver(StorageObserver *observer)
{
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void RecordTableStorage::notifyRowUpdated(uint32_t row, StorageObserver *by)
{
    const auto observers = m_observers;
    for (StorageObserver *o : observers)
        if (o != by)
            o->storageRowUpdated(row);
}

qint64 RecordTableStorage::memoryBytes() const
{
    qint64 total = 0;
    for (const Column &c : m_columns) {
        total += qint64(c.i16.capacity() * sizeof(int16_t));
        total += qint64(c.i32.capacity() * sizeof(int32_t));
        total += qint64(c.f64.capacity() * sizeof(double));
        total += qint64(c.bytes.capacity() + c.folded.capacity());
        total += qint64(c.offsets.capacityBytes());
        total += qint64(c.len8.capacity() + c.len16.capacity() * sizeof(uint16_t));
        total += qint64(c.unsetBits.capacity() * sizeof(uint64_t));
    }
    for (const auto &p : m_permutations)
        total += qint64(p.second.rows->capacity() * sizeof(uint32_t));
    for (const auto &v : m_valueIndexes)
        if (v)
            total += v->memoryBytes();
    return total;
}

QString RecordTableStorage::numberText(double value)
{
    if (value == 0)
        return QStringLiteral("0");
    QString text = QString::number(value, 'g', 15);
    const QChar separator = Decimal::separator();
    if (separator != QLatin1Char('.'))
        text.replace(QLatin1Char('.'), separator);
    return text;
}

QByteArray RecordTableStorage::numberBytes(double value, FieldType type)
{
    if (type == FieldType::R8)
        return numberText(value).toLatin1();
    return QByteArray::number(qint64(value));
}

// --- ValueIndex ---------------------------------------------------------------

void RecordTableStorage::ValueIndex::build(const Column &column, uint32_t rows)
{
    m_rows = rows;
    m_built = true;
    releaseVector(m_multi);
    releaseVector(m_dense);
    if (column.type == FieldType::R8)
        buildTable(m_wide, column, rows);
    else if (!buildDense(column, rows))
        buildTable(m_narrow, column, rows);
}

bool RecordTableStorage::ValueIndex::buildDense(const Column &column, uint32_t rows)
{
    if (rows == 0)
        return false;
    qint64 lo = column.integer(0);
    qint64 hi = lo;
    for (uint32_t r = 1; r < rows; ++r) {
        const qint64 v = column.integer(r);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (uint64_t(hi - lo) >= 2 * uint64_t(rows))
        return false;
    releaseVector(m_narrow.entries);
    m_denseMin = lo;
    m_dense.assign(size_t(hi - lo + 1), 0);
    bool anyShared = false;
    for (uint32_t r = 0; r < rows; ++r) {
        uint32_t &ref = m_dense[size_t(column.integer(r) - lo)];
        if (ref == 0)
            ref = r + 1;
        else
            anyShared = true;
    }
    if (anyShared) {
        shareRows(
            m_dense.size(), rows, [this](uint64_t slot) -> uint32_t & { return m_dense[slot]; },
            [&column, lo](uint32_t row) { return uint64_t(column.integer(row) - lo); });
    }
    return true;
}

template<typename RefOf, typename SlotOf>
void RecordTableStorage::ValueIndex::shareRows(uint64_t slotCount, uint32_t rows, RefOf &&refOf, SlotOf &&slotOf)
{
    std::vector<uint32_t> counts(slotCount, 0);
    for (uint32_t r = 0; r < rows; ++r)
        ++counts[slotOf(r)];
    size_t total = 0;
    for (uint64_t i = 0; i < slotCount; ++i)
        if (counts[i] > 1)
            total += counts[i] + 1;
    m_multi.resize(total);
    uint32_t next = 0;
    for (uint64_t i = 0; i < slotCount; ++i) {
        if (counts[i] > 1) {
            m_multi[next] = counts[i];
            refOf(i) = kShared | next;
            counts[i] = next + 1; // where the next row goes
            next += m_multi[next] + 1;
        }
    }
    for (uint32_t r = 0; r < rows; ++r) {
        const uint64_t i = slotOf(r);
        if (refOf(i) & kShared)
            m_multi[counts[i]++] = r;
    }
}

template<typename Key>
void RecordTableStorage::ValueIndex::buildTable(Table<Key> &table, const Column &column, uint32_t rows)
{
    using Slot = typename Table<Key>::Slot;
    releaseVector(table.entries);
    if (rows == 0)
        return;
    int bits = 4;
    while ((uint64_t(1) << bits) < uint64_t(rows) + rows / 2)
        ++bits;
    const uint64_t capacity = uint64_t(1) << bits;
    table.mask = capacity - 1;
    table.shift = int(sizeof(Key) * 8) - bits;
    table.entries.reserve(capacity);
    adviseHugePages(table.entries.data(), capacity * sizeof(Slot));
    table.entries.assign(capacity, Slot{});

    // Unset cells hold 0 and are found as 0, as everywhere else.
    auto keyAt = [&column](uint32_t row) -> Key {
        uint64_t key = 0;
        valueKey(column.type, column.number(row), &key);
        return Key(key);
    };
    bool anyShared = false;
    for (uint32_t r = 0; r < rows; ++r) {
        const Key key = keyAt(r);
        const uint64_t i = table.find(key);
        if (table.entries[i].ref == 0) {
            table.entries[i].key = key;
            table.entries[i].ref = r + 1;
        } else {
            anyShared = true;
        }
    }
    // The rows per value are counted only when some value is shared: a
    // column of codes, one row each, is gone through once.
    if (!anyShared)
        return;
    shareRows(
        capacity, rows, [&table](uint64_t slot) -> uint32_t & { return table.entries[slot].ref; },
        [&table, &keyAt](uint32_t row) { return table.find(keyAt(row)); });
}

qint64 RecordTableStorage::ValueIndex::memoryBytes() const
{
    return qint64(m_narrow.entries.capacity() * sizeof(Table<uint32_t>::Slot)
                  + m_wide.entries.capacity() * sizeof(Table<uint64_t>::Slot)
                  + (m_multi.capacity() + m_dense.capacity()) * sizeof(uint32_t));
}
