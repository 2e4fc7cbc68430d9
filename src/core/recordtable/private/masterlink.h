#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>

class RecordTablePrivate;
class RecordTableStorage;

// A detail table's link to its master: the fields that join them, the
// master's current value of its field as the detail field compares it, and
// on the master's side the details that follow it.
class MasterLink final
{
public:
    RecordTablePrivate *master() const { return m_master; }
    int detailField() const { return m_detailField; }
    // The master moved since the detail's view was built.
    bool isStale() const { return m_stale; }
    void setStale(bool stale) { m_stale = stale; }

    // `self` follows `master` from now on.
    void attach(RecordTablePrivate *self, RecordTablePrivate *master, int detailField, int masterField);
    // `self` stops following its master (if any).
    void detach(RecordTablePrivate *self);
    // The master is going away: the link ends without telling it.
    void masterGone()
    {
        m_master = nullptr;
        m_stale = false;
    }

    const std::vector<RecordTablePrivate *> &details() const { return m_details; }
    // The details, no longer recorded as following this table.
    std::vector<RecordTablePrivate *> takeDetails();

    // Reads the master's current value (bringing its view up to date); none
    // when the master has no current row or its text is no number for a
    // numeric detail field.
    void computeValue(const RecordTableStorage &detail);
    bool hasValue() const { return m_hasValue; }
    double number() const { return m_number; } // for a numeric detail field
    // The detail row holds the master's value.
    bool matches(const RecordTableStorage &detail, uint32_t row) const;

private:
    RecordTablePrivate *m_master = nullptr;
    int m_detailField = -1;
    int m_masterField = -1;
    std::vector<RecordTablePrivate *> m_details;
    bool m_stale = false;
    bool m_hasValue = false;
    double m_number = 0;
    QByteArray m_text;
};
