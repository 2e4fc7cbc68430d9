#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QList>
#include <QString>

#include "fielddef.h"

class RecordTableStorage;
struct BoundFilter;
struct FilterNode;

// The filter expression language of record tables:
//
//   expression  := conjunction { OR conjunction }
//   conjunction := negation { AND negation }
//   negation    := NOT negation | primary
//   primary     := "(" expression ")" | comparison
//   comparison  := field "=" constant | field ">=" constant | field LIKE text
//   constant    := integer (optional "-", digits) | text ('...', '' for ')
//
// Keywords in any letter case; field names matched without regard to case.
// Text comparisons ignore the case of Latin and Cyrillic letters (Windows-1251,
// Ё with ё included):
// - text "=" is equality; a text constant ending in "*" is the prefix form
//   (only that final "*" is special; a lone "*" keeps every value);
// - LIKE matches the whole value; "%" is any run of characters, every other
//   character, "_" included, stands for itself;
// - text ">=" compares the case-folded Windows-1251 bytes.
// A numeric field against an integer compares numbers (Price=12 keeps 12.0).
// A numeric field against a text constant compares numbers when the text is a
// number (decimal separator of the program) and it is "=" or ">=" without the
// prefix "*"; otherwise the field's text form ("12", "5.5") is compared by the
// text rules. A text field against an integer compares the text with the
// integer's decimal digits. Unset values compare as 0 or as empty text.
//
// An OR of several "field = number" terms on one numeric field is evaluated as
// one look-up in a set of values. Parentheses nest at most kMaxDepth deep;
// long OR and AND chains do not nest.
class FilterExpr final
{
public:
    static constexpr int kMaxDepth = 200;

    // Parses a filter text. A blank text gives an expression that keeps
    // every row. Throws OrdixError naming the position and what was wrong.
    static std::unique_ptr<FilterExpr> parse(const QString &text);
    ~FilterExpr();

    FilterExpr(const FilterExpr &) = delete;
    FilterExpr &operator=(const FilterExpr &) = delete;

    // True for a blank text: every row passes.
    bool isEmpty() const;
    // The structure as parsed (or as bound), fully parenthesised, keywords
    // in capitals: "((A = 1 AND B = 'x') OR NOT C LIKE '%y%')". For
    // diagnostics and tests.
    QString describe() const;

    // Resolves the field names against a table's fields and prepares the
    // constants; throws OrdixError "Field 'x' not found". Done once.
    void bind(const QList<FieldDef> &fields);
    bool isBound() const { return m_bound; }

    // Builds the search aids that evaluation needs (for a whole-table pass,
    // text columns searched for a substring are made compact). Cheap when
    // nothing is to do.
    void prepare(RecordTableStorage &storage, bool wholeTable) const;
    // One row. prepare() first.
    bool matches(const RecordTableStorage &storage, uint32_t row) const;
    // Every row: bit r of `bits` tells whether row r passes. prepare(.., true) first.
    void evaluate(const RecordTableStorage &storage, std::vector<uint64_t> &bits) const;

private:
    FilterExpr();

    std::unique_ptr<FilterNode> m_root;       // as parsed; null: keeps every row
    std::unique_ptr<BoundFilter> m_boundRoot; // as bound; null until bound and for a blank text
    bool m_bound = false;
};
