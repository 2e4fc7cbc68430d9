#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>

class Workspace;

// The order lines whose code the last coordination did not find in the price
// list. The mark lives in memory only (the order file does not change): the
// order grid shows it with its own picture, and the next coordination that
// finds the part takes it away.
class MissingLines final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MissingLines)

public:
    // The hint of the mark in the order grid.
    static QString hint();

    // The workspace's marks, created on first use.
    static MissingLines &of(Workspace &workspace);
    static const MissingLines *find(const Workspace &workspace);

    bool contains(qint64 code) const { return m_codes.contains(code); }
    const QSet<qint64> &codes() const { return m_codes; }
    // "00099 Фильтр масляный": the missing lines of the last coordination,
    // in the order's order.
    const QStringList &lines() const { return m_lines; }
    int foundCount() const { return m_found; }

    // The result of a coordination: `found` lines re-priced, `lines` the
    // texts of the lines not found.
    void setResult(const QSet<qint64> &codes, const QStringList &lines, int found);
    // Puts back the marks alone (undo and redo).
    void setCodes(const QSet<qint64> &codes);
    void clear();

    // "Согласовано: N строк, не найдено в прайс-листе: M".
    QString statusText() const;
    // The message listing the missing lines; empty when none is missing.
    QString messageText() const;

private:
    explicit MissingLines(QObject *parent);
    void changed();

    QSet<qint64> m_codes;
    QStringList m_lines;
    int m_found = 0;
};
