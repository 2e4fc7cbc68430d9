#pragma once

#include <memory>

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantList>

class QLockFile;
class Workspace;

// Crash recovery of the order: while the order has unsaved changes, it is
// written to this program's own recovery file in the user's
// application-data folder after every change (at most once a second,
// replacing the file atomically). The running program holds a lock on its
// file, so that every other window leaves it alone. Saving the order, or
// closing it without saving by the user's choice, removes this window's
// file only. At the next start the program offers the files whose program
// no longer runs, those of orders from its own folder first, then the
// newest first; "Нет" removes the file asked about. A file being offered is
// locked by the window that offers it, so no other window offers it too.
// When the folder cannot be read or written, or the file cannot be written,
// the status line says so once, and again when it can. Only the
// window turns this on; the command-line program and the tests that do not
// ask for it write nothing.
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
        QString folder;        // the program's folder when it was written
        QString orderFileName; // the order's own file, or empty
        QString fileState;     // that file as last read or saved (OrderFileGuard::noted)
        double total = 0;
        QList<QVariantList> rows; // the order table's fields
        int damaged = 0;          // lines of rows that did not read
    };

    // "<application data>/recovery".
    static QString defaultFolder();
    // Keeps the recovery file of the workspace's order in `folder` from now on.
    static OrderRecovery &enable(Workspace &workspace, const QString &folder = defaultFolder());
    // Null while recovery is not enabled.
    static OrderRecovery *find(Workspace &workspace);
    ~OrderRecovery() override;

    const QString &folder() const { return m_folder; }
    // This program's own file in the folder.
    const QString &path() const { return m_path; }
    // Writes (or removes) the file now when a change is waiting.
    void flush();
    // Removes this program's file and forgets a waiting change.
    void discard();

    // "Восстановить несохранённый заказ от <дата время> (<N> строк) из папки <папка>?",
    // with the count of the lines that did not read when there are any.
    static QString question(const Saved &saved);
    // Asks the question above for each recovery file left by a program that
    // no longer runs, in the order above: Да opens it as a changed order
    // (after closing the current one) and ends the offer, Нет removes that
    // file. A file that cannot be read is reported and removed; a file that
    // cannot be removed is not offered again. Returns whether an order was
    // restored.
    bool offer();

    // The file's text and reading it back; read() throws OrdixError on a
    // file that is not a recovery file, and keeps the rows of a damaged one
    // that still read, counting the others.
    static QByteArray format(const Saved &saved);
    static Saved read(const QString &path);

private:
    struct Orphan
    {
        QString path;
        Saved saved;
        QString error;                    // why it did not read
        std::shared_ptr<QLockFile> claim; // held while it is offered here
    };

    OrderRecovery(Workspace &workspace, const QString &folder);
    void schedule();
    void write();
    Saved current() const;
    bool lockOwnFile(QString *cause = nullptr);
    // Says at start when the folder cannot be read or written.
    void checkFolder();
    void showProblem(const QString &cause);
    QList<Orphan> orphans();
    void restore(const Saved &saved);
    // Removes an offered file; one that stays is noted as declined.
    void drop(const Orphan &orphan);
    QString declinedListPath() const;
    static QString fileMark(const QString &path);
    bool isDeclined(const QString &path) const;

    Workspace &m_workspace;
    QString m_folder;
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    QTimer m_timer;
    bool m_failing = false; // the last write failed and the status line said so
};
