#pragma once

// Makes every write past `bytes` bytes of a file fail (EFBIG) while the object
// lives. Unlike a read-only folder this also works for root, so tests can
// make a replacement fail after the old file exists. POSIX only: on Windows
// the tests that need it are skipped (FILE_SIZE_LIMIT_OR_SKIP).
#ifdef Q_OS_UNIX
#include <csignal>

#include <sys/resource.h>

class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_previous);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        m_active = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }

    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isActive() const { return m_active; }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int) = SIG_DFL;
    bool m_active = false;
};

#define FILE_SIZE_LIMIT_OR_SKIP(limit) QVERIFY((limit).isActive())
#else
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(qint64) { }
    bool isActive() const { return false; }
};

#define FILE_SIZE_LIMIT_OR_SKIP(limit) QSKIP("needs a file-size limit (setrlimit), which Windows lacks")
#endif
