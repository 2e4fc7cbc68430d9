#include "desktoplinks.h"

#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include "about.h"
#include "actionid.h"
#include "htmlhelp.h"
#include "mailorder.h"
#include "workspace.h"

namespace DesktopLinks
{
    void installActions(Workspace &workspace, TAboutBox *aboutBox)
    {
        MailOrder::installActions(workspace, [](const QUrl &url) { return QDesktopServices::openUrl(url); });
        HtmlHelp::installActions(
            workspace, [](const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
        QPointer<TAboutBox> about(aboutBox);
        workspace.actions().setHandler(ActionId::ProgramAbout, [about] {
            if (about)
                about->exec();
        });
    }
}
