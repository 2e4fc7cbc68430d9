// The entry of the program: the application, its title, the seven windows
// and the event loop until the main window has closed.

#include "actionicons.h"
#include "applicationwindows.h"
#include "main.h"
#include "orderrecovery.h"
#include "ordixapplication.h"

int main(int argc, char *argv[])
{
    OrdixApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ordix"));
    OrdixApplication::installRussianTranslations(app);
    ActionIcons::useDesktopTheme();

    ApplicationWindows windows;
    // The order is kept in the user's data folder while it has unsaved
    // changes, and offered again after a crash.
    OrderRecovery::enable(windows.mainForm().workspace());
    windows.mainForm().show();
    // Without a window manager (a bare X server) nobody activates the window,
    // and its first activation (maximising, loading the price list) would
    // never come.
    windows.mainForm().activateWindow();
    return app.exec();
}
