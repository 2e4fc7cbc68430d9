#include "filterevaluator.h"

#include <algorithm>
#include <bit>

#include "boundfilter.h"
#include "cp1251.h"
#include "foldedtext.h"
#include "recordtablestorage.h"

using Column = RecordTableStorage::Column;
using Mode = BoundFilter::Mode;

namespace
{
    size_t wordsFor(uint32_t rows)
    {
        return (size_t(rows) + 63) / 64;
    }

    void clearTail(uint64_t *bits, uint32_t rows)
    {
        if (rows & 63)
            bits[rows >> 6] &= (uint64_t(1) << (rows & 63)) - 1;
    }

    template<typename Pred>
    void fillBits(uint32_t rows, uint64_t *bits, const uint64_t *within, Pred &&pred)
    {
        const size_t words = wordsFor(rows);
        for (size_t w = 0; w < words; ++w) {
            const uint32_t base = uint32_t(w * 64);
            if (within) {
                uint64_t candidates = within[w];
                uint64_t word = 0;
                while (candidates) {
                    const int bit = std::countr_zero(candidates);
                    candidates &= candidates - 1;
                    if (pred(base + uint32_t(bit)))
                        word |= uint64_t(1) << bit;
                }
                bits[w] = word;
            } else {
                const uint32_t end = std::min<uint32_t>(rows, base + 64);
                uint64_t word = 0;
                for (uint32_t r = base; r < end; ++r)
                    word |= uint64_t(pred(r) ? 1 : 0) << (r - base);
                bits[w] = word;
            }
        }
    }

    size_t popcount(const uint64_t *bits, size_t words)
    {
        size_t n = 0;
        for (size_t w = 0; w < words; ++w)
            n += size_t(std::popcount(bits[w]));
        return n;
    }

    bool likeMatch(const BoundFilter &n, const char *s, size_t len)
    {
        size_t pos = 0;
        size_t end = len;
        size_t first = 0;
        size_t last = n.segments.size();
        if (n.anchoredStart) {
            const std::string &seg = n.segments.front();
            if (len < seg.size() || !FoldedText::equal(s, seg.data(), seg.size()))
                return false;
            pos = seg.size();
            first = 1;
        }
        if (n.anchoredEnd && last > first) {
            const std::string &seg = n.segments.back();
            if (len - pos < seg.size() || !FoldedText::equal(s + len - seg.size(), seg.data(), seg.size()))
                return false;
            end = len - seg.size();
            --last;
        }
        for (size_t i = first; i < last; ++i) {
            const std::string &seg = n.segments[i];
            const char *hit = FoldedText::search(s + pos, end - pos, seg.data(), seg.size());
            if (!hit)
                return false;
            pos = size_t(hit - s) + seg.size();
        }
        return true;
    }

    // A text mode on stored bytes (the needle is folded already).
    bool textMatches(const BoundFilter &n, const char *s, size_t len)
    {
        switch (n.mode) {
        case Mode::Nothing:
            return false;
        case Mode::All:
            return true;
        case Mode::TextEqual:
            return len == n.needle.size() && FoldedText::equal(s, n.needle.data(), len);
        case Mode::TextPrefix:
            return len >= n.needle.size() && FoldedText::equal(s, n.needle.data(), n.needle.size());
        case Mode::TextGreater:
            return FoldedText::compare(s, len, n.needle.data(), n.needle.size()) >= 0;
        case Mode::TextContains:
            return FoldedText::search(s, len, n.needle.data(), n.needle.size()) != nullptr;
        case Mode::TextLike:
            return likeMatch(n, s, len);
        case Mode::NumEqual:
        case Mode::NumGreater:
            break;
        }
        return false;
    }

    // Whole-column substring search over the compact text arena: one pass
    // over the bytes, hits mapped to rows by their offsets.
    void containsScan(const BoundFilter &n, const Column &c, uint32_t rows, uint64_t *bits)
    {
        std::fill(bits, bits + wordsFor(rows), 0);
        const char *base = c.bytes.data();
        const size_t total = c.bytes.size();
        const TextOffsets &offsets = c.offsets;
        const size_t m = n.needle.size();
        size_t pos = 0;
        uint32_t row = 0;
        while (pos < total && row < rows) {
            const char *hit = FoldedText::search(base + pos, total - pos, n.needle.data(), m);
            if (!hit)
                break;
            const size_t p = size_t(hit - base);
            const uint32_t after = offsets.upperBound(row, rows, uint32_t(p));
            if (after == row) {
                pos = p + 1;
                continue;
            }
            const uint32_t r = after - 1;
            const size_t rowEnd = size_t(offsets[r]) + c.length(r);
            if (p + m <= rowEnd) {
                bits[r >> 6] |= uint64_t(1) << (r & 63);
                pos = rowEnd;
                row = r + 1;
            } else {
                pos = p + 1;
                row = r;
            }
        }
    }
}

FilterEvaluator::FilterEvaluator(const RecordTableStorage &storage)
    : m_storage(storage)
{ }

void FilterEvaluator::prepare(const BoundFilter &n, RecordTableStorage &storage, bool wholeTable)
{
    if (n.kind == BoundFilter::Kind::Compare) {
        if (n.viaText || storage.column(n.field).type != FieldType::String)
            return;
        if (wholeTable && n.mode == Mode::TextContains)
            storage.ensureMonotonic(n.field);
        return;
    }
    for (const auto &child : n.children)
        prepare(*child, storage, wholeTable);
}

bool FilterEvaluator::matches(const BoundFilter &n, uint32_t row) const
{
    switch (n.kind) {
    case BoundFilter::Kind::Or:
        for (const auto &child : n.children)
            if (matches(*child, row))
                return true;
        return false;
    case BoundFilter::Kind::And:
        for (const auto &child : n.children)
            if (!matches(*child, row))
                return false;
        return true;
    case BoundFilter::Kind::Not:
        return !matches(*n.children.front(), row);
    case BoundFilter::Kind::ValueSet:
        return n.values.contains(m_storage.column(n.field).number(row));
    case BoundFilter::Kind::Compare:
        return compareMatches(n, row);
    }
    return false;
}

bool FilterEvaluator::compareMatches(const BoundFilter &n, uint32_t row) const
{
    const Column &c = m_storage.column(n.field);
    switch (n.mode) {
    case Mode::Nothing:
        return false;
    case Mode::All:
        return true;
    case Mode::NumEqual:
        return c.number(row) == n.number;
    case Mode::NumGreater:
        return c.number(row) >= n.number;
    default:
        break;
    }
    if (n.viaText) {
        const QByteArray text = RecordTableStorage::numberBytes(c.number(row), c.type);
        return textMatches(n, text.constData(), size_t(text.size()));
    }
    return textMatches(n, c.text(row), c.length(row));
}

void FilterEvaluator::evaluate(const BoundFilter *filter, std::vector<uint64_t> &bits) const
{
    const uint32_t rows = m_storage.rowCount();
    bits.assign(wordsFor(rows), 0);
    if (rows == 0)
        return;
    if (!filter) {
        std::fill(bits.begin(), bits.end(), ~uint64_t(0));
        clearTail(bits.data(), rows);
        return;
    }
    evalNode(*filter, bits.data(), nullptr);
}

void FilterEvaluator::evalNode(const BoundFilter &n, uint64_t *out, const uint64_t *within) const
{
    const uint32_t rows = m_storage.rowCount();
    const size_t words = wordsFor(rows);
    switch (n.kind) {
    case BoundFilter::Kind::Compare:
        evalCompare(n, out, within);
        return;
    case BoundFilter::Kind::ValueSet: {
        const Column &c = m_storage.column(n.field);
        if (c.type == FieldType::I2 && n.values.isDense()) {
            const int16_t *p = c.i16.data();
            fillBits(rows, out, within, [&](uint32_t r) { return n.values.denseContains(p[r]); });
        } else if (c.type == FieldType::I4 && n.values.isDense()) {
            const int32_t *p = c.i32.data();
            fillBits(rows, out, within, [&](uint32_t r) { return n.values.denseContains(p[r]); });
        } else {
            fillBits(rows, out, within, [&](uint32_t r) { return n.values.contains(c.number(r)); });
        }
        return;
    }
    case BoundFilter::Kind::Not:
        evalNode(*n.children.front(), out, nullptr);
        for (size_t w = 0; w < words; ++w)
            out[w] = ~out[w];
        clearTail(out, rows);
        if (within)
            for (size_t w = 0; w < words; ++w)
                out[w] &= within[w];
        return;
    case BoundFilter::Kind::And: {
        // Each condition tests only the rows that passed the ones before.
        std::vector<uint64_t> left(words);
        evalNode(*n.children.front(), out, within);
        for (size_t i = 1; i < n.children.size(); ++i) {
            bool any = false;
            for (size_t w = 0; w < words && !any; ++w)
                any = out[w] != 0;
            if (!any)
                return;
            std::copy(out, out + words, left.begin());
            evalNode(*n.children[i], out, left.data());
        }
        return;
    }
    case BoundFilter::Kind::Or: {
        std::vector<uint64_t> part(words);
        evalNode(*n.children.front(), out, within);
        for (size_t i = 1; i < n.children.size(); ++i) {
            evalNode(*n.children[i], part.data(), within);
            for (size_t w = 0; w < words; ++w)
                out[w] |= part[w];
        }
        return;
    }
    }
}

void FilterEvaluator::evalCompare(const BoundFilter &n, uint64_t *out, const uint64_t *within) const
{
    const uint32_t rows = m_storage.rowCount();
    const size_t words = wordsFor(rows);
    const Column &c = m_storage.column(n.field);
    switch (n.mode) {
    case Mode::Nothing:
        std::fill(out, out + words, 0);
        return;
    case Mode::All:
        if (within) {
            std::copy(within, within + words, out);
        } else {
            std::fill(out, out + words, ~uint64_t(0));
            clearTail(out, rows);
        }
        return;
    case Mode::NumEqual:
    case Mode::NumGreater: {
        const bool eq = n.mode == Mode::NumEqual;
        const double v = n.number;
        // One loop for each cell type, reading the cells as stored.
        auto compareCells = [&](const auto *p) {
            if (eq)
                fillBits(rows, out, within, [&](uint32_t r) { return p[r] == v; });
            else
                fillBits(rows, out, within, [&](uint32_t r) { return p[r] >= v; });
        };
        switch (c.type) {
        case FieldType::I2:
            compareCells(c.i16.data());
            return;
        case FieldType::I4:
            compareCells(c.i32.data());
            return;
        case FieldType::R8:
            if (c.zeroes) {
                // Every cell holds 0.
                const bool hit = eq ? v == 0 : 0 >= v;
                fillBits(rows, out, within, [hit](uint32_t) { return hit; });
            } else {
                compareCells(c.f64.data());
            }
            return;
        case FieldType::String:
            break;
        }
        return;
    }
    default:
        break;
    }
    if (n.viaText) {
        fillBits(rows, out, within, [&](uint32_t r) { return compareMatches(n, r); });
        return;
    }
    // Text modes, letter case folded on the fly.
    if (n.mode == Mode::TextContains && c.monotonic && (!within || popcount(within, words) * 16 > rows)) {
        containsScan(n, c, rows, out);
        if (within)
            for (size_t w = 0; w < words; ++w)
                out[w] &= within[w];
        return;
    }
    const char *bytes = c.bytes.data();
    const TextOffsets &offsets = c.offsets;
    const std::string &needle = n.needle;
    const size_t m = needle.size();
    const unsigned char *fold = Cp1251::foldTable();
    // One loop for each way the lengths are kept, reading them through
    // values held in registers rather than the column's members.
    const auto scan = [&](auto lengthOf) {
        switch (n.mode) {
        case Mode::TextEqual:
            if (m == 0) {
                fillBits(rows, out, within, [&](uint32_t r) { return lengthOf(r) == 0; });
            } else {
                const auto first = static_cast<unsigned char>(needle[0]);
                fillBits(rows, out, within, [&](uint32_t r) {
                    const char *s = bytes + offsets[r];
                    return lengthOf(r) == m && fold[static_cast<unsigned char>(s[0])] == first
                        && FoldedText::equalFrom(s, needle.data(), 1, m, fold);
                });
            }
            return;
        case Mode::TextPrefix: {
            const auto first = static_cast<unsigned char>(needle[0]);
            fillBits(rows, out, within, [&](uint32_t r) {
                const char *s = bytes + offsets[r];
                return lengthOf(r) >= m && fold[static_cast<unsigned char>(s[0])] == first
                    && FoldedText::equalFrom(s, needle.data(), 1, m, fold);
            });
            return;
        }
        default:
            fillBits(rows, out, within, [&](uint32_t r) { return textMatches(n, bytes + offsets[r], lengthOf(r)); });
            return;
        }
    };
    if (c.packed) {
        const uint32_t last = rows > 0 ? rows - 1 : 0;
        const size_t total = c.bytes.size();
        scan([&offsets, last, total](uint32_t r) -> size_t {
            return (r < last ? size_t(offsets[r + 1]) : total) - offsets[r];
        });
    } else if (c.wide) {
        scan([lengths = c.len16.data()](uint32_t r) -> size_t { return lengths[r]; });
    } else {
        scan([lengths = c.len8.data()](uint32_t r) -> size_t { return lengths[r]; });
    }
}
