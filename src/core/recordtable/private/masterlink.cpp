#include "masterlink.h"

#include <algorithm>

#include "fieldvalue.h"
#include "recordtable_p.h"
#include "recordtablestorage.h"
#include "textfile.h"

void MasterLink::attach(RecordTablePrivate *self, RecordTablePrivate *master, int detailField, int masterField)
{
    m_master = master;
    m_detailField = detailField;
    m_masterField = masterField;
    master->link.m_details.push_back(self);
}

void MasterLink::detach(RecordTablePrivate *self)
{
    if (m_master) {
        auto &list = m_master->link.m_details;
        list.erase(std::remove(list.begin(), list.end(), self), list.end());
        m_master = nullptr;
    }
    m_stale = false;
    m_hasValue = false;
}

std::vector<RecordTablePrivate *> MasterLink::takeDetails()
{
    std::vector<RecordTablePrivate *> details;
    details.swap(m_details);
    return details;
}

void MasterLink::computeValue(const RecordTableStorage &detail)
{
    m_hasValue = false;
    m_text.clear();
    if (!m_master || !m_master->s)
        return;
    m_master->view.ensure();
    const auto row = m_master->view.currentRow();
    if (!row)
        return;
    const RecordTableStorage::Column &mc = m_master->s->column(m_masterField);
    const RecordTableStorage::Column &dc = detail.column(m_detailField);
    if (dc.type != FieldType::String) {
        if (mc.type != FieldType::String) {
            m_number = mc.number(*row);
            m_hasValue = true;
            return;
        }
        const QByteArrayView text(mc.text(*row), mc.length(*row));
        qint64 whole = 0;
        if (FieldValue::parseInteger(text, &whole)) {
            m_number = double(whole);
            m_hasValue = true;
        } else if (Decimal::parse(text, &m_number)) {
            m_hasValue = true;
        }
        return;
    }
    if (mc.type != FieldType::String)
        m_text = RecordTableStorage::numberBytes(mc.number(*row), mc.type);
    else
        m_text = QByteArray(mc.text(*row), mc.length(*row));
    m_hasValue = true;
}

bool MasterLink::matches(const RecordTableStorage &detail, uint32_t row) const
{
    if (!m_hasValue)
        return false;
    const RecordTableStorage::Column &c = detail.column(m_detailField);
    if (c.type == FieldType::String)
        return QByteArrayView(c.text(row), c.length(row)) == QByteArrayView(m_text);
    return c.number(row) == m_number;
}
