#include "filterparser.h"

#include "filterexpr.h"

using Tok = FilterLexer::Tok;
using Kind = FilterNode::Kind;
using Op = FilterNode::Op;

namespace
{
    // Adds `child` to an OR or AND list, taking over the children of a
    // parenthesised list of the same kind.
    void append(FilterNode &list, std::unique_ptr<FilterNode> child)
    {
        if (child->kind == list.kind) {
            for (auto &grandChild : child->children)
                list.children.push_back(std::move(grandChild));
        } else {
            list.children.push_back(std::move(child));
        }
    }
}

std::unique_ptr<FilterNode> FilterParser::parse(const QString &text)
{
    FilterParser parser(text);
    return parser.parseAll();
}

FilterParser::FilterParser(const QString &text)
    : m_lexer(text)
{
    advance();
}

void FilterParser::advance()
{
    m_tok = m_lexer.next();
}

std::unique_ptr<FilterNode> FilterParser::parseAll()
{
    if (m_tok.kind == Tok::End)
        return nullptr;
    auto root = parseExpression(0);
    if (m_tok.kind != Tok::End)
        FilterLexer::syntaxError(m_tok.position, QStringLiteral("unexpected %1").arg(FilterLexer::describe(m_tok)));
    return root;
}

// operand { separator operand }: one operand alone, or a flat list.
std::unique_ptr<FilterNode> FilterParser::parseList(Kind kind, Tok separator, Operand operand, int depth)
{
    auto first = (this->*operand)(depth);
    if (m_tok.kind != separator)
        return first;
    auto list = std::make_unique<FilterNode>();
    list->kind = kind;
    append(*list, std::move(first));
    while (m_tok.kind == separator) {
        advance();
        append(*list, (this->*operand)(depth));
    }
    return list;
}

std::unique_ptr<FilterNode> FilterParser::parseExpression(int depth)
{
    return parseList(Kind::Or, Tok::Or, &FilterParser::parseConjunction, depth);
}

std::unique_ptr<FilterNode> FilterParser::parseConjunction(int depth)
{
    return parseList(Kind::And, Tok::And, &FilterParser::parseNegation, depth);
}

std::unique_ptr<FilterNode> FilterParser::parseNegation(int depth)
{
    // NOT NOT x is x: a run of NOTs is counted, not nested.
    int nots = 0;
    while (m_tok.kind == Tok::Not) {
        ++nots;
        advance();
    }
    auto operand = parsePrimary(depth);
    if (nots % 2 == 0)
        return operand;
    if (operand->kind == Kind::Not)
        return std::move(operand->children.front());
    auto node = std::make_unique<FilterNode>();
    node->kind = Kind::Not;
    node->children.push_back(std::move(operand));
    return node;
}

std::unique_ptr<FilterNode> FilterParser::parsePrimary(int depth)
{
    if (m_tok.kind == Tok::LParen) {
        if (depth >= FilterExpr::kMaxDepth)
            FilterLexer::syntaxError(m_tok.position, QStringLiteral("parentheses are nested too deeply"));
        const int open = m_tok.position;
        advance();
        auto inner = parseExpression(depth + 1);
        if (m_tok.kind != Tok::RParen)
            FilterLexer::syntaxError(m_tok.position,
                                     QStringLiteral("expected \")\" to close the \"(\" at position %1, found %2")
                                         .arg(open)
                                         .arg(FilterLexer::describe(m_tok)));
        advance();
        return inner;
    }
    return parseComparison();
}

std::unique_ptr<FilterNode> FilterParser::parseComparison()
{
    if (m_tok.kind != Tok::Name)
        FilterLexer::syntaxError(m_tok.position,
                                 QStringLiteral("expected a field name, found %1").arg(FilterLexer::describe(m_tok)));
    auto node = std::make_unique<FilterNode>();
    node->kind = Kind::Compare;
    FilterNode::Comparison &c = node->comparison;
    c.fieldName = m_tok.text;
    advance();
    switch (m_tok.kind) {
    case Tok::Equal:
        c.op = Op::Equal;
        break;
    case Tok::GreaterOrEqual:
        c.op = Op::GreaterOrEqual;
        break;
    case Tok::Like:
        c.op = Op::Like;
        break;
    default:
        FilterLexer::syntaxError(m_tok.position,
                                 QStringLiteral("expected \"=\", \">=\" or LIKE after the field name, found %1")
                                     .arg(FilterLexer::describe(m_tok)));
    }
    advance();
    if (m_tok.kind == Tok::Text) {
        c.textConstant = true;
        c.text = m_tok.text;
    } else if (m_tok.kind == Tok::Integer && c.op != Op::Like) {
        c.integer = m_tok.integer;
    } else {
        FilterLexer::syntaxError(
            m_tok.position,
            c.op == Op::Like
                ? QStringLiteral("LIKE needs a text constant, found %1").arg(FilterLexer::describe(m_tok))
                : QStringLiteral("expected a number or a text constant, found %1").arg(FilterLexer::describe(m_tok)));
    }
    advance();
    return node;
}
