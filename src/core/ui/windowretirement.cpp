#include "windowretirement.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#ifdef Q_OS_LINUX
#include <sys/syscall.h>
#endif

namespace
{
    // How long a window waits at most for the Wayland threads: they wait
    // for the display nearly all the time, and a thread that cannot be
    // looked at must not hold the program up for long.
    constexpr qint64 LimitMs = 2000;
    // Between two looks at the threads.
    constexpr int LookIntervalMs = 2;

    bool onWayland()
    {
        return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    }

#ifdef Q_OS_LINUX
    bool isPollCall(long number)
    {
#ifdef SYS_poll
        if (number == SYS_poll)
            return true;
#endif
#ifdef SYS_ppoll
        if (number == SYS_ppoll)
            return true;
#endif
        Q_UNUSED(number);
        return false;
    }
#endif

    // True when each Wayland event thread of the program waits in poll()
    // for the display, so that none is inside an event handler. The kernel
    // tells the call a thread waits in (/proc/self/task/N/syscall: the call's
    // number, or -1 / "running" when it runs).
    bool waylandThreadsWaiting()
    {
#ifdef Q_OS_LINUX
        const QDir tasks(QStringLiteral("/proc/self/task"));
        const QStringList ids = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString &id : ids) {
            QFile name(tasks.filePath(id + QStringLiteral("/comm")));
            // The kernel keeps the first 15 bytes of "WaylandEventThread".
            if (!name.open(QIODevice::ReadOnly) || !name.readAll().startsWith("WaylandEventThr"))
                continue;
            QFile call(tasks.filePath(id + QStringLiteral("/syscall")));
            if (!call.open(QIODevice::ReadOnly))
                return false;
            bool ok = false;
            const long number = call.readAll().split(' ').value(0).trimmed().toLong(&ok);
            if (!ok || !isPollCall(number))
                return false;
        }
#endif
        return true;
    }
}

void WindowRetirement::settle(std::initializer_list<QWidget *> windows)
{
    for (QWidget *window : windows) {
        if (window)
            window->hide();
    }
    if (!onWayland())
        return;
    QElapsedTimer waited;
    waited.start();
    // The display's events are read meanwhile: the thread of the main queue
    // waits for that before it waits for the display again.
    while (!waylandThreadsWaiting() && !waited.hasExpired(LimitMs)) {
        QEventLoop loop;
        QTimer::singleShot(LookIntervalMs, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

void WindowRetirement::retire(QWidget *window)
{
    settle({window});
    delete window;
}
