#include "partsearch.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>

#include <exception>
#include <thread>

#include <QChar>
#include <QScopeGuard>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cp1251.h"
#include "orderedwork.h"
#include "ordixerror.h"
#include "pricefields.h"
#include "recordtable.h"

namespace
{
    // What each Windows-1251 byte is to the rules, worked out once.
    struct ByteRules
    {
        std::array<bool, 256> wordChar{};      // a letter or a digit
        std::array<uint8_t, 256> wordForm{};   // lower case, ё as е
        std::array<uint8_t, 256> numberForm{}; // upper case, look-alikes Latin; 0: dropped
        std::array<bool, 256> tokenChar{};     // belongs to a part-number token

        ByteRules()
        {
            for (int b = 0; b < 256; ++b) {
                const QChar ch(Cp1251::toUnicode(uchar(b)));
                wordChar[size_t(b)] = ch.isLetterOrNumber();
                uint8_t lower = Cp1251::fold(uchar(b));
                if (lower == 0xB8) // ё
                    lower = 0xE5;  // е
                wordForm[size_t(b)] = lower;
                const unsigned char upper = Cp1251::fromUnicode(ch.toUpper().unicode());
                numberForm[size_t(b)] = upper != 0 ? upper : uchar(b);
            }
            for (const char dropped : {' ', '-', '.', '/', '\\', '_', '\t'})
                numberForm[uchar(dropped)] = 0;
            // Cyrillic capitals that look like Latin ones: А В Е К М Н О Р С Т У Х.
            const unsigned char cyrillic[] = {0xC0, 0xC2, 0xC5, 0xCA, 0xCC, 0xCD, 0xCE, 0xD0, 0xD1, 0xD2, 0xD3, 0xD5};
            const char latin[] = "ABEKMHOPCTYX";
            for (size_t i = 0; i < sizeof cyrillic; ++i) {
                for (int b = 0; b < 256; ++b)
                    if (numberForm[size_t(b)] == cyrillic[i])
                        numberForm[size_t(b)] = uchar(latin[i]);
            }
            for (int b = 0; b < 256; ++b)
                tokenChar[size_t(b)] = wordChar[size_t(b)] || (b != ' ' && b != '\t' && numberForm[size_t(b)] == 0);
        }
    };

    const ByteRules &rules()
    {
        static const ByteRules r;
        return r;
    }

    // The memory of a step of the build goes back to the system before the
    // next one takes its own, so that the steps' buffers do not add up.
    void returnFreedMemory()
    {
#if defined(__GLIBC__)
        malloc_trim(0);
#endif
    }

    bool isDigit(char ch)
    {
        return ch >= '0' && ch <= '9';
    }

    void appendNumberForm(QByteArrayView text, QByteArray &out)
    {
        const ByteRules &r = rules();
        for (const char ch : text) {
            const uint8_t f = r.numberForm[uchar(ch)];
            if (f != 0)
                out.append(char(f));
        }
    }

    // Calls fn(word) for each word of a text, in word form (`buffer` holds
    // the forms meanwhile).
    template<typename Fn>
    void forEachWord(QByteArrayView text, std::vector<char> &buffer, Fn &&fn)
    {
        const ByteRules &r = rules();
        const auto *p = reinterpret_cast<const unsigned char *>(text.data());
        const qsizetype n = text.size();
        if (buffer.size() < size_t(n) + 1)
            buffer.resize(size_t(n) + 1);
        char *const out = buffer.data();
        qsizetype i = 0;
        while (i < n) {
            while (i < n && !r.wordChar[p[i]])
                ++i;
            if (i >= n)
                break;
            qsizetype length = 0;
            uint32_t hash = 2166136261u; // FNV-1a of the form, for the dictionary
            while (i < n && r.wordChar[p[i]]) {
                const uint8_t f = r.wordForm[p[i++]];
                out[length++] = char(f);
                hash = (hash ^ f) * 16777619u;
            }
            fn(QByteArrayView(out, length), hash);
        }
    }

    // Calls fn(token) for each part-number token of a name (a run of letters,
    // digits and the marks the part-number form drops, holding a digit), in
    // part-number form; a run of such tokens apart by blanks only also
    // comes joined, as "0 242 235 666" is written.
    template<typename Fn>
    void forEachToken(QByteArrayView text, std::vector<char> &buffer, Fn &&fn)
    {
        const ByteRules &r = rules();
        const auto *p = reinterpret_cast<const unsigned char *>(text.data());
        qsizetype i = 0;
        const qsizetype n = text.size();
        // The token at the front of the buffer, the run joined behind it.
        if (buffer.size() < 2 * size_t(n) + 2)
            buffer.resize(2 * size_t(n) + 2);
        char *const token = buffer.data();
        char *const joined = token + n + 1;
        qsizetype joinedLength = 0;
        int inRun = 0;
        const auto endRun = [&] {
            if (inRun > 1)
                fn(QByteArrayView(joined, joinedLength));
            inRun = 0;
            joinedLength = 0;
        };
        // Tokens are found from their digits: the text between them is
        // passed over, and a run goes on only over blanks.
        qsizetype previousEnd = 0;
        while (true) {
            while (i < n && (p[i] < '0' || p[i] > '9'))
                ++i;
            if (i >= n)
                break;
            qsizetype start = i;
            while (start > previousEnd && r.tokenChar[p[start - 1]])
                --start;
            qsizetype end = i + 1;
            while (end < n && r.tokenChar[p[end]])
                ++end;
            bool blanks = inRun > 0;
            for (qsizetype k = previousEnd; blanks && k < start; ++k)
                blanks = p[k] == ' ';
            if (!blanks)
                endRun();
            qsizetype length = 0;
            for (qsizetype k = start; k < end; ++k) {
                const uint8_t f = r.numberForm[p[k]];
                if (f != 0)
                    token[length++] = char(f);
            }
            fn(QByteArrayView(token, length));
            std::memcpy(joined + joinedLength, token, size_t(length));
            joinedLength += length;
            ++inRun;
            previousEnd = end;
            i = end;
        }
        endRun();
    }

    // Calls fn(row, text) for every stored row's text of a field, read a
    // block of rows at a time.
    template<typename Fn>
    void forEachText(const RecordTable &table, int field, uint32_t rows, Fn &&fn)
    {
        constexpr uint32_t Block = 256;
        QByteArrayView texts[Block];
        for (uint32_t first = 0; first < rows; first += Block) {
            const uint32_t count = std::min(Block, rows - first);
            table.storedBytes(first, count, field, texts);
            for (uint32_t k = 0; k < count; ++k)
                fn(first + k, texts[k]);
        }
    }

    // Sorts by the bits [fromBit, toBit) of key(item), 16 at a time, keeping
    // the order of equal keys: a few passes over the items instead of a
    // comparison sort's many.
    template<typename T, typename Key>
    void radixSort(std::vector<T> &items, Key key, int fromBit, int toBit)
    {
        const int passes = (toBit - fromBit + 15) / 16;
        // Every pass's counts in one reading of the items.
        std::vector<uint32_t> count(size_t(passes) * 65536, 0);
        for (const T &item : items) {
            const uint64_t k = key(item);
            for (int p = 0; p < passes; ++p)
                ++count[size_t(p) * 65536 + ((k >> (fromBit + 16 * p)) & 0xFFFF)];
        }
        std::vector<T> other(items.size());
        for (int p = 0; p < passes; ++p) {
            uint32_t *c = count.data() + size_t(p) * 65536;
            if (c[(key(items.front()) >> (fromBit + 16 * p)) & 0xFFFF] == items.size())
                continue; // one digit for all: nothing moves
            uint32_t sum = 0;
            for (size_t d = 0; d < 65536; ++d) {
                const uint32_t here = c[d];
                c[d] = sum;
                sum += here;
            }
            const int shift = fromBit + 16 * p;
            for (const T &item : items)
                other[c[(key(item) >> shift) & 0xFFFF]++] = item;
            items.swap(other);
        }
    }

    size_t varintSize(uint32_t value)
    {
        return value < (1u << 7) ? 1 : value < (1u << 14) ? 2 : value < (1u << 21) ? 3 : value < (1u << 28) ? 4 : 5;
    }

    bool startsWith(QByteArrayView text, QByteArrayView prefix)
    {
        return text.size() >= prefix.size() && std::memcmp(text.data(), prefix.data(), size_t(prefix.size())) == 0;
    }

    int compareBytes(QByteArrayView a, QByteArrayView b)
    {
        const size_t n = size_t(std::min(a.size(), b.size()));
        const int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
        if (c != 0)
            return c;
        return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
    }

    // The keyboard: each Latin key and the Cyrillic letter it types.
    constexpr char16_t Latin[] = u"qwertyuiop[]asdfghjkl;'zxcvbnm,.`QWERTYUIOP{}ASDFGHJKL:\"ZXCVBNM<>~";
    constexpr char16_t Cyrillic[] = u"йцукенгшщзхъфывапролджэячсмитьбюёЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ";
    static_assert(sizeof Latin == sizeof Cyrillic);

    bool isLatinLetter(QChar ch)
    {
        return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
    }

    bool isCyrillicLetter(QChar ch)
    {
        return ch.script() == QChar::Script_Cyrillic && ch.isLetter();
    }
}

// Rows as a bit per stored row.
class PartSearch::RowSet final
{
public:
    explicit RowSet(uint32_t rows)
        : m_bits((size_t(rows) + 63) / 64, 0)
    { }
    void add(uint32_t row) { m_bits[row >> 6] |= uint64_t(1) << (row & 63); }
    bool has(uint32_t row) const { return (m_bits[row >> 6] >> (row & 63)) & 1u; }
    void intersect(const RowSet &other)
    {
        for (size_t w = 0; w < m_bits.size(); ++w)
            m_bits[w] &= other.m_bits[w];
    }
    void clear() { std::fill(m_bits.begin(), m_bits.end(), 0); }
    template<typename Fn>
    void forEach(Fn &&fn) const
    {
        for (size_t w = 0; w < m_bits.size(); ++w) {
            uint64_t word = m_bits[w];
            while (word) {
                fn(uint32_t(w * 64 + size_t(std::countr_zero(word))));
                word &= word - 1;
            }
        }
    }

private:
    std::vector<uint64_t> m_bits;
};

// --- building ------------------------------------------------------------------

// Collects the terms of every row and lays them out as a Dictionary.
class PartSearch::DictionaryBuilder final
{
public:
    DictionaryBuilder(uint32_t rows, size_t termsPerRow)
    {
        // Room for two bytes a term and the rows' ends; untouched room
        // costs address space, not memory.
        m_ids.reserve(size_t(rows) * (2 * termsPerRow + 1));
    }

    void add(QByteArrayView term) { add(term, hashOf(term)); }
    void add(QByteArrayView term, uint32_t hash)
    {
        const uint32_t id = intern(term, hash);
        // A term twice in one row counts once.
        if (std::find(m_row.begin(), m_row.end(), id) == m_row.end())
            m_row.push_back(id);
    }
    void endRow()
    {
        for (uint32_t id : m_row) {
            uint32_t value = id + 1;
            while (value >= 0x80) {
                m_ids.push_back(uint8_t(value | 0x80));
                value >>= 7;
            }
            m_ids.push_back(uint8_t(value));
        }
        m_ids.push_back(0);
        m_row.clear();
    }

    void finish(Dictionary &out)
    {
        const size_t terms = m_termStart.size();
        // The terms in byte order.
        std::vector<uint32_t> order(terms);
        for (uint32_t i = 0; i < terms; ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [this](uint32_t a, uint32_t b) { return compareBytes(term(a), term(b)) < 0; });
        std::vector<uint32_t> rank(terms);
        for (uint32_t i = 0; i < terms; ++i)
            rank[order[i]] = i;

        // Each term's rows as deltas: their bytes counted first (rows come
        // in order, so each term's previous row is all that is needed),
        // then written in place.
        std::vector<uint32_t> previous(terms, 0);
        std::vector<uint64_t> at(terms + 1, 0);
        forEachTerm([&](uint32_t row, uint32_t id) {
            const uint32_t t = rank[id];
            at[t + 1] += varintSize(row - previous[t]);
            previous[t] = row;
        });
        for (size_t t = 0; t < terms; ++t)
            at[t + 1] += at[t];

        out = Dictionary();
        out.rowStart = at;
        out.rows.resize(at[terms]);
        std::fill(previous.begin(), previous.end(), 0);
        forEachTerm([&](uint32_t row, uint32_t id) {
            const uint32_t t = rank[id];
            uint32_t delta = row - previous[t];
            previous[t] = row;
            uint8_t *p = out.rows.data() + at[t];
            while (delta >= 0x80) {
                *p++ = uint8_t(delta | 0x80);
                delta >>= 7;
            }
            *p++ = uint8_t(delta);
            at[t] = uint64_t(p - out.rows.data());
        });
        std::vector<uint8_t>().swap(m_ids);

        out.termStart.reserve(terms + 1);
        for (size_t t = 0; t < terms; ++t) {
            out.termStart.push_back(uint32_t(out.terms.size()));
            const QByteArrayView text = term(order[t]);
            out.terms.insert(out.terms.end(), text.begin(), text.end());
        }
        out.termStart.push_back(uint32_t(out.terms.size()));
        out.terms.shrink_to_fit();
    }

private:
    // Calls fn(row, id) for each term of each row, rows in order.
    template<typename Fn>
    void forEachTerm(Fn &&fn) const
    {
        uint32_t row = 0;
        for (size_t k = 0; k < m_ids.size();) {
            uint32_t value = 0;
            for (int shift = 0;; shift += 7) {
                const uint8_t byte = m_ids[k++];
                value |= uint32_t(byte & 0x7F) << shift;
                if (!(byte & 0x80))
                    break;
            }
            if (value == 0)
                ++row;
            else
                fn(row, value - 1);
        }
    }

    QByteArrayView term(uint32_t id) const
    {
        return QByteArrayView(m_arena.data() + m_termStart[id], qsizetype(m_termLength[id]));
    }

    // Words are short: compared in place rather than by a call.
    bool sameTerm(uint32_t id, QByteArrayView text) const
    {
        if (m_termLength[id] != uint32_t(text.size()))
            return false;
        const char *a = m_arena.data() + m_termStart[id];
        const char *b = text.data();
        for (qsizetype k = 0; k < text.size(); ++k)
            if (a[k] != b[k])
                return false;
        return true;
    }

    static uint32_t hashOf(QByteArrayView text)
    {
        uint32_t h = 2166136261u;
        for (const char ch : text)
            h = (h ^ uchar(ch)) * 16777619u;
        return h;
    }

    uint32_t intern(QByteArrayView text, uint32_t hash)
    {
        if (m_slots.empty() || m_termStart.size() * 2 >= m_slots.size())
            grow();
        const size_t mask = m_slots.size() - 1;
        size_t i = hash & mask;
        while (m_slots[i] != 0) {
            const uint32_t id = m_slots[i] - 1;
            if (m_hashes[id] == hash && sameTerm(id, text))
                return id;
            i = (i + 1) & mask;
        }
        const uint32_t id = uint32_t(m_termStart.size());
        m_termStart.push_back(uint32_t(m_arena.size()));
        m_termLength.push_back(uint32_t(text.size()));
        m_hashes.push_back(hash);
        m_arena.insert(m_arena.end(), text.begin(), text.end());
        m_slots[i] = id + 1;
        return id;
    }

    void grow()
    {
        std::vector<uint32_t> fresh(std::max<size_t>(1024, m_slots.size() * 2), 0);
        const size_t mask = fresh.size() - 1;
        for (uint32_t id = 0; id < m_termStart.size(); ++id) {
            size_t i = m_hashes[id] & mask;
            while (fresh[i] != 0)
                i = (i + 1) & mask;
            fresh[i] = id + 1;
        }
        m_slots.swap(fresh);
    }

    std::vector<char> m_arena;
    std::vector<uint32_t> m_termStart;
    std::vector<uint32_t> m_termLength;
    std::vector<uint32_t> m_hashes;
    std::vector<uint32_t> m_slots; // id + 1, 0: free
    // The terms of each row, row after row, as LEB128 numbers (id + 1),
    // each row ended by a 0: a byte or two a term where ids took four.
    std::vector<uint8_t> m_ids;
    std::vector<uint32_t> m_row; // the terms of the row being added
};

PartSearch::PartSearch() = default;
PartSearch::~PartSearch() = default;

void PartSearch::clear()
{
    m_table = nullptr;
    m_rows = 0;
    std::vector<uint32_t>().swap(m_catalogOrder);
    m_words = Dictionary();
    m_tokens = Dictionary();
    std::vector<uint64_t>().swap(m_namedBy);
}

void PartSearch::build(RecordTable &table)
{
    clear();
    if (!table.isActive())
        throw OrdixError(QStringLiteral("The price list is not open"));
    m_codeField = PriceFields::of(table, PriceFields::Code);
    m_nameField = PriceFields::of(table, PriceFields::Name);
    m_catalogField = PriceFields::of(table, PriceFields::CatalogID);
    m_analogueField = PriceFields::of(table, PriceFields::Analogue);
    const uint32_t rows = table.storedRowCount();

    // The words of the names on one core, the rest on the other: both only
    // read the table.
    std::thread names;
    std::exception_ptr namesFailed;
    const auto buildNames = [this, &table, rows, &namesFailed] {
        try {
            DictionaryBuilder words(rows, 6);
            std::vector<char> buffer;
            forEachText(table, m_nameField, rows, [&](uint32_t, QByteArrayView name) {
                forEachWord(name, buffer, [&](QByteArrayView word, uint32_t hash) { words.add(word, hash); });
                words.endRow();
            });
            words.finish(m_words);
        } catch (...) {
            namesFailed = std::current_exception();
        }
    };
    if (OrderedWork::hasTwoCores() && rows > 50000)
        names = std::thread(buildNames);
    else
        buildNames();
    auto joinNames = qScopeGuard([&names] {
        if (names.joinable())
            names.join();
    });

    // Part numbers: ordered by their form; the first eight bytes of each
    // form decide most comparisons, the rest is compared when they tie.
    {
        // Twelve bytes an entry: the sort's two buffers of a million rows
        // take 24 MB, not 32.
#pragma pack(push, 4)
        struct Entry
        {
            uint64_t head;
            uint32_t row;
        };
#pragma pack(pop)
        static_assert(sizeof(Entry) == 12);
        std::vector<Entry> entries;
        entries.reserve(rows);
        const ByteRules &r = rules();
        forEachText(table, m_catalogField, rows, [&](uint32_t row, QByteArrayView text) {
            // Only the first eight bytes of the form are needed here.
            uint64_t head = 0;
            int length = 0;
            for (const char ch : text) {
                const uint8_t f = r.numberForm[uchar(ch)];
                if (f == 0)
                    continue;
                head = (head << 8) | f;
                if (++length == 8)
                    break;
            }
            if (length == 0)
                return;
            head <<= 8 * (8 - length);
            entries.push_back({head, row});
        });
        // By the heads (rows stay ascending within equal heads; the last two
        // bytes of the heads are left to the second step), then the runs of
        // equal heads by their whole forms.
        if (!entries.empty())
            radixSort(
                entries, [](const Entry &e) { return e.head; }, 16, 64);
        std::vector<QByteArray> keys;
        std::vector<uint32_t> order;
        for (size_t k = 0; k < entries.size();) {
            size_t end = k + 1;
            while (end < entries.size() && (entries[end].head >> 16) == (entries[k].head >> 16))
                ++end;
            if (end - k > 1) {
                keys.resize(end - k);
                order.resize(end - k);
                for (size_t j = 0; j < end - k; ++j) {
                    keys[j].resize(0);
                    appendNumberForm(table.storedBytes(entries[k + j].row, m_catalogField), keys[j]);
                    order[j] = uint32_t(j);
                }
                std::stable_sort(order.begin(), order.end(),
                                 [&](uint32_t a, uint32_t b) { return compareBytes(keys[a], keys[b]) < 0; });
                std::vector<Entry> run(entries.begin() + std::ptrdiff_t(k), entries.begin() + std::ptrdiff_t(end));
                for (size_t j = 0; j < run.size(); ++j)
                    entries[k + j] = run[order[j]];
            }
            k = end;
        }
        m_catalogOrder.reserve(entries.size());
        for (const Entry &e : entries)
            m_catalogOrder.push_back(e.row);
    }
    returnFreedMemory();

    // The part-number tokens of the names.
    {
        DictionaryBuilder tokens(rows, 2);
        std::vector<char> buffer;
        forEachText(table, m_nameField, rows, [&](uint32_t, QByteArrayView name) {
            forEachToken(name, buffer, [&](QByteArrayView token) { tokens.add(token); });
            tokens.endRow();
        });
        tokens.finish(m_tokens);
    }
    returnFreedMemory();

    // Analogue codes, by code: the pairs take their room once and are put
    // in order as they are made (the index is built while the whole list is
    // in memory: no second copy of them at any time).
    {
        const auto forEachAnalogue = [&](auto &&fn) {
            forEachText(table, m_analogueField, rows, [&](uint32_t row, QByteArrayView analogues) {
                qint64 code = -1;
                for (qsizetype i = 0; i <= analogues.size(); ++i) {
                    const char ch = i < analogues.size() ? analogues[i] : ',';
                    if (isDigit(ch)) {
                        code = (code < 0 ? 0 : code) * 10 + (ch - '0');
                        if (code > std::numeric_limits<qint32>::max())
                            code = std::numeric_limits<qint64>::max() / 20;
                    } else if (ch != ' ') {
                        if (code >= 0 && code <= std::numeric_limits<qint32>::max())
                            fn((uint64_t(code) << 32) | row);
                        code = -1;
                    }
                }
            });
        };
        // How many pairs and the highest code; how many in each bucket of
        // codes; then each pair straight to its place. The rows come in
        // order, so only the codes that share a bucket need a sort.
        size_t pairs = 0;
        uint64_t highest = 0;
        forEachAnalogue([&](uint64_t pair) {
            ++pairs;
            highest = std::max(highest, pair >> 32);
        });
        // A bucket a code where the buckets take no more than the pairs.
        const uint64_t most = std::max<uint64_t>(uint64_t(1) << 20, pairs);
        int shift = 0;
        while ((highest >> shift) >= most)
            ++shift;
        std::vector<uint32_t> bucketEnd(size_t(highest >> shift) + 2, 0);
        forEachAnalogue([&](uint64_t pair) { ++bucketEnd[size_t(pair >> 32 >> shift) + 1]; });
        for (size_t b = 1; b < bucketEnd.size(); ++b)
            bucketEnd[b] += bucketEnd[b - 1];
        m_namedBy.resize(pairs);
        forEachAnalogue([&](uint64_t pair) { m_namedBy[bucketEnd[size_t(pair >> 32 >> shift)]++] = pair; });
        if (shift > 0) {
            for (size_t b = 0, from = 0; b + 1 < bucketEnd.size(); from = bucketEnd[b++])
                std::sort(m_namedBy.begin() + std::ptrdiff_t(from), m_namedBy.begin() + std::ptrdiff_t(bucketEnd[b]));
        }
        m_namedBy.erase(std::unique(m_namedBy.begin(), m_namedBy.end()), m_namedBy.end());
    }
    joinNames.dismiss();
    if (names.joinable())
        names.join();
    if (namesFailed) {
        clear();
        std::rethrow_exception(namesFailed);
    }
    // The code look-up the first tier and the analogues use, built now
    // rather than at the first keystroke.
    table.storedValuesUnique(m_codeField);
    m_table = &table;
    m_rows = rows;
}

qint64 PartSearch::memoryBytes() const
{
    return qint64(m_catalogOrder.capacity() * sizeof(uint32_t) + m_namedBy.capacity() * sizeof(uint64_t))
        + m_words.memoryBytes() + m_tokens.memoryBytes();
}

qint64 PartSearch::Dictionary::memoryBytes() const
{
    return qint64(terms.capacity() + termStart.capacity() * sizeof(uint32_t) + rows.capacity()
                  + rowStart.capacity() * sizeof(uint64_t));
}

void PartSearch::Dictionary::range(QByteArrayView prefix, bool exact, size_t *first, size_t *last) const
{
    const size_t n = termCount();
    size_t lo = 0;
    size_t hi = n;
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        if (compareBytes(term(mid), prefix) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *first = lo;
    size_t end = lo;
    if (exact) {
        if (end < n && term(end) == prefix)
            ++end;
    } else {
        hi = n;
        while (end < hi) {
            const size_t mid = (end + hi) / 2;
            if (startsWith(term(mid), prefix))
                end = mid + 1;
            else
                hi = mid;
        }
    }
    *last = end;
}

template<typename Fn>
void PartSearch::Dictionary::forEachRow(size_t term, Fn &&fn) const
{
    const uint8_t *p = rows.data() + rowStart[term];
    const uint8_t *const end = rows.data() + rowStart[term + 1];
    uint32_t row = 0;
    while (p < end) {
        uint32_t delta = 0;
        int shift = 0;
        while (*p & 0x80) {
            delta |= uint32_t(*p++ & 0x7F) << shift;
            shift += 7;
        }
        delta |= uint32_t(*p++) << shift;
        row += delta;
        fn(row);
    }
}

// --- finding -------------------------------------------------------------------

void PartSearch::catalogKey(uint32_t row, QByteArray &out) const
{
    out.resize(0);
    appendNumberForm(m_table->storedBytes(row, m_catalogField), out);
}

void PartSearch::catalogRange(QByteArrayView key, size_t *first, size_t *last) const
{
    QByteArray buffer;
    size_t lo = 0;
    size_t hi = m_catalogOrder.size();
    while (lo < hi) {
        const size_t mid = (lo + hi) / 2;
        catalogKey(m_catalogOrder[mid], buffer);
        if (compareBytes(buffer, key) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *first = lo;
    size_t end = lo;
    hi = m_catalogOrder.size();
    while (end < hi) {
        const size_t mid = (end + hi) / 2;
        catalogKey(m_catalogOrder[mid], buffer);
        if (startsWith(buffer, key))
            end = mid + 1;
        else
            hi = mid;
    }
    *last = end;
}

void PartSearch::codeRows(qint64 code, std::vector<uint32_t> &rows) const
{
    rows.clear();
    if (code < std::numeric_limits<qint32>::min() || code > std::numeric_limits<qint32>::max())
        return;
    m_table->storedRowsWithValue(m_codeField, double(code), rows);
    std::sort(rows.begin(), rows.end());
}

QString PartSearch::limitedQuery(const QString &text, bool *cut)
{
    QString query = text.left(MaxQueryChars);
    int words = 0;
    for (qsizetype i = 0; i < query.size(); ++i) {
        if (query[i].isSpace())
            continue;
        if (++words > MaxQueryWords) {
            query.truncate(i);
            break;
        }
        while (i + 1 < query.size() && !query[i + 1].isSpace())
            ++i;
    }
    if (cut)
        *cut = query.size() < text.size() && !text.sliced(query.size()).trimmed().isEmpty();
    return query;
}

QString PartSearch::queryCutNote()
{
    return QStringLiteral("Запрос сокращён до %1 слов и %2 знаков").arg(MaxQueryWords).arg(MaxQueryChars);
}

PartSearch::Result PartSearch::find(const QString &typed, size_t limit) const
{
    bool cut = false;
    const QString text = limitedQuery(typed, &cut);
    Result result = findAsTyped(text);
    if (result.hits.empty()) {
        const QString other = switchLayout(text);
        if (other != text) {
            result = findAsTyped(other);
            result.switchedLayout = !result.hits.empty();
            if (!result.switchedLayout)
                result.searched = text;
        }
    }
    if (limit > 0 && result.hits.size() > limit)
        result.hits.resize(limit);
    result.cut = cut;
    return result;
}

PartSearch::Result PartSearch::findAsTyped(const QString &text) const
{
    Result result;
    result.searched = text;
    if (!m_table || m_rows == 0)
        return result;
    const QByteArray bytes = Cp1251::encode(text);
    QByteArray key;
    appendNumberForm(bytes, key);
    std::vector<QByteArray> words;
    {
        std::vector<char> buffer;
        forEachWord(bytes, buffer, [&](QByteArrayView word, uint32_t) { words.emplace_back(word.toByteArray()); });
        // A word said twice, or one that starts another word of the query,
        // asks nothing more: each costs a pass over its rows.
        std::sort(words.begin(), words.end());
        size_t kept = 0;
        for (size_t w = 0; w < words.size(); ++w) {
            if (w + 1 == words.size() || !words[w + 1].startsWith(words[w]))
                words[kept++] = std::move(words[w]);
        }
        words.resize(kept);
    }
    if (key.isEmpty() && words.empty())
        return result;

    RowSet taken(m_rows);
    std::vector<Hit> &hits = result.hits;
    const auto take = [&](uint32_t row, Tier tier, bool inName = false, qint32 analogueOf = 0) {
        if (row >= m_rows || taken.has(row))
            return;
        taken.add(row);
        hits.push_back(Hit{row, tier, inName, analogueOf});
    };
    const auto sortFrom = [&](size_t from) {
        std::stable_sort(hits.begin() + std::ptrdiff_t(from), hits.end(),
                         [](const Hit &a, const Hit &b) { return a.row < b.row; });
    };

    // 1. The whole code.
    std::vector<uint32_t> rows;
    if (!key.isEmpty() && key.size() <= 10 && std::all_of(key.cbegin(), key.cend(), isDigit)) {
        codeRows(key.toLongLong(), rows);
        for (uint32_t row : rows)
            take(row, Tier::Code);
    }

    // 2. The part number, or a part-number token of the name, equal to the query.
    size_t catalogFirst = 0;
    size_t catalogLast = 0;
    if (!key.isEmpty()) {
        const size_t from = hits.size();
        catalogRange(key, &catalogFirst, &catalogLast);
        QByteArray buffer;
        size_t k = catalogFirst;
        for (; k < catalogLast; ++k) {
            catalogKey(m_catalogOrder[k], buffer);
            if (buffer.size() != key.size())
                break;
            take(m_catalogOrder[k], Tier::PartNumber);
        }
        const size_t exactEnd = k;
        size_t first = 0;
        size_t last = 0;
        m_tokens.range(key, true, &first, &last);
        for (size_t t = first; t < last; ++t)
            m_tokens.forEachRow(t, [&](uint32_t row) { take(row, Tier::PartNumber, true); });
        sortFrom(from);
        catalogFirst = exactEnd;
    }
    const size_t bestEnd = hits.size();

    // 3. The part number starting with the query.
    if (catalogFirst < catalogLast) {
        const size_t from = hits.size();
        for (size_t k = catalogFirst; k < catalogLast; ++k)
            take(m_catalogOrder[k], Tier::PartNumberStart);
        sortFrom(from);
    }

    // 4. Every word of the query starts a word of the name.
    if (!words.empty())
        takeNameWords(words, taken, hits);

    // 5. Analogues of the first two tiers, both ways.
    {
        struct Named
        {
            uint32_t row;
            qint32 of;
        };
        std::vector<Named> named;
        const size_t sources = std::min<size_t>(bestEnd, 1000);
        for (size_t h = 0; h < sources; ++h) {
            const uint32_t source = hits[h].row;
            const qint32 code = qint32(m_table->storedInteger(source, m_codeField));
            const QByteArrayView list = m_table->storedBytes(source, m_analogueField);
            qint64 value = -1;
            for (qsizetype i = 0; i <= list.size(); ++i) {
                const char ch = i < list.size() ? list[i] : ',';
                if (isDigit(ch)) {
                    value = (value < 0 ? 0 : value) * 10 + (ch - '0');
                    if (value > std::numeric_limits<qint32>::max())
                        value = std::numeric_limits<qint64>::max() / 20;
                } else if (ch != ' ') {
                    if (value >= 0) {
                        codeRows(value, rows);
                        for (uint32_t row : rows)
                            named.push_back({row, code});
                    }
                    value = -1;
                }
            }
            const uint64_t low = uint64_t(uint32_t(code)) << 32;
            for (auto it = std::lower_bound(m_namedBy.begin(), m_namedBy.end(), low);
                 it != m_namedBy.end() && (*it >> 32) == uint32_t(code); ++it)
                named.push_back({uint32_t(*it & 0xFFFFFFFFu), code});
        }
        std::stable_sort(named.begin(), named.end(), [](const Named &a, const Named &b) { return a.row < b.row; });
        for (const Named &n : named)
            take(n.row, Tier::Analogue, false, n.of);
    }
    return result;
}

void PartSearch::takeNameWords(const std::vector<QByteArray> &words, RowSet &taken, std::vector<Hit> &hits) const
{
    RowSet all(m_rows);
    RowSet one(m_rows);
    // Per query word, the rows holding it as a whole word.
    std::vector<RowSet> whole;
    whole.reserve(words.size());
    bool firstWord = true;
    for (const QByteArray &word : words) {
        RowSet &into = firstWord ? all : one;
        if (!firstWord)
            one.clear();
        size_t first = 0;
        size_t last = 0;
        m_words.range(word, false, &first, &last);
        whole.emplace_back(m_rows);
        for (size_t t = first; t < last; ++t) {
            RowSet &exact = whole.back();
            const bool equal = m_words.term(t).size() == word.size();
            m_words.forEachRow(t, [&](uint32_t row) {
                into.add(row);
                if (equal)
                    exact.add(row);
            });
        }
        if (!firstWord)
            all.intersect(one);
        firstWord = false;
    }

    // Ranked: more query words equal to whole words of the name first, then
    // the names whose first word a query word starts, then stored order.
    // "масло" puts "Масло моторное" before "Колпачки маслосъёмные".
    const ByteRules &r = rules();
    const size_t ranks = 2 * (words.size() + 1);
    std::vector<uint32_t> rankOf;
    std::vector<uint32_t> rows;
    std::vector<uint32_t> count(ranks + 1, 0);
    all.forEach([&](uint32_t row) {
        if (taken.has(row))
            return;
        size_t equal = 0;
        for (const RowSet &exact : whole)
            equal += exact.has(row) ? 1 : 0;
        // The name's first word, in word form, against each query word.
        const QByteArrayView name = m_table->storedBytes(row, m_nameField);
        qsizetype i = 0;
        while (i < name.size() && !r.wordChar[uchar(name[i])])
            ++i;
        bool startsName = false;
        for (const QByteArray &word : words) {
            qsizetype k = 0;
            while (k < word.size() && i + k < name.size() && r.wordChar[uchar(name[i + k])]
                   && char(r.wordForm[uchar(name[i + k])]) == word[k])
                ++k;
            if (k == word.size()) {
                startsName = true;
                break;
            }
        }
        const size_t rank = 2 * (words.size() - equal) + (startsName ? 0 : 1);
        rankOf.push_back(uint32_t(rank));
        rows.push_back(row);
        ++count[rank + 1];
    });
    for (size_t k = 1; k <= ranks; ++k)
        count[k] += count[k - 1];
    const size_t from = hits.size();
    hits.resize(from + rows.size());
    for (size_t h = 0; h < rows.size(); ++h) {
        taken.add(rows[h]);
        hits[from + count[rankOf[h]]++] = Hit{rows[h], Tier::NameWords, false, 0};
    }
}

// --- texts ---------------------------------------------------------------------

QString PartSearch::foundText(const Hit &hit, bool switchedLayout)
{
    if (switchedLayout)
        return QStringLiteral("раскладка");
    switch (hit.tier) {
    case Tier::Code:
        return QStringLiteral("код");
    case Tier::PartNumber:
        return hit.inName ? QStringLiteral("название") : QStringLiteral("артикул");
    case Tier::PartNumberStart:
        return QStringLiteral("артикул");
    case Tier::NameWords:
        return QStringLiteral("название");
    case Tier::Analogue:
        return QStringLiteral("аналог ") + QString::number(hit.analogueOf);
    }
    return QString();
}

QString PartSearch::partNumberForm(const QString &text)
{
    QByteArray out;
    appendNumberForm(Cp1251::encode(text), out);
    return Cp1251::decode(out);
}

QStringList PartSearch::nameWords(const QString &text)
{
    QStringList result;
    std::vector<char> buffer;
    forEachWord(Cp1251::encode(text), buffer,
                [&](QByteArrayView word, uint32_t) { result.append(Cp1251::decode(word)); });
    return result;
}

QString PartSearch::switchLayout(const QString &text)
{
    bool latin = false;
    bool cyrillic = false;
    for (const QChar ch : text) {
        latin = latin || isLatinLetter(ch);
        cyrillic = cyrillic || isCyrillicLetter(ch);
    }
    const QStringView latinKeys(Latin, qsizetype(std::size(Latin) - 1));
    const QStringView cyrillicKeys(Cyrillic, qsizetype(std::size(Cyrillic) - 1));
    QString out = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (isCyrillicLetter(ch) && latin != cyrillic) {
            const qsizetype k = cyrillicKeys.indexOf(ch);
            if (k >= 0)
                out[i] = latinKeys.at(k);
        } else if (isCyrillicLetter(ch) || isLatinLetter(ch)) {
            // Latin letters go to Cyrillic; in a text of both scripts every
            // letter goes to the other one.
            const qsizetype k = isLatinLetter(ch) ? latinKeys.indexOf(ch) : cyrillicKeys.indexOf(ch);
            if (k >= 0)
                out[i] = isLatinLetter(ch) ? cyrillicKeys.at(k) : latinKeys.at(k);
        } else if (latin && !cyrillic) {
            // The keys of , . ; ' [ ] ` type letters on the Russian layout,
            // but only beside a letter: "0.5" stays a number.
            const bool besideLetter =
                (i > 0 && isLatinLetter(text.at(i - 1))) || (i + 1 < text.size() && isLatinLetter(text.at(i + 1)));
            const qsizetype k = latinKeys.indexOf(ch);
            if (k >= 0 && besideLetter)
                out[i] = cyrillicKeys.at(k);
        }
    }
    return out;
}
