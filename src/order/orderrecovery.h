#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

class Workspace;

// Crash recovery of the order: while the order has unsaved changes, it is
// written to a recovery file in the user's application-data folder after
// every change (at most once a second, replacing the file atomically).
// Saving the order, or closing it without saving by the user's choice,
// removes the file. At the next start, when the file is there, the program
// offers to open it again as a changed order. Only the window turns this on;
// the command-line program and the tests that do not ask for it write nothing.
class OrderRecovery final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderRecovery)

public:
    static constexpr int DelayMs = 1000;

    // What a recovery file holds.
    struct Saved
    {
        QDateTime savedAt;
        QString orderFileName; // the order's own file, or empty
        double total = 0;
        QList<QVariantList> rows; // the order table's fields
    };

    // "<application data>/recovery/order.txt".
    static QString defaultPath();
    // Keeps the recovery file of the workspace's order at `path` from now on.
    static OrderRecovery &enable(Workspace &workspace, const QString &path = defaultPath());
    // Null while recovery is not enabled.
    static OrderRecovery *find(Workspace &workspace);

    const QString &path() const { return m_path; }
    // Writes (or removes) the file now when a change is waiting.
    void flush();
    // Removes the file and forgets a waiting change.
    void discard();

    // "Восстановить несохранённый заказ от <дата время> (<N> строк)?"
    static QString question(const QDateTime &savedAt, int lines);
    // When a recovery file is there, asks the question above: Да opens it as
    // a changed order (after closing the current one), Нет removes the file.
    // A file that cannot be read is reported and removed. Returns whether an
    // order was restored.
    bool offer();

    // The file's text and reading it back; read() throws OrdixError on a
    // file that is not a recovery file.
    static QByteArray format(const Saved &saved);
    static Saved read(const QString &path);

private:
    OrderRecovery(Workspace &workspace, const QString &path);
    void schedule();
    void write();
    Saved current() const;

    Workspace &m_workspace;
    QString m_path;
    QTimer m_timer;
};
