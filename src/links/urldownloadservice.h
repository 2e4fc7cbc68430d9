#pragma once

#include <functional>

#include <QString>

// The URL download service as the download action sees it: fetches one
// address into one file, reporting its progress, and can be stopped. The
// network implementation lives in the ordix_links library; tests may put
// any other behind it.
class UrlDownloadService
{
public:
    struct Report
    {
        quint32 progress = 0;
        quint32 maximum = 0; // 0: the size is not known
        int code = 0;        // DownloadStatus::Code
        QString text;        // an address or a file name
    };

    struct Callbacks
    {
        // Every progress report; returning true stops the download.
        std::function<bool(const Report &report)> progress;
        // Polled a few times a second while the download runs, so that a
        // stop is noticed while the server sends nothing; true stops.
        std::function<bool()> stopRequested;
    };

    virtual ~UrlDownloadService() = default;

    // Fetches `url` into `fileName`, replacing that file only when the whole
    // body arrived: a failed or stopped download leaves no part of a file and
    // an earlier file of that name as it was. Returns true when the download
    // completed; otherwise `reason` (when given) says why, or stays empty
    // when the download was stopped through the callbacks. Blocks until the
    // download ended; the callbacks run on the calling thread.
    virtual bool download(const QString &url, const QString &fileName, const Callbacks &callbacks, QString *reason) = 0;

    // The name of the service in the error "Unable to load %s".
    virtual QString name() const = 0;
};
