#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file as a whole: the bytes go to a hidden file in the target's
// folder, which takes the target's name only when every byte was written and
// flushed to disk; until then the old file stays as it was. Every program
// file is written this way.
//
// A target that exists and is neither a regular file nor a link to one (a
// folder, a device such as /dev/null, a FIFO, a socket) is refused: replacing
// it would remove it for every other program and leave its reader waiting.
// A link is followed to the file it names, or, for files the program keeps
// for itself, replaced by the new file (`Links::Replace`), so that writing
// never reaches outside the link's folder.
//
// On Linux the hidden file has no name until it is complete: a program
// killed in the middle leaves nothing behind. On Windows it is moved over the
// target with MoveFileExW (replace, write through) after FlushFileBuffers; a
// target held open by another program, or read-only, keeps its bytes and the
// write fails with the system's cause. Device names (NUL, CON, COM1, …) are
// refused there, as devices are on Linux.
class AtomicFile final
{
public:
    enum class Links
    {
        Follow,  // a link to a regular file: that file is replaced
        Replace, // a link in the target's place is replaced itself
    };

    explicit AtomicFile(const QString &path, Links links = Links::Follow);
    ~AtomicFile(); // discards what was written unless committed
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    const QString &path() const { return m_path; }

    // Checks the target and creates the hidden file; false with
    // errorString() when either fails.
    bool open();
    bool isOpen() const;
    bool write(const char *data, qint64 size);
    bool write(const QByteArray &bytes) { return write(bytes.constData(), bytes.size()); }
    // Flushes to disk and puts the file in place; false with errorString()
    // when anything failed, the old file then whole.
    bool commit();
    // Drops what was written; the target is left as it was.
    void cancel();

    // The cause of the last failure as the system names it ("No space left
    // on device", "File too large"), or why the target was refused.
    QString errorString() const { return m_error; }

private:
    bool fail(const QString &reason);
    bool failErrno(int error);

    QString m_path;
    Links m_links;
    QString m_error;
#ifdef Q_OS_WIN
    bool failWindows(unsigned long error);

    QString m_final;  // where the file lands (a link's target when followed)
    QString m_hidden; // the hidden file's name
    void *m_handle = nullptr;
    bool m_failed = false;
#else
    bool placeHidden(QByteArray *name);

    QByteArray m_final;  // where the file lands (a link's target when followed)
    QByteArray m_hidden; // the hidden file's name, empty while it has none
    int m_fd = -1;
    bool m_failed = false;
#endif
};
