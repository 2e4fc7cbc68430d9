#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include "urldownloadservice.h"

class Workspace;

// The main window's download action `DownLoadURL`: the address and the
// target file of the download under way, its item number (the progress
// position in hundreds, and the stop mark after Escape), and the progress
// handler that turns the service's reports into the status line and the
// progress window. The price download and the catalogue's download lists
// both fetch through it.
class DownloadAction final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadAction)

public:
    // The item number that marks a download stopped by the user.
    static constexpr int StopMark = 2147483647;

    // The workspace's download action, made on first use, with the handler of
    // DownLoadURL set to run it. It lives as long as the workspace.
    static DownloadAction &install(Workspace &workspace);
    // The workspace's download action, or null before install().
    static DownloadAction *find(Workspace &workspace);

    void setService(std::unique_ptr<UrlDownloadService> service);
    UrlDownloadService *service() const { return m_service.get(); }

    const QString &url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }
    const QString &fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    int itemNumber() const { return m_itemNumber; }
    void setItemNumber(int number) { m_itemNumber = number; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

    // Runs DownLoadURL when enabled. Returns true when the download
    // completed; a failure has been handed to the error report as
    // "Error downloading URL: <address>" (with the reason on a second line
    // when there is one), unless the catalogue's download list is fetching
    // that address and deals with the failure itself.
    bool execute();

    // DownLoadURLDownloadProgress: Escape stops the download ("Action
    // stopped", the stop mark); otherwise the status line shows the code's
    // text and the service's text, and with a known maximum the progress
    // window moves to the item's hundred plus the percentage. Returns true
    // to stop the download.
    bool downloadProgress(quint32 progress, quint32 maximum, int code, const QString &text);

private:
    explicit DownloadAction(Workspace &workspace);

    void run();
    bool stopRequested();

    Workspace &m_workspace;
    std::unique_ptr<UrlDownloadService> m_service;
    QString m_url;
    QString m_fileName;
    int m_itemNumber = 0;
    bool m_enabled = false;
    bool m_completed = false;
    bool m_stopped = false;
};
