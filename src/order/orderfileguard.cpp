#include "orderfileguard.h"

#include <QFileInfo>
#include <QLockFile>

#include "stalelock.h"
#include "workspace.h"

OrderFileGuard::OrderFileGuard(Workspace &workspace)
    : QObject(&workspace)
{
    setObjectName(QStringLiteral("OrderFileGuard"));
}

OrderFileGuard::~OrderFileGuard() = default;

OrderFileGuard &OrderFileGuard::of(Workspace &workspace)
{
    auto *guard = workspace.findChild<OrderFileGuard *>(QString(), Qt::FindDirectChildrenOnly);
    if (!guard)
        guard = new OrderFileGuard(workspace);
    return *guard;
}

QString OrderFileGuard::lockPath(const QString &orderFile)
{
    const QFileInfo info(orderFile);
    return info.absolutePath() + QStringLiteral("/.~lock.") + info.fileName() + QLatin1Char('#');
}

bool OrderFileGuard::heldElsewhere(const QString &orderFile)
{
    QLockFile probe(lockPath(orderFile));
    // Only a lock whose program still runs counts, however old it is.
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return false;
    }
    return probe.error() == QLockFile::LockFailedError;
}

OrderFileGuard::State OrderFileGuard::stateOf(const QString &path)
{
    const QFileInfo info(path);
    State state;
    state.exists = info.exists();
    if (state.exists) {
        state.size = info.size();
        state.modified = info.lastModified().toMSecsSinceEpoch();
    }
    return state;
}

void OrderFileGuard::holdLock(const QString &path, bool readOnly)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute != m_path || readOnly) {
        release();
        m_path = absolute;
        if (m_locking && !readOnly) {
            // Locks left in the folder by killed programs go first.
            StaleLock::removeIn(QFileInfo(absolute).absolutePath(), QStringLiteral(".~lock.*#"));
            m_lock = std::make_unique<QLockFile>(lockPath(absolute));
            m_lock->setStaleLockTime(0);
            // A folder where no lock can be made still takes the order.
            if (!m_lock->tryLock(0))
                m_lock.reset();
        }
    }
    m_readOnly = readOnly;
}

void OrderFileGuard::take(const QString &path, bool readOnly)
{
    holdLock(path, readOnly);
    m_state = stateOf(m_path);
}

QString OrderFileGuard::noted() const
{
    if (m_path.isEmpty())
        return QString();
    return QStringLiteral("%1 %2 %3 %4")
        .arg(int(m_state.exists))
        .arg(m_state.size)
        .arg(m_state.modified)
        .arg(int(m_readOnly));
}

void OrderFileGuard::takeAsNoted(const QString &path, const QString &noted)
{
    const QStringList parts = noted.split(QLatin1Char(' '));
    bool ok = parts.size() == 4;
    State state;
    if (ok) {
        bool sizeOk = false;
        bool timeOk = false;
        state.exists = parts.at(0) == QLatin1String("1");
        state.size = parts.at(1).toLongLong(&sizeOk);
        state.modified = parts.at(2).toLongLong(&timeOk);
        ok = sizeOk && timeOk;
    }
    holdLock(path, ok && parts.at(3) == QLatin1String("1"));
    // Unknown: whatever lies there now was not seen by the order.
    m_state = ok ? state : State{true, UnknownSize, -1};
}

void OrderFileGuard::release()
{
    m_lock.reset();
    m_path.clear();
    m_state = State();
    m_readOnly = false;
}

bool OrderFileGuard::changedOnDisk(const QString &path) const
{
    if (m_path.isEmpty() || QFileInfo(path).absoluteFilePath() != m_path)
        return false;
    const State now = stateOf(m_path);
    // A note that did not read: only a file that is there now is asked about.
    if (m_state.size == UnknownSize)
        return now.exists;
    return !(now == m_state);
}
