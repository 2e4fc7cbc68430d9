#include "vieworder.h"

#include "ordixerror.h"
#include "recordtablestorage.h"

void ViewOrder::checkNewName(const QString &name) const
{
    if (name.isEmpty())
        throw OrdixError(QStringLiteral("An index needs a name"));
    if (findDef(name))
        throw OrdixError(QStringLiteral("Index '%1' is already defined").arg(name));
}

const ViewOrder::IndexDef *ViewOrder::findDef(const QString &name) const
{
    for (const IndexDef &def : m_defs)
        if (def.name.compare(name, Qt::CaseInsensitive) == 0)
            return &def;
    return nullptr;
}

QStringList ViewOrder::names() const
{
    QStringList names;
    for (const IndexDef &def : m_defs)
        names.append(def.name);
    return names;
}

void ViewOrder::chooseIndex(const QString &name)
{
    m_indexName = name;
    m_indexFields.clear();
}

void ViewOrder::chooseFields(const QString &fieldName)
{
    m_indexFields = fieldName;
    m_indexName.clear();
}

void ViewOrder::clearIndexName()
{
    m_indexName.clear();
    m_keyField = -1;
}

void ViewOrder::clearChoice()
{
    m_indexName.clear();
    m_indexFields.clear();
    m_keyField = -1;
}

void ViewOrder::clear()
{
    m_defs.clear();
    clearChoice();
}

void ViewOrder::resolve(const std::function<int(const QString &)> &fieldByName)
{
    m_keyField = -1;
    if (!m_indexName.isEmpty()) {
        const IndexDef *def = findDef(m_indexName);
        if (!def)
            throw OrdixError(QStringLiteral("Index '%1' not found").arg(m_indexName));
        m_keyField = fieldByName(def->fieldName);
        m_descending = def->descending;
        m_caseInsensitive = def->caseInsensitive;
        return;
    }
    if (!m_indexFields.isEmpty()) {
        m_keyField = fieldByName(m_indexFields);
        m_descending = false;
        m_caseInsensitive = false;
    }
}

bool ViewOrder::less(const RecordTableStorage &s, uint32_t a, uint32_t b) const
{
    const int cmp = s.compareRows(m_keyField, m_caseInsensitive, a, b);
    return m_descending ? cmp > 0 : cmp < 0;
}
