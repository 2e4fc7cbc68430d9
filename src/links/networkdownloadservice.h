#pragma once

#include <memory>

#include "urldownloadservice.h"

class QNetworkAccessManager;

// The URL download service on Qt Network: http and https, redirects
// followed (never from https down to http), the body streamed into a
// temporary file beside the target that replaces the target only when the
// whole body arrived. While it runs, the calling thread's events go on (the
// user's input held back), so the progress window repaints and a test's
// server answers. A server that sends nothing for the stall time-out ends
// the download with an error.
class NetworkDownloadService final : public UrlDownloadService
{
public:
    static constexpr int DefaultStallTimeoutMs = 30000;
    static constexpr int DefaultMaximumRedirects = 10;

    NetworkDownloadService();
    ~NetworkDownloadService() override;

    NetworkDownloadService(const NetworkDownloadService &) = delete;
    NetworkDownloadService &operator=(const NetworkDownloadService &) = delete;

    void setStallTimeout(int milliseconds) { m_stallTimeoutMs = milliseconds; }
    int stallTimeout() const { return m_stallTimeoutMs; }
    void setMaximumRedirects(int count) { m_maximumRedirects = count; }

    bool download(const QString &url, const QString &fileName, const Callbacks &callbacks, QString *reason) override;
    QString name() const override;

private:
    std::unique_ptr<QNetworkAccessManager> m_manager;
    int m_stallTimeoutMs = DefaultStallTimeoutMs;
    int m_maximumRedirects = DefaultMaximumRedirects;
};
