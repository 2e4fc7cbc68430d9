#pragma once

#include <QString>

class Workspace;

// The main window's commands and internal actions: their captions, hints,
// shortcuts and enabling rules, and the handlers that need no window
// (CloseAll, INILoad, INISave, LegendSwitch). The subsystems install the
// handlers of their own commands; the window adds ExitProg, Preferences and
// PanelOrderPosition.
namespace StandardActions
{
    // Defines every action in the order of the main window's action list.
    void install(Workspace &ws);
    // The one place where the hints and check marks that follow the enabling
    // rules' answers are shown (PriceNew's hint, FilterPrice's check mark);
    // install() calls it.
    void installFollowers(Workspace &ws);

    // The steps of creating the main window that need no widget: INILoad,
    // LegendSwitch once (the legend ends shown exactly when user.ini asks for
    // it or is missing), the program-wide decimal separator, the tag of
    // OrderClose set to done, the error report, and no download under way.
    void startUp(Workspace &ws);

    // CloseAll: closes the order (which may ask to save it); only when that
    // completed (or no order was open) the car models and the price list.
    void CloseAllExecute(Workspace &ws);
    // INILoad: reads user.ini into the settings and sets the caption. The
    // legend flag is stored inverted; LegendSwitch flips it right after.
    void INILoadExecute(Workspace &ws);
    // INISave: writes user.ini, asking Retry/Cancel while it cannot.
    void INISaveExecute(Workspace &ws);
    // LegendSwitch: inverts the legend's visibility and names the next step
    // in the caption and hint.
    void LegendSwitchExecute(Workspace &ws);

    // The close request: runs CloseAll, then INISave whatever happened, and
    // answers whether the window may close (the order was closed or none was
    // open).
    bool closeQuery(Workspace &ws);

    // The application error report: shows the text in an error box unless it
    // is the failure of the catalogue's own download under way.
    void reportError(Workspace &ws, const QString &text);
    bool isSwallowedError(const QString &text, const QString &currentDownloadUrl);
}
