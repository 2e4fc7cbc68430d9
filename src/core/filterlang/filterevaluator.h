#pragma once

#include <cstdint>
#include <vector>

class RecordTableStorage;
struct BoundFilter;

// Evaluates a bound filter expression on the rows of a storage: one row at
// a time, or every row at once into a bitmap. The conditions of an AND test
// only the rows the ones before kept.
class FilterEvaluator final
{
public:
    // Builds the search aids that evaluating `filter` needs (for a
    // whole-table pass, text columns searched for a substring are made
    // compact). Cheap when nothing is to do.
    static void prepare(const BoundFilter &filter, RecordTableStorage &storage, bool wholeTable);

    // The storage must outlive the evaluator; prepare() it first.
    explicit FilterEvaluator(const RecordTableStorage &storage);

    bool matches(const BoundFilter &filter, uint32_t row) const;
    // Every row: bit r of `bits` tells whether row r passes; a null filter
    // keeps every row.
    void evaluate(const BoundFilter *filter, std::vector<uint64_t> &bits) const;

private:
    bool compareMatches(const BoundFilter &n, uint32_t row) const;
    // Bits of the rows of `within` (every row when null) that pass.
    void evalNode(const BoundFilter &n, uint64_t *out, const uint64_t *within) const;
    void evalCompare(const BoundFilter &n, uint64_t *out, const uint64_t *within) const;

    const RecordTableStorage &m_storage;
};
