#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fielddef.h"
#include "filternode.h"
#include "filtervalueset.h"

// One node of a filter expression bound to the fields of a table: names
// resolved to columns, constants prepared for the type of their field, the
// "field = number" terms of an OR on one numeric field merged into one value
// set, the conditions of an AND ordered cheapest first. Made by FilterBinder
// from the parse tree, read by FilterEvaluator.
struct BoundFilter final
{
    enum class Kind
    {
        Or,
        And,
        Not,
        Compare,
        ValueSet
    };

    // How a comparison is evaluated.
    enum class Mode
    {
        Nothing,      // no value can pass
        All,          // every value passes
        NumEqual,     // number == `number`
        NumGreater,   // number >= `number`
        TextEqual,    // text == needle, letter case folded
        TextPrefix,   // text begins with needle
        TextGreater,  // text >= needle
        TextContains, // text contains needle
        TextLike      // general pattern
    };

    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<BoundFilter>> children; // Or, And: the terms; Not: the one operand

    // Compare: the comparison as written; ValueSet: the field name as the
    // first of its terms wrote it.
    FilterNode::Comparison written;

    // Compare and ValueSet
    int field = -1;
    FieldType type = FieldType::String;

    // Compare
    Mode mode = Mode::Nothing;
    bool viaText = false; // a numeric field compared by its text form
    double number = 0;
    std::string needle;                // folded Windows-1251 bytes
    std::vector<std::string> segments; // LIKE: the literal runs between "%"
    bool anchoredStart = false;
    bool anchoredEnd = false;

    // ValueSet
    FilterValueSet values;

    // What testing one row costs, roughly; an AND tests the cheap ones first.
    int cost = 0;
};
