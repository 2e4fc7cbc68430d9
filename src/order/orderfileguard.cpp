#include "orderfileguard.h"

#include <QFileInfo>
#include <QLockFile>

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
        state.modified = info.lastModified();
    }
    return state;
}

void OrderFileGuard::take(const QString &path, bool readOnly)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (absolute != m_path || readOnly) {
        release();
        m_path = absolute;
        if (m_locking && !readOnly) {
            m_lock = std::make_unique<QLockFile>(lockPath(absolute));
            m_lock->setStaleLockTime(0);
            // A folder where no lock can be made still takes the order.
            if (!m_lock->tryLock(0))
                m_lock.reset();
        }
    }
    m_readOnly = readOnly;
    m_state = stateOf(absolute);
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
    return !(stateOf(m_path) == m_state);
}
