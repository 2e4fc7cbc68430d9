#pragma once

#include <memory>

#include <QObject>
#include <QSet>
#include <QString>

#include "recordtable.h"

class OrderHistory;
class Workspace;

// The open order as a document: its lines (the order table `OrderDataSet`),
// their undo history, the file they were read from or saved to, the changed
// state, the total and the texts of the sum that the window's label, its
// hint and every written file show. The logic changes them through the
// setters; each setter tells only a real change. The window's order title
// and the enabled state of the commands follow the signals.
class OrderDocument final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderDocument)

public:
    explicit OrderDocument(Workspace &workspace, QObject *parent = nullptr);
    ~OrderDocument() override;

    RecordTable &table() { return m_table; }
    const RecordTable &table() const { return m_table; }
    OrderHistory &history() { return *m_history; }

    // The order's file; empty for an order never saved.
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName);
    // True while the order has changes not written to its file.
    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    // The sum of the lines' amounts, before the discount, as of the last
    // recount().
    double total() const { return m_total; }
    // Counts the total again from the lines: every stored line's `SUM`
    // except those of the lines kept out of it.
    void recount();
    // The codes of the lines whose `SUM` is not in the total: the lines a
    // coordination could not re-price keep their old amount but are not
    // counted. A line whose amount is set again counts again (countLine()).
    const QSet<qint64> &uncounted() const { return m_uncounted; }
    void setUncounted(const QSet<qint64> &codes) { m_uncounted = codes; }
    void countLine(qint64 code) { m_uncounted.remove(code); }

    // The texts of the sum as last shown: what is payable (with the
    // discount or markup, in the display currency) and, for a discount or
    // markup below 100, the amount without it. Both empty while no sum is
    // shown (a new order, a coordination under way).
    const QString &payableText() const { return m_payable; }
    const QString &undiscountedText() const { return m_undiscounted; }
    void setSumTexts(const QString &payable, const QString &undiscounted);

signals:
    void fileNameChanged(const QString &fileName);
    void modifiedChanged(bool modified);
    void totalChanged(double total);

private:
    RecordTable m_table;
    std::unique_ptr<OrderHistory> m_history;
    QString m_fileName;
    bool m_modified = false;
    double m_total = 0;
    QSet<qint64> m_uncounted;
    QString m_payable;
    QString m_undiscounted;
};
