#pragma once

#include <QString>

struct BoundFilter;
struct FilterNode;

// The structure of a filter expression as text, fully parenthesised,
// keywords in capitals: "((A = 1 AND B = 'x') OR NOT C LIKE '%y%')". A bound
// expression shows its value sets as "CODE IN (1, 2)" and its AND
// conditions in the order they are tested. For diagnostics and tests.
namespace FilterDescriber
{
    QString describe(const FilterNode &node);
    QString describe(const BoundFilter &node);
}
