#pragma once

#include <memory>
#include <vector>

#include <QString>

// One node of the parse tree of a filter text: what the text says, before
// any field name is looked up. An OR or AND chain is one flat list, however
// it was parenthesised; a run of NOTs leaves at most one.
struct FilterNode final
{
    enum class Kind
    {
        Or,
        And,
        Not,
        Compare
    };

    enum class Op
    {
        Equal,
        GreaterOrEqual,
        Like
    };

    // A comparison as written.
    struct Comparison
    {
        QString fieldName;
        Op op = Op::Equal;
        bool textConstant = false; // `text`; otherwise `integer`
        qint64 integer = 0;
        QString text;
    };

    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<FilterNode>> children; // Or, And: the terms; Not: the one operand
    Comparison comparison;                             // Compare
};
