#pragma once

#include <memory>

#include <QObject>
#include <QString>

class QLockFile;
class Workspace;

// The order file as this window holds it: a lock beside the file
// (".~lock.<name>#", as office programs keep one) while the order is open,
// so that another window opening the same file can say so, and the file's
// state on disk when it was opened or last saved, so that saving over a
// file another program changed in between asks first. The lock goes when
// the order is closed; one left by a program that was killed is taken over,
// and those of other files in the folder are removed.
// Only the window holds locks (setLocking); the command-line program, which
// only reads order files, leaves their folders as they are.
class OrderFileGuard final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OrderFileGuard)

public:
    static OrderFileGuard &of(Workspace &workspace);
    ~OrderFileGuard() override;

    static QString lockPath(const QString &orderFile);
    // Whether a program that still runs holds the file open.
    static bool heldElsewhere(const QString &orderFile);

    // Whether take() holds a lock beside the file (off until turned on).
    void setLocking(bool on) { m_locking = on; }

    // The order is now this file's: holds its lock (when it can) and notes
    // the file as it lies on disk. A read-only order holds no lock.
    void take(const QString &path, bool readOnly = false);
    // The file's state as noted (for the recovery file), and taking the file
    // with such a note instead of its state now: the order restored after a
    // crash still knows what the file was when that window last read or
    // saved it. A note that does not read counts as a different state.
    QString noted() const;
    void takeAsNoted(const QString &path, const QString &noted);
    // The order no longer belongs to a file.
    void release();
    const QString &path() const { return m_path; }
    bool isReadOnly() const { return m_readOnly; }
    // Whether the file at `path` is the one taken and changed on disk since.
    bool changedOnDisk(const QString &path) const;

private:
    explicit OrderFileGuard(Workspace &workspace);

    static constexpr qint64 UnknownSize = -2;
    struct State
    {
        bool exists = false;
        qint64 size = -1;
        qint64 modified = -1; // ms since the epoch
        bool operator==(const State &other) const = default;
    };
    static State stateOf(const QString &path);
    void holdLock(const QString &path, bool readOnly);

    QString m_path;
    State m_state;
    bool m_readOnly = false;
    bool m_locking = false;
    std::unique_ptr<QLockFile> m_lock;
};
