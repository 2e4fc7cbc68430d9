#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

class RecordTableStorage;

// The order of a record table's view: the named indexes defined on it, the
// one chosen (or a single field chosen without a name) and the key it comes
// to once resolved against the table's fields.
class ViewOrder final
{
public:
    struct IndexDef
    {
        QString name;
        QString fieldName;
        bool descending = false;
        bool caseInsensitive = false;
    };

    // --- definitions ----------------------------------------------------
    const std::vector<IndexDef> &defs() const { return m_defs; }
    // Throws for an empty name and for a name already defined.
    void checkNewName(const QString &name) const;
    void addDef(IndexDef def) { m_defs.push_back(std::move(def)); }
    void clearDefs() { m_defs.clear(); }
    const IndexDef *findDef(const QString &name) const; // letter case aside
    QStringList names() const;

    // --- the choice -----------------------------------------------------
    const QString &indexName() const { return m_indexName; }
    const QString &indexFields() const { return m_indexFields; }
    void chooseIndex(const QString &name);       // clears the field choice
    void chooseFields(const QString &fieldName); // clears the index choice
    void clearIndexName();                       // and the key
    void clearChoice();                          // both, and the key
    void clear();                                // the choice and the definitions

    // Finds the key of the choice through fieldByName (which throws for a
    // field the table does not have). Throws for an unknown index name.
    void resolve(const std::function<int(const QString &)> &fieldByName);
    void dropKey() { m_keyField = -1; }

    // --- the resolved key -----------------------------------------------
    bool isOrdered() const { return m_keyField >= 0; }
    int keyField() const { return m_keyField; }
    bool isDescending() const { return m_descending; }
    bool isCaseInsensitive() const { return m_caseInsensitive; }
    // Row a comes before row b in the view's order.
    bool less(const RecordTableStorage &s, uint32_t a, uint32_t b) const;

private:
    std::vector<IndexDef> m_defs;
    QString m_indexName;
    QString m_indexFields;
    int m_keyField = -1;
    bool m_descending = false;
    bool m_caseInsensitive = false;
};
