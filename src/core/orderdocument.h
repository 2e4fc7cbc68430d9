#pragma once

#include <QObject>
#include <QString>

// The open order as a document: the file it was read from or saved to, its
// changed state and its total. The logic changes them through the setters;
// each setter tells only a real change. The window's order title and the
// enabled state of the commands follow the signals.
class OrderDocument final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderDocument)

public:
    explicit OrderDocument(QObject *parent = nullptr);
    ~OrderDocument() override;

    // The order's file; empty for an order never saved.
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName);
    // True while the order has changes not written to its file.
    bool isModified() const { return m_modified; }
    void setModified(bool modified);
    // The sum of the lines' amounts, before the discount.
    double total() const { return m_total; }
    void setTotal(double total);
    void addToTotal(double amount) { setTotal(m_total + amount); }

signals:
    void fileNameChanged(const QString &fileName);
    void modifiedChanged(bool modified);
    void totalChanged(double total);

private:
    QString m_fileName;
    bool m_modified = false;
    double m_total = 0;
};
