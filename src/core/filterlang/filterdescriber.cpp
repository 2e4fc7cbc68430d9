#include "filterdescriber.h"

#include <QStringList>

#include "boundfilter.h"
#include "filternode.h"

namespace
{
    QString quoted(const QString &text)
    {
        QString t = text;
        t.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + t + QLatin1Char('\'');
    }

    QString describeNumber(double v)
    {
        return QString::number(v, 'g', 17);
    }

    QString describeComparison(const FilterNode::Comparison &c)
    {
        const QString op = c.op == FilterNode::Op::Equal ? QStringLiteral(" = ")
            : c.op == FilterNode::Op::GreaterOrEqual     ? QStringLiteral(" >= ")
                                                         : QStringLiteral(" LIKE ");
        return c.fieldName + op + (c.textConstant ? quoted(c.text) : QString::number(c.integer));
    }

    QString describeLeaf(const FilterNode &n)
    {
        return describeComparison(n.comparison);
    }

    QString describeLeaf(const BoundFilter &n)
    {
        if (n.kind == BoundFilter::Kind::Compare)
            return describeComparison(n.written);
        QStringList values;
        for (double v : n.values.values())
            values.append(describeNumber(v));
        return n.written.fieldName + QLatin1String(" IN (") + values.join(QLatin1String(", ")) + QLatin1Char(')');
    }

    // Either tree: the lists and NOT alike, the leaves as each tree has them.
    template<typename Node>
    QString describeNode(const Node &n)
    {
        switch (n.kind) {
        case Node::Kind::Or:
        case Node::Kind::And: {
            QStringList parts;
            for (const auto &child : n.children)
                parts.append(describeNode(*child));
            return QLatin1Char('(')
                + parts.join(n.kind == Node::Kind::Or ? QLatin1String(" OR ") : QLatin1String(" AND "))
                + QLatin1Char(')');
        }
        case Node::Kind::Not:
            return QLatin1String("NOT ") + describeNode(*n.children.front());
        default:
            return describeLeaf(n);
        }
    }
}

QString FilterDescriber::describe(const FilterNode &node)
{
    return describeNode(node);
}

QString FilterDescriber::describe(const BoundFilter &node)
{
    return describeNode(node);
}
