#pragma once

#include <memory>

#include <QList>

#include "boundfilter.h"
#include "fielddef.h"
#include "filternode.h"

// Binds a parse tree to the fields of a table: looks up the field names
// (without regard to case), decides how each comparison is evaluated on its
// field's type and prepares its constant, merges the number terms of an OR
// on one field into a value set and orders the conditions of an AND.
class FilterBinder final
{
public:
    // The fields must outlive the binder.
    explicit FilterBinder(const QList<FieldDef> &fields);

    // Throws OrdixError "Field 'x' not found".
    std::unique_ptr<BoundFilter> bind(const FilterNode &node) const;

private:
    std::unique_ptr<BoundFilter> bindCompare(const FilterNode::Comparison &comparison) const;
    static void bindText(BoundFilter &n, const QString &text);
    static void mergeValueSets(BoundFilter &orNode);

    const QList<FieldDef> &m_fields;
};
