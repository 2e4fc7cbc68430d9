#include "orderrecovery.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "actionid.h"
#include "atomicfile.h"
#include "gridposition.h"
#include "inordermark.h"
#include "orderfileguard.h"
#include "orderhistory.h"
#include "pricefields.h"
#include "stalelock.h"
#include "ordertable.h"
#include "ordixerror.h"
#include "textencoding.h"
#include "textfile.h"
#include "unfilteredprice.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QByteArray Magic = QByteArrayLiteral("ORDIX-RECOVERY 1");

    QString clean(QString text)
    {
        for (QChar &ch : text) {
            if (ch == QLatin1Char('\t') || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                ch = QLatin1Char(' ');
        }
        return text;
    }

    QString numberText(double value)
    {
        return QString::number(value, 'g', 17);
    }

    QString native(const QString &path)
    {
        return QDir::toNativeSeparators(path);
    }

    // The file's bytes. It is opened without waiting (a FIFO put in its
    // place would block a plain open for ever) and read only when it is a
    // regular file; a link in its place is not followed.
    QByteArray readRegularFile(const QString &path)
    {
        const QString cannot = QStringLiteral("Не удалось прочитать файл восстановления заказа %1: %2");
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            throw OrdixError(cannot.arg(native(path),
                                        error == ELOOP ? QStringLiteral("это ссылка, а не обычный файл")
                                                       : QString::fromLocal8Bit(std::strerror(error))));
        }
        struct stat st;
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            throw OrdixError(cannot.arg(native(path), QStringLiteral("это не обычный файл")));
        }
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            throw OrdixError(cannot.arg(native(path), file.errorString()));
        }
#else
        const QFileInfo info(path);
        if (info.isSymLink() || !info.isFile())
            throw OrdixError(cannot.arg(native(path), QStringLiteral("это не обычный файл")));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw OrdixError(cannot.arg(native(path), file.errorString()));
#endif
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            throw OrdixError(cannot.arg(native(path), file.errorString()));
        return bytes;
    }

    // One row of the file, or false when it does not read.
    bool readRow(const QString &line, QVariantList *row)
    {
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != OrderTable::FieldCount)
            return false;
        const QList<FieldDef> defs = OrderTable::fields();
        for (int f = 0; f < OrderTable::FieldCount; ++f) {
            const QString &text = fields.at(f);
            if (defs.at(f).type == FieldType::String) {
                row->append(text);
                continue;
            }
            if (text.isEmpty()) {
                row->append(QVariant());
                continue;
            }
            bool ok = false;
            if (defs.at(f).type == FieldType::R8) {
                const double value = text.toDouble(&ok);
                row->append(value);
            } else {
                const qint64 value = text.toLongLong(&ok);
                row->append(value);
            }
            if (!ok)
                return false;
        }
        return true;
    }
}

OrderRecovery::OrderRecovery(Workspace &workspace, const QString &folder)
    : QObject(&workspace)
    , m_workspace(workspace)
    , m_folder(folder)
{
    setObjectName(QStringLiteral("OrderRecovery"));
    // A name no other running program has: the process and the moment.
    m_path = QDir(folder).filePath(QStringLiteral("order-%1-%2.txt")
                                       .arg(QCoreApplication::applicationPid())
                                       .arg(QDateTime::currentMSecsSinceEpoch(), 0, 36));
    m_timer.setSingleShot(true);
    m_timer.setInterval(DelayMs);
    connect(&m_timer, &QTimer::timeout, this, &OrderRecovery::write);
    RecordTable &order = workspace.order();
    order.onViewChanged([this] { schedule(); });
    order.onRowChanged([this](int) { schedule(); });
    connect(&OrderHistory::of(workspace), &OrderHistory::changed, this, &OrderRecovery::schedule);
    lockOwnFile();
}

OrderRecovery::~OrderRecovery() = default;

QString OrderRecovery::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/recovery");
}

OrderRecovery &OrderRecovery::enable(Workspace &workspace, const QString &folder)
{
    if (OrderRecovery *existing = find(workspace))
        return *existing;
    return *new OrderRecovery(workspace, folder);
}

OrderRecovery *OrderRecovery::find(Workspace &workspace)
{
    return workspace.findChild<OrderRecovery *>(QString(), Qt::FindDirectChildrenOnly);
}

bool OrderRecovery::lockOwnFile(QString *cause)
{
    if (m_lock && m_lock->isLocked())
        return true;
    if (!QDir().mkpath(m_folder)) {
        if (cause)
            *cause = QStringLiteral("не удалось создать папку %1").arg(native(m_folder));
        return false;
    }
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Only a lock whose program has gone is taken over, however old.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (cause) {
        *cause = (m_lock->error() == QLockFile::PermissionError ? QStringLiteral("нет права записи в папку %1")
                                                                : QStringLiteral("не удалось создать файл в папке %1"))
                     .arg(native(m_folder));
    }
    return false;
}

void OrderRecovery::checkFolder()
{
    QString cause;
    if (lockOwnFile(&cause)) {
#ifdef Q_OS_UNIX
        const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        const bool readable = fd >= 0;
#else
        const bool readable = QDir(m_folder).isReadable();
#endif
        if (!readable)
            cause = QStringLiteral("не удалось прочитать папку %1").arg(native(m_folder));
    }
    showProblem(cause);
}

void OrderRecovery::schedule()
{
    // At most once a second: a change while the timer runs is written when
    // it fires.
    if (!m_timer.isActive())
        m_timer.start();
}

void OrderRecovery::flush()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    write();
}

void OrderRecovery::discard()
{
    m_timer.stop();
    const QFileInfo info(m_path);
    if (info.exists() || info.isSymLink())
        QFile::remove(m_path);
}

OrderRecovery::Saved OrderRecovery::current() const
{
    Saved saved;
    const RecordTable &order = m_workspace.order();
    saved.savedAt = QDateTime::currentDateTime();
    saved.folder = QDir::currentPath();
    saved.orderFileName = m_workspace.document().fileName();
    const OrderFileGuard &guard = OrderFileGuard::of(m_workspace);
    if (!saved.orderFileName.isEmpty() && guard.path() == QFileInfo(saved.orderFileName).absoluteFilePath())
        saved.fileState = guard.noted();
    saved.total = m_workspace.document().total();
    for (int r = 0; r < order.rowCount(); ++r) {
        QVariantList row;
        for (int f = 0; f < OrderTable::FieldCount; ++f) {
            if (order.isNullAt(r, f))
                row.append(QVariant());
            else if (f == OrderTable::Price || f == OrderTable::SUM)
                row.append(order.floatAt(r, f));
            else if (order.field(f).type == FieldType::String)
                row.append(order.stringAt(r, f));
            else
                row.append(order.integerAt(r, f));
        }
        saved.rows.append(row);
    }
    return saved;
}

void OrderRecovery::write()
{
    const RecordTable &order = m_workspace.order();
    if (!order.isActive() || !m_workspace.document().isModified() || order.rowCount() == 0) {
        discard();
        return;
    }
    QString cause;
    if (!QDir().mkpath(m_folder)) {
        cause = QStringLiteral("не удалось создать папку %1").arg(native(m_folder));
    } else {
        const bool locked = lockOwnFile();
        // A link put in the file's place is replaced, never written through.
        AtomicFile file(m_path, AtomicFile::Links::Replace);
        if (!file.open() || !file.write(format(current())) || !file.commit())
            cause = file.errorString();
        else if (!locked)
            cause = QStringLiteral("не удалось закрепить файл %1 за этим окном").arg(native(m_path));
    }
    // The order itself is untouched; the next change tries again.
    showProblem(cause);
}

void OrderRecovery::showProblem(const QString &cause)
{
    if (cause.isEmpty() == !m_failing)
        return;
    m_failing = !cause.isEmpty();
    m_workspace.setLabel(Workspace::Label::Status,
                         m_failing ? QStringLiteral("Автосохранение недоступно: ") + cause
                                   : QStringLiteral("Автосохранение снова работает"));
}

QByteArray OrderRecovery::format(const Saved &saved)
{
    // UTF-8: the file is the program's own and keeps every character.
    QString text = QString::fromLatin1(Magic) + QStringLiteral("\r\n");
    text += QStringLiteral("saved=") + saved.savedAt.toString(Qt::ISODate) + QStringLiteral("\r\n");
    text += QStringLiteral("dir=") + clean(saved.folder) + QStringLiteral("\r\n");
    text += QStringLiteral("file=") + clean(saved.orderFileName) + QStringLiteral("\r\n");
    if (!saved.fileState.isEmpty())
        text += QStringLiteral("filestate=") + clean(saved.fileState) + QStringLiteral("\r\n");
    text += QStringLiteral("total=") + numberText(saved.total) + QStringLiteral("\r\n");
    for (const QVariantList &row : saved.rows) {
        QStringList fields;
        for (int f = 0; f < OrderTable::FieldCount && f < row.size(); ++f) {
            const QVariant &value = row.at(f);
            if (value.isNull())
                fields.append(QString());
            else if (f == OrderTable::Price || f == OrderTable::SUM)
                fields.append(numberText(value.toDouble()));
            else
                fields.append(clean(value.toString()));
        }
        text += fields.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}

OrderRecovery::Saved OrderRecovery::read(const QString &path)
{
    const QStringList lines = TextEncoding::decodeLines(readRegularFile(path));
    if (lines.isEmpty() || lines.at(0) != QString::fromLatin1(Magic))
        throw OrdixError(QStringLiteral("Файл восстановления заказа %1 повреждён").arg(native(path)));
    Saved saved;
    bool totalRead = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.isEmpty())
            continue;
        if (!line.contains(QLatin1Char('\t'))) {
            if (line.startsWith(QStringLiteral("saved="))) {
                saved.savedAt = QDateTime::fromString(line.mid(6), Qt::ISODate);
                continue;
            }
            if (line.startsWith(QStringLiteral("dir="))) {
                saved.folder = line.mid(4);
                continue;
            }
            if (line.startsWith(QStringLiteral("file="))) {
                saved.orderFileName = line.mid(5);
                continue;
            }
            if (line.startsWith(QStringLiteral("filestate="))) {
                saved.fileState = line.mid(10);
                continue;
            }
            if (line.startsWith(QStringLiteral("total="))) {
                saved.total = line.mid(6).toDouble(&totalRead);
                continue;
            }
        }
        QVariantList row;
        if (readRow(line, &row))
            saved.rows.append(row);
        else
            ++saved.damaged;
    }
    // What a damaged file lost is not in the total it gives.
    if (!totalRead || saved.damaged > 0) {
        saved.total = 0;
        for (const QVariantList &row : std::as_const(saved.rows))
            saved.total += row.at(OrderTable::SUM).toDouble();
    }
    if (!saved.savedAt.isValid())
        saved.savedAt = QFileInfo(path).lastModified();
    return saved;
}

QString OrderRecovery::question(const Saved &saved)
{
    QString text = QStringLiteral("Восстановить несохранённый заказ от %1 (%2 строк)")
                       .arg(TextFile::dateTimeText(saved.savedAt))
                       .arg(saved.rows.size());
    if (!saved.folder.isEmpty())
        text += QStringLiteral(" из папки %1").arg(native(saved.folder));
    text += QLatin1Char('?');
    if (saved.damaged > 0)
        text +=
            QStringLiteral("\nСтрок, которые не удалось прочитать: %1; они не будут восстановлены.").arg(saved.damaged);
    return text;
}

QList<OrderRecovery::Orphan> OrderRecovery::orphans()
{
    QList<Orphan> found;
    // Locks left by windows that were killed with nothing unsaved.
    const QStringList locks =
        QDir(m_folder).entryList({QStringLiteral("order*.txt.lock")}, QDir::Files | QDir::System | QDir::Hidden);
    for (const QString &name : locks) {
        const QString lockPath = QDir(m_folder).filePath(name);
        if (!QFileInfo::exists(lockPath.chopped(5)))
            StaleLock::remove(lockPath);
    }
    const QFileInfoList files = QDir(m_folder).entryInfoList({QStringLiteral("order*.txt")},
                                                             QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
    for (const QFileInfo &info : files) {
        const QString path = info.absoluteFilePath();
        if (path == QFileInfo(m_path).absoluteFilePath() || isDeclined(path))
            continue;
        // A file whose program still runs is that program's; one that
        // another new window claimed first is that window's to offer. The
        // claim holds until the file is dealt with here.
        const QString lockPath = path + QStringLiteral(".lock");
        auto claim = std::make_shared<QLockFile>(lockPath);
        claim->setStaleLockTime(0);
        if (!claim->tryLock(0)) {
            // No lock can be made or taken over (a folder that cannot be
            // written): the owner alone decides, and the file is offered
            // unclaimed.
            if (claim->error() == QLockFile::LockFailedError && StaleLock::ownerRunning(lockPath))
                continue;
            claim.reset();
        }
        // Gone while it was claimed: another window has dealt with it.
        if (const QFileInfo now(path); !now.exists() && !now.isSymLink())
            continue;
        Orphan orphan;
        orphan.path = path;
        orphan.claim = claim;
        try {
            orphan.saved = read(path);
        } catch (const OrdixError &error) {
            orphan.error = error.message();
            orphan.saved.savedAt = info.lastModified();
        }
        found.append(orphan);
    }
    const QString here = QDir::currentPath();
    const auto fromHere = [&here](const Saved &saved) {
        return saved.folder == here
            || (!saved.orderFileName.isEmpty() && QFileInfo(saved.orderFileName).absolutePath() == here);
    };
    std::stable_sort(found.begin(), found.end(), [&](const Orphan &a, const Orphan &b) {
        const bool aHere = fromHere(a.saved);
        if (aHere != fromHere(b.saved))
            return aHere;
        return a.saved.savedAt > b.saved.savedAt;
    });
    return found;
}

QString OrderRecovery::declinedListPath() const
{
    // Beside the folder: what cannot be removed from it cannot be noted in it.
    return QFileInfo(m_folder).absolutePath() + QStringLiteral("/recovery-declined.txt");
}

QString OrderRecovery::fileMark(const QString &path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1\t%2\t%3")
        .arg(info.absoluteFilePath())
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.size());
}

bool OrderRecovery::isDeclined(const QString &path) const
{
    QFile list(declinedListPath());
    if (!list.exists() || !list.open(QIODevice::ReadOnly))
        return false;
    const QString mark = fileMark(path);
    return TextEncoding::decodeLines(list.readAll()).contains(mark);
}

void OrderRecovery::drop(const Orphan &orphan)
{
    const QString &path = orphan.path;
    // The file goes before its lock: no other window finds it unclaimed.
    const bool removed = QFile::remove(path) || !QFileInfo::exists(path);
    if (orphan.claim)
        orphan.claim->unlock();
    else
        QFile::remove(path + QStringLiteral(".lock"));
    if (removed)
        return;
    // A file that stays (a read-only folder) is not offered again.
    QStringList marks;
    QFile list(declinedListPath());
    if (list.open(QIODevice::ReadOnly))
        marks = TextEncoding::decodeLines(list.readAll());
    list.close();
    marks.append(fileMark(path));
    try {
        TextFile::writeBytes(declinedListPath(), marks.join(QStringLiteral("\r\n")).toUtf8() + "\r\n",
                             AtomicFile::Links::Replace);
    } catch (const OrdixError &) {
        // Nowhere to note it: it is offered again next time.
    }
}

bool OrderRecovery::offer()
{
    checkFolder();
    m_timer.stop();
    const QList<Orphan> files = orphans();
    for (const Orphan &orphan : files) {
        if (!orphan.error.isEmpty()) {
            drop(orphan);
            m_workspace.prompts().message(orphan.error, UserPrompts::Icon::Warning);
            continue;
        }
        const Saved &saved = orphan.saved;
        if (saved.rows.isEmpty() && saved.damaged == 0) {
            drop(orphan);
            continue;
        }
        if (m_workspace.prompts().askYesNo(question(saved)) != UserPrompts::Answer::Yes) {
            drop(orphan);
            continue;
        }
        if (saved.rows.isEmpty()) {
            drop(orphan);
            continue;
        }
        // The current order (normally none at start) is closed the usual way.
        if (m_workspace.orderOpen()) {
            m_workspace.execute(ActionId::OrderClose);
            if (m_workspace.orderOpen())
                return false;
        }
        restore(saved);
        // The order is this window's now, written to its own file.
        drop(orphan);
        return true;
    }
    return false;
}

void OrderRecovery::restore(const Saved &saved)
{
    OrderTable::startNew(m_workspace);
    RecordTable &order = m_workspace.order();
    {
        const GridFreeze freeze(m_workspace, Workspace::Grid::Order);
        for (const QVariantList &row : std::as_const(saved.rows))
            order.appendRow(row);
    }
    for (int r = 0; r < order.rowCount(); ++r)
        OrderTable::notePosted(m_workspace, r);
    order.first();

    // The parts of the order that the loaded price list has carry the mark.
    RecordTable &price = m_workspace.price();
    const int flagField = price.isActive() ? PriceFields::find(price, PriceFields::AvailabilityFlag) : -1;
    if (flagField >= 0) {
        const GridFreeze freeze(m_workspace, Workspace::Grid::Price);
        const UnfilteredPrice unfiltered(price);
        for (const QVariantList &row : std::as_const(saved.rows)) {
            if (row.at(OrderTable::Code).isNull()
                || !price.locate(PriceFields::name(PriceFields::Code), row.at(OrderTable::Code)))
                continue;
            Availability::setInOrder(price, flagField, true);
        }
    }

    m_workspace.document().setFileName(saved.orderFileName);
    if (!saved.orderFileName.isEmpty())
        OrderFileGuard::of(m_workspace).takeAsNoted(saved.orderFileName, saved.fileState);
    m_workspace.document().recount();
    m_workspace.document().setModified(true);
    OrderTable::showOrderSum(m_workspace);
    m_workspace.setLabel(Workspace::Label::OrderTitle,
                         saved.orderFileName.isEmpty() ? QStringLiteral("Заказ")
                                                       : OrderTable::titleFor(saved.orderFileName));
    // Written again at once under the new time, as a changed order is.
    schedule();
}
