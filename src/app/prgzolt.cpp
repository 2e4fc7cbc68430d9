// The entry of the program: the application, its title, the seven windows
// and the event loop until the main window has closed.

#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QFileInfo>

#include "actionicons.h"
#include "applicationwindows.h"
#include "htmlhelp.h"
#include "main.h"
#include "orderfileguard.h"
#include "orderrecovery.h"
#include "ordixapplication.h"

namespace
{
    // The few options for administrators and scripts, answered without a
    // window or a display; the window itself takes no arguments. Returns
    // the exit status, or -1 when the window is to start.
    int answerOption(int argc, char *argv[])
    {
        const char *option = nullptr;
        for (int i = 1; i < argc && !option; ++i) {
            for (const char *known : {"--help", "--version", "--help-file"}) {
                if (std::strcmp(argv[i], known) == 0)
                    option = known;
            }
        }
        if (!option)
            return -1;
        if (std::strcmp(option, "--help") == 0) {
            std::fputs("Usage: ordix [--help | --version | --help-file]\n"
                       "Starts the Ordix window in the current folder, which holds user.ini,\n"
                       "the price list and the orders.\n"
                       "  --help       this text\n"
                       "  --version    the program's version\n"
                       "  --help-file  the help document that the menu \"Помощь\" opens;\n"
                       "               exit status 1 when it is missing\n",
                       stdout);
            return 0;
        }
        if (std::strcmp(option, "--version") == 0) {
            std::fputs("ordix " ORDIX_VERSION "\n", stdout);
            return 0;
        }
        // The executable's folder is known only to an application object.
        int coreArgc = 1;
        QCoreApplication core(coreArgc, argv);
        const QString path = HtmlHelp::helpFilePath();
        std::fprintf(stdout, "%s\n", QFileInfo(path).absoluteFilePath().toLocal8Bit().constData());
        if (QFileInfo(path).isFile())
            return 0;
        std::fputs("ordix: the help document is missing\n", stderr);
        return 1;
    }
}

int main(int argc, char *argv[])
{
    const int answered = answerOption(argc, argv);
    if (answered >= 0)
        return answered;

    OrdixApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ordix"));
    // The menu entry ordix.desktop names the program to the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("ordix"));
    OrdixApplication::installRussianTranslations(app);
    ActionIcons::useDesktopTheme();

    ApplicationWindows windows;
    // The order is kept in the user's data folder while it has unsaved
    // changes, and offered again after a crash.
    OrderRecovery::enable(windows.mainForm().workspace());
    OrderFileGuard::of(windows.mainForm().workspace()).setLocking(true);
    windows.mainForm().show();
    // Without a window manager (a bare X server) nobody activates the window,
    // and its first activation (maximising, loading the price list) would
    // never come.
    windows.mainForm().activateWindow();
    return app.exec();
}
