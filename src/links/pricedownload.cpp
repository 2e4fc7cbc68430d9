#include "pricedownload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "actionid.h"
#include "archiveunpacker.h"
#include "downloadaction.h"
#include "networkdownloadservice.h"
#include "progressreporter.h"
#ifdef Q_OS_WIN
#include "runandwait.h"
#endif
#include "userprompts.h"
#include "workspace.h"

void PriceDownload::installActions(Workspace &workspace)
{
    DownloadAction &download = DownloadAction::install(workspace);
    if (!download.service())
        download.setService(std::make_unique<NetworkDownloadService>());
    Workspace *ws = &workspace;
    workspace.actions().setHandler(ActionId::PriceNew, [ws] { priceNew(*ws); });
}

QString PriceDownload::targetFileName(const QString &url)
{
    const qsizetype slash = qMax(url.lastIndexOf(QLatin1Char('/')), url.lastIndexOf(QLatin1Char('\\')));
    return url.mid(slash + 1);
}

void PriceDownload::priceNew(Workspace &workspace)
{
    const QString url = workspace.settings().url;
    UserPrompts &prompts = workspace.prompts();
    if (prompts.askYesNo(QStringLiteral("Вы хотите загрузить новый прайс лист с адреса ") + url + QLatin1Char('?'))
        != UserPrompts::Answer::Yes)
        return;

    DownloadAction &download = DownloadAction::install(workspace);
    download.setUrl(url);
    download.setEnabled(!url.isEmpty());
    const QString fileName = targetFileName(url);
    download.setFileName(fileName);
    download.setItemNumber(0);

    ProgressReporter &progress = workspace.progress();
    progress.startProgress(QStringLiteral("Загрузка нового прайс листа"), 0, 100);
    bool completed = false;
    {
        const ProgressFinish end(progress);
        completed = download.execute();
    }

    if (!completed || !fileName.endsWith(QLatin1String(".exe")))
        return;
    if (prompts.askYesNo(QStringLiteral("Архив нового прайс-листа сохранен в файле ") + fileName + QLatin1Char('\n')
                         + QStringLiteral("Вы хотите распаковать архив и загрузить новый прайс лист?"))
        != UserPrompts::Answer::Yes)
        return;

    workspace.execute(ActionId::PriceClose);
    QString error;
    if (!extractArchive(fileName, &error)) {
        // Said first, so the reload of the list that was there is not taken
        // for the new one.
#ifdef Q_OS_WIN
        const QString failed = QStringLiteral("ни запустить, ни распаковать");
#else
        const QString failed = QStringLiteral("распаковать");
#endif
        prompts.message(QStringLiteral("Архив нового прайс-листа %1 не удалось %2: %3.\n"
                                       "Новый прайс-лист не загружен.")
                            .arg(fileName, failed, error),
                        UserPrompts::Icon::Error);
    }
    // The new list, or the one that was there: either way the order is
    // priced again against what is loaded.
    workspace.execute(ActionId::PriceFileOpen);
    workspace.execute(ActionId::CoordinateOrder);
}

bool PriceDownload::extractArchive(const QString &fileName, QString *error)
{
    const QFileInfo info(fileName);
    const QString path = info.absoluteFilePath();
#ifdef Q_OS_WIN
    // The supplier's self-extracting archive; the user agreed to run it.
    // Only a Windows program is started: anything else (a plain zip, a cut
    // download) goes straight to the unpacker.
    QFile file(path);
    const bool program = file.open(QIODevice::ReadOnly) && file.read(2) == QByteArrayLiteral("MZ");
    file.close();
    if (program && RunAndWait(path, -1, QString()) == 0)
        return true;
#endif
    // Elsewhere a downloaded file is never run: a self-extracting archive is
    // a zip, 7z or rar behind a small program, which libarchive reads.
    const ArchiveUnpacker::Result unpacked = ArchiveUnpacker::unpack(path, QDir::currentPath());
    if (unpacked.ok)
        return true;
    if (error)
        *error = unpacked.error;
    return false;
}
