#include "filterexpr.h"

#include "boundfilter.h"
#include "filterbinder.h"
#include "filterdescriber.h"
#include "filterevaluator.h"
#include "filternode.h"
#include "filterparser.h"
#include "ordixerror.h"

FilterExpr::FilterExpr() = default;
FilterExpr::~FilterExpr() = default;

std::unique_ptr<FilterExpr> FilterExpr::parse(const QString &text)
{
    std::unique_ptr<FilterExpr> expr(new FilterExpr);
    expr->m_root = FilterParser::parse(text);
    return expr;
}

bool FilterExpr::isEmpty() const
{
    return !m_root;
}

QString FilterExpr::describe() const
{
    if (m_boundRoot)
        return FilterDescriber::describe(*m_boundRoot);
    return m_root ? FilterDescriber::describe(*m_root) : QString();
}

void FilterExpr::bind(const QList<FieldDef> &fields)
{
    if (m_bound)
        throw OrdixError(QStringLiteral("The filter expression is bound already"));
    if (m_root)
        m_boundRoot = FilterBinder(fields).bind(*m_root);
    m_bound = true;
}

void FilterExpr::prepare(RecordTableStorage &storage, bool wholeTable) const
{
    if (m_boundRoot)
        FilterEvaluator::prepare(*m_boundRoot, storage, wholeTable);
}

bool FilterExpr::matches(const RecordTableStorage &storage, uint32_t row) const
{
    return !m_boundRoot || FilterEvaluator(storage).matches(*m_boundRoot, row);
}

void FilterExpr::evaluate(const RecordTableStorage &storage, std::vector<uint64_t> &bits) const
{
    FilterEvaluator(storage).evaluate(m_boundRoot.get(), bits);
}
