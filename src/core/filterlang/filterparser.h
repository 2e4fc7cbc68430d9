#pragma once

#include <memory>

#include <QString>

#include "filterlexer.h"
#include "filternode.h"

// Builds the parse tree of a filter text (the grammar is described with
// FilterExpr). Parentheses nest at most FilterExpr::kMaxDepth deep.
class FilterParser final
{
public:
    // The tree of a whole text; null for a blank one. Throws OrdixError
    // naming the position and what was wrong.
    static std::unique_ptr<FilterNode> parse(const QString &text);

private:
    using Operand = std::unique_ptr<FilterNode> (FilterParser::*)(int depth);

    explicit FilterParser(const QString &text);

    void advance();
    std::unique_ptr<FilterNode> parseAll();
    std::unique_ptr<FilterNode> parseList(FilterNode::Kind kind, FilterLexer::Tok separator, Operand operand,
                                          int depth);
    std::unique_ptr<FilterNode> parseExpression(int depth);
    std::unique_ptr<FilterNode> parseConjunction(int depth);
    std::unique_ptr<FilterNode> parseNegation(int depth);
    std::unique_ptr<FilterNode> parsePrimary(int depth);
    std::unique_ptr<FilterNode> parseComparison();

    FilterLexer m_lexer;
    FilterLexer::Token m_tok;
};
