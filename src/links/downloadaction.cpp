#include "downloadaction.h"

#include <limits>

#include "actionid.h"
#include "downloadstatus.h"
#include "progressreporter.h"
#include "standardactions.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    const QLatin1StringView ActionName = ActionId::DownLoadURL;
    const QLatin1StringView ObjectName = ActionId::DownLoadURL;
}

DownloadAction::DownloadAction(Workspace &workspace)
    : QObject(&workspace)
    , m_workspace(workspace)
{
    setObjectName(ObjectName);
}

DownloadAction &DownloadAction::install(Workspace &workspace)
{
    DownloadAction *action = find(workspace);
    if (!action) {
        action = new DownloadAction(workspace);
        workspace.actions().setHandler(ActionName, [action] { action->run(); });
    }
    return *action;
}

DownloadAction *DownloadAction::find(Workspace &workspace)
{
    return workspace.findChild<DownloadAction *>(ObjectName, Qt::FindDirectChildrenOnly);
}

void DownloadAction::setService(std::unique_ptr<UrlDownloadService> service)
{
    m_service = std::move(service);
}

bool DownloadAction::execute()
{
    m_completed = false;
    if (!m_enabled)
        return false;
    m_workspace.execute(ActionName);
    return m_completed;
}

void DownloadAction::run()
{
    m_completed = false;
    m_stopped = false;
    if (!m_service) {
        m_workspace.actions().reportError(QStringLiteral("Unable to load %1").arg(QStringLiteral("QtNetwork")));
        return;
    }

    UrlDownloadService::Callbacks callbacks;
    callbacks.progress = [this](const UrlDownloadService::Report &report) {
        return downloadProgress(report.progress, report.maximum, report.code, report.text);
    };
    callbacks.stopRequested = [this] { return stopRequested(); };
    QString reason;
    m_completed = m_service->download(m_url, m_fileName, callbacks, &reason);
    if (m_completed)
        return;

    const QString error = QStringLiteral("Error downloading URL: %1").arg(m_url);
    // A download list records its own failures; going through the error
    // report would only hide the list's progress window.
    if (StandardActions::isSwallowedError(error, m_workspace.currentDownloadURL()))
        return;
    m_workspace.actions().reportError(reason.isEmpty() ? error : error + QLatin1Char('\n') + reason);
}

bool DownloadAction::stopRequested()
{
    if (m_stopped)
        return true;
    if (!m_workspace.progress().stopRequested())
        return false;
    m_stopped = true;
    m_workspace.prompts().message(QStringLiteral("Action stopped"));
    m_itemNumber = StopMark;
    return true;
}

bool DownloadAction::downloadProgress(quint32 progress, quint32 maximum, int code, const QString &text)
{
    if (stopRequested())
        return true;
    m_workspace.setLabel(Workspace::Label::Status, DownloadStatus::statusLine(code, text));
    if (maximum != 0) {
        const qint64 percent = qint64(double(progress) / double(maximum) * 100.0);
        const qint64 position = percent + qint64(m_itemNumber) * 100;
        m_workspace.progress().stepProgress(int(qBound(qint64(0), position, qint64(std::numeric_limits<int>::max()))));
    }
    return false;
}
