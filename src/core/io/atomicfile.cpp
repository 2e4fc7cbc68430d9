#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <QDir>
#include <QRandomGenerator>

#include <windows.h>

#include "portablename.h"
#else
#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#endif

namespace
{
    QString oddTargetReason(bool isDir)
    {
        return isDir ? QStringLiteral("это папка, а не файл")
                     : QStringLiteral("это не обычный файл (устройство, канал или сокет); он не заменяется");
    }

#ifndef Q_OS_WIN
    QString oddTargetReason(mode_t mode)
    {
        if (S_ISDIR(mode))
            return oddTargetReason(true);
        if (S_ISCHR(mode) || S_ISBLK(mode))
            return QStringLiteral("это устройство, а не обычный файл; оно не заменяется");
        if (S_ISFIFO(mode))
            return QStringLiteral("это именованный канал, а не обычный файл; он не заменяется");
        if (S_ISSOCK(mode))
            return QStringLiteral("это сокет, а не обычный файл; он не заменяется");
        return oddTargetReason(false);
    }

    mode_t currentUmask()
    {
        static const mode_t mask = [] {
            const mode_t m = ::umask(0);
            ::umask(m);
            return m;
        }();
        return mask;
    }

    QByteArray folderOf(const QByteArray &path)
    {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0)
            return QByteArrayLiteral(".");
        if (slash == 0)
            return QByteArrayLiteral("/");
        return path.left(slash);
    }

    QByteArray hiddenName(const QByteArray &final)
    {
        const qsizetype slash = final.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray() : final.left(slash + 1);
        QByteArray name = final.mid(slash + 1);
        // The hidden name must fit where the target's does: a long name
        // is cut (on a character's first byte) to make room for the rest.
        if (name.size() > 200) {
            name.truncate(200);
            while (!name.isEmpty() && (uchar(name.back()) & 0xC0) == 0x80)
                name.chop(1);
            if (!name.isEmpty() && (uchar(name.back()) & 0x80))
                name.chop(1);
        }
        return folder + '.' + name + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36)
            + QByteArrayLiteral(".tmp");
    }

    bool closeChecked(int fd)
    {
        // Linux closes the descriptor even when close() reports EINTR.
        return ::close(fd) == 0 || errno == EINTR;
    }
#endif
}

AtomicFile::AtomicFile(const QString &path, Links links)
    : m_path(path)
    , m_links(links)
{ }

AtomicFile::~AtomicFile()
{
    cancel();
}

bool AtomicFile::fail(const QString &reason)
{
    m_error = reason;
    m_failed = true;
    return false;
}

bool AtomicFile::failErrno(int error)
{
    return fail(qt_error_string(error));
}

#ifdef Q_OS_WIN

namespace
{
    std::wstring nativeName(const QString &path)
    {
        return QDir::toNativeSeparators(path).toStdWString();
    }
}

bool AtomicFile::failWindows(unsigned long error)
{
    return fail(qt_error_string(int(error)));
}

bool AtomicFile::open()
{
    cancel();
    m_failed = false;
    m_error.clear();
    if (m_path.isEmpty() || m_path.contains(QChar(0)))
        return fail(QStringLiteral("недопустимое имя файла"));
    if (PortableName::isDeviceName(QFileInfo(m_path).fileName()))
        return fail(QStringLiteral("это устройство, а не обычный файл; оно не заменяется"));

    const QFileInfo info(m_path);
    m_final = info.absoluteFilePath();
    if (info.isSymLink() && m_links == Links::Follow) {
        const QFileInfo target(info.symLinkTarget());
        if (!target.exists())
            return fail(QStringLiteral("ссылка указывает на файл, которого нет"));
        if (!target.isFile())
            return fail(oddTargetReason(target.isDir()));
        m_final = target.absoluteFilePath();
    } else if (!info.isSymLink() && info.exists() && !info.isFile()) {
        return fail(oddTargetReason(info.isDir()));
    }

    // A file the user marked read-only is not replaced.
    const DWORD attributes = ::GetFileAttributesW(nativeName(m_final).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return fail(QStringLiteral("файл только для чтения; он не заменяется"));

    const QFileInfo final(m_final);
    const QString folder = final.absolutePath();
    // The hidden name must fit where the target's does: a long name is cut,
    // and the whole path stays within the 259 characters Windows takes
    // ("/." before, and "." with up to 13 random characters and ".tmp" after).
    const qsizetype room = qMax<qsizetype>(0, 259 - QDir::toNativeSeparators(folder).size() - 20);
    QString base = final.fileName().left(qMin<qsizetype>(200, room));
    if (!base.isEmpty() && base.back().isHighSurrogate())
        base.chop(1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name = folder + QLatin1String("/.") + base + QLatin1Char('.')
            + QString::number(QRandomGenerator::system()->generate64(), 36) + QLatin1String(".tmp");
        HANDLE handle = ::CreateFileW(nativeName(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_handle = handle;
            m_hidden = name;
            return true;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return failWindows(error);
    }
    return failWindows(ERROR_FILE_EXISTS);
}

bool AtomicFile::isOpen() const
{
    return m_handle != nullptr;
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (!m_handle)
        return m_failed ? false : fail(QStringLiteral("файл не открыт"));
    if (m_failed)
        return false;
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(m_handle, data, DWORD(qMin<qint64>(size, 1 << 30)), &written, nullptr))
            return failWindows(::GetLastError());
        if (written == 0)
            return failWindows(ERROR_WRITE_FAULT);
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFile::commit()
{
    if (!m_handle)
        return m_failed ? false : fail(QStringLiteral("файл не открыт"));
    if (m_failed) {
        cancel();
        return false;
    }
    // Every byte on disk before the name moves: a crash afterwards finds
    // either the old file or the whole new one.
    if (!::FlushFileBuffers(m_handle)) {
        const DWORD error = ::GetLastError();
        cancel();
        return failWindows(error);
    }
    ::CloseHandle(m_handle);
    m_handle = nullptr;
    if (!::MoveFileExW(nativeName(m_hidden).c_str(), nativeName(m_final).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        cancel();
        return failWindows(error);
    }
    m_hidden.clear();
    return true;
}

void AtomicFile::cancel()
{
    if (m_handle) {
        ::CloseHandle(m_handle);
        m_handle = nullptr;
    }
    if (!m_hidden.isEmpty()) {
        ::DeleteFileW(nativeName(m_hidden).c_str());
        m_hidden.clear();
    }
}

#else

bool AtomicFile::open()
{
    cancel();
    m_failed = false;
    m_error.clear();
    if (m_path.isEmpty() || m_path.contains(QChar(0)))
        return fail(QStringLiteral("недопустимое имя файла"));
    const QByteArray native = QFile::encodeName(m_path);

    // What is in the target's place decides where the file lands.
    mode_t mode = 0666 & ~currentUmask();
    struct stat st
    { };
    if (::lstat(native.constData(), &st) == 0) {
        if (S_ISLNK(st.st_mode) && m_links == Links::Follow) {
            if (::stat(native.constData(), &st) != 0) {
                if (errno == ENOENT)
                    return fail(QStringLiteral("ссылка указывает на файл, которого нет"));
                return failErrno(errno);
            }
            if (!S_ISREG(st.st_mode))
                return fail(oddTargetReason(st.st_mode));
            char resolved[PATH_MAX];
            if (!::realpath(native.constData(), resolved))
                return failErrno(errno);
            m_final = QByteArray(resolved);
            mode = st.st_mode & 07777;
        } else if (S_ISLNK(st.st_mode)) {
            m_final = native; // the rename replaces the link itself
        } else if (!S_ISREG(st.st_mode)) {
            return fail(oddTargetReason(st.st_mode));
        } else {
            m_final = native;
            mode = st.st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        return failErrno(errno);
    } else {
        m_final = native;
    }

    const QByteArray folder = folderOf(m_final);
#ifdef O_TMPFILE
    // A file without a name: nothing is left behind when the program dies.
    // It gets a name in commit(), through /proc.
    if (::access("/proc/self/fd", X_OK) == 0) {
        m_fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (m_fd >= 0) {
            if (::fchmod(m_fd, mode) != 0) {
                const int error = errno;
                cancel();
                return failErrno(error);
            }
            return true;
        }
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = hiddenName(m_final);
        m_fd = ::open(name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_hidden = name;
            if (::fchmod(m_fd, mode) != 0) {
                const int error = errno;
                cancel();
                return failErrno(error);
            }
            return true;
        }
        if (errno != EEXIST)
            return failErrno(errno);
    }
    return failErrno(EEXIST);
}

bool AtomicFile::isOpen() const
{
    return m_fd >= 0;
}

bool AtomicFile::write(const char *data, qint64 size)
{
    if (m_fd < 0)
        return m_failed ? false : fail(QStringLiteral("файл не открыт"));
    if (m_failed)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return failErrno(errno);
        }
        if (written == 0)
            return failErrno(EIO);
        data += written;
        size -= written;
    }
    return true;
}

bool AtomicFile::placeHidden(QByteArray *name)
{
    if (!m_hidden.isEmpty()) {
        *name = m_hidden;
        return true;
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = hiddenName(m_final);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(), AT_SYMLINK_FOLLOW) == 0) {
            m_hidden = candidate;
            *name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return failErrno(errno);
    }
    return failErrno(EEXIST);
}

bool AtomicFile::commit()
{
    if (m_fd < 0)
        return m_failed ? false : fail(QStringLiteral("файл не открыт"));
    if (m_failed) {
        cancel();
        return false;
    }
    // Every byte on disk before the name moves: a crash afterwards finds
    // either the old file or the whole new one.
    if (::fsync(m_fd) != 0 && errno != EINVAL && errno != EROFS) {
        const int error = errno;
        cancel();
        return failErrno(error);
    }
    QByteArray hidden;
    if (!placeHidden(&hidden)) {
        const QString reason = m_error;
        cancel();
        return fail(reason);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (!closeChecked(fd) || ::rename(hidden.constData(), m_final.constData()) != 0) {
        const int error = errno;
        ::unlink(hidden.constData());
        m_hidden.clear();
        return failErrno(error);
    }
    m_hidden.clear();
    // The new name on disk as well.
    const int folder = ::open(folderOf(m_final).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void AtomicFile::cancel()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_hidden.isEmpty()) {
        ::unlink(m_hidden.constData());
        m_hidden.clear();
    }
}

#endif
