#include "columnsort.h"

#include <atomic>
#include <thread>

namespace
{
    // Eight bytes of a text cell from `from` on, big-endian, zero padded.
    uint64_t textChunk(const char *text, uint32_t length, uint32_t from)
    {
        uint64_t key = 0;
        if (from >= length)
            return 0;
        const uint32_t n = std::min<uint32_t>(8, length - from);
        const auto *p = reinterpret_cast<const unsigned char *>(text + from);
        if (n == 8) {
            uint64_t raw;
            std::memcpy(&raw, p, 8);
            if constexpr (std::endian::native == std::endian::little)
                raw = __builtin_bswap64(raw);
            return raw;
        }
        for (uint32_t i = 0; i < n; ++i)
            key |= uint64_t(p[i]) << (56 - 8 * i);
        return key;
    }
}

void ColumnSort::sortRows(const RecordTableStorage::Column &c, bool caseInsensitive, std::vector<uint32_t> &rows)
{
    // Twelve bytes an item: a million rows' items take 12 MB, not 16.
#pragma pack(push, 4)
    struct Item
    {
        uint64_t key;
        uint32_t row;
    };
#pragma pack(pop)
    static_assert(sizeof(Item) == 12);
    std::vector<Item> items(rows.size());

    if (c.type != FieldType::String) {
        for (size_t i = 0; i < rows.size(); ++i)
            items[i] = {numericSortKey(c, rows[i]), rows[i]};
        std::sort(items.begin(), items.end(),
                  [](const Item &a, const Item &b) { return a.key != b.key ? a.key < b.key : a.row < b.row; });
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = items[i].row;
        return;
    }

    // Text: sorted eight bytes at a time; only rows that agree on all bytes
    // so far are looked at again, so most of the work is on integers.
    const bool ci = caseInsensitive;
    auto textOf = [&](uint32_t row) { return ci ? c.foldedText(row) : c.text(row); };
    auto byKey = [](const Item &a, const Item &b) { return a.key < b.key; };
    const bool twoCores = rows.size() >= 100000 && std::thread::hardware_concurrency() > 1;
    if (twoCores) {
        // A large column's first pass runs on two cores without a merge: the
        // items are split at a key near the median of a sample, the smaller
        // keys to the front, and each side is sorted on its own core.
        constexpr size_t sampleSize = 4096;
        std::vector<uint64_t> sample(sampleSize);
        for (size_t k = 0; k < sampleSize; ++k) {
            const uint32_t row = rows[k * rows.size() / sampleSize];
            sample[k] = textChunk(textOf(row), c.length(row), 0);
        }
        std::nth_element(sample.begin(), sample.begin() + sampleSize / 2, sample.end());
        const uint64_t pivot = sample[sampleSize / 2];
        const auto below = [pivot](const Item &item) { return item.key < pivot; };
        const size_t half = rows.size() / 2;
        size_t split[2] = {0, 0};
        auto keyAndSplit = [&](int side, size_t begin, size_t end) {
            for (size_t i = begin; i < end; ++i)
                items[i] = {textChunk(textOf(rows[i]), c.length(rows[i]), 0), rows[i]};
            split[side] =
                size_t(std::partition(items.begin() + std::ptrdiff_t(begin), items.begin() + std::ptrdiff_t(end), below)
                       - items.begin());
        };
        std::thread other(keyAndSplit, 1, half, rows.size());
        keyAndSplit(0, 0, half);
        other.join();
        // [small0 | large0 | small1 | large1] becomes [small0 small1 | large0 large1].
        const auto middle = std::rotate(items.begin() + std::ptrdiff_t(split[0]), items.begin() + std::ptrdiff_t(half),
                                        items.begin() + std::ptrdiff_t(split[1]));
        std::thread sorter([&] { std::sort(middle, items.end(), byKey); });
        std::sort(items.begin(), middle, byKey);
        sorter.join();
    } else {
        for (size_t i = 0; i < rows.size(); ++i)
            items[i] = {textChunk(textOf(rows[i]), c.length(rows[i]), 0), rows[i]};
        std::sort(items.begin(), items.end(), byKey);
    }

    struct Range
    {
        size_t begin;
        size_t end;
        uint32_t depth; // bytes already known equal
    };
    auto pushRuns = [&](std::vector<Range> &work, size_t begin, size_t end, uint32_t depth) {
        size_t i = begin;
        while (i < end) {
            size_t j = i + 1;
            while (j < end && items[j].key == items[i].key)
                ++j;
            if (j - i > 1)
                work.push_back({i, j, depth});
            i = j;
        }
    };
    // Orders one run of equal first keys completely; runs never overlap, so
    // each is refined on its own whichever thread takes it.
    auto refine = [&](const Range &run, std::vector<Range> &work) {
        work.push_back(run);
        while (!work.empty()) {
            const Range r = work.back();
            work.pop_back();
            bool anyLonger = false;
            for (size_t i = r.begin; i < r.end && !anyLonger; ++i)
                anyLonger = c.length(items[i].row) > r.depth;
            if (!anyLonger) {
                // Every text ends here: order by the whole text, then by row.
                std::sort(items.begin() + std::ptrdiff_t(r.begin), items.begin() + std::ptrdiff_t(r.end),
                          [&](const Item &a, const Item &b) {
                              const int cmp =
                                  compareBytes(textOf(a.row), c.length(a.row), textOf(b.row), c.length(b.row));
                              return cmp != 0 ? cmp < 0 : a.row < b.row;
                          });
                continue;
            }
            for (size_t i = r.begin; i < r.end; ++i)
                items[i].key = textChunk(textOf(items[i].row), c.length(items[i].row), r.depth);
            std::sort(items.begin() + std::ptrdiff_t(r.begin), items.begin() + std::ptrdiff_t(r.end), byKey);
            pushRuns(work, r.begin, r.end, r.depth + 8);
        }
    };
    std::vector<Range> runs;
    pushRuns(runs, 0, items.size(), 8);
    // A large column's runs are shared out between two cores, each taking
    // the next block of runs still untouched.
    constexpr size_t runsPerBlock = 64;
    std::atomic<size_t> nextBlock{0};
    auto refineRuns = [&] {
        std::vector<Range> work;
        for (size_t k = runsPerBlock * nextBlock++; k < runs.size(); k = runsPerBlock * nextBlock++) {
            for (size_t end = std::min(runs.size(), k + runsPerBlock); k < end; ++k)
                refine(runs[k], work);
        }
    };
    if (twoCores && runs.size() > 1) {
        std::thread other(refineRuns);
        refineRuns();
        other.join();
    } else {
        refineRuns();
    }
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = items[i].row;
}
