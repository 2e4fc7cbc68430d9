#include "runandwait.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

int RunAndWait(const QString &file, int waitMilliseconds, const QString &workingFolder)
{
    auto *process = new QProcess;
    process->setProgram(file);
    if (!workingFolder.isEmpty())
        process->setWorkingDirectory(workingFolder);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->start();
    if (!process->waitForStarted(-1)) {
        delete process;
        return -1;
    }

    if (waitMilliseconds != 0 && process->state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        if (waitMilliseconds > 0)
            limit.start(waitMilliseconds);
        if (process->state() != QProcess::NotRunning)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
    }

    if (process->state() == QProcess::NotRunning)
        delete process;
    else
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return 0;
}
