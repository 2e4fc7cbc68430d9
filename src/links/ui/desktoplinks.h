#pragma once

class TAboutBox;
class Workspace;

// Mail, help and the about box on the desktop: the mail hand-over falls
// back to the desktop's "mailto:" opener, the help document opens in the
// desktop's viewer, and ProgramAbout shows the about box.
namespace DesktopLinks
{
    // Sets the handlers of SendOrder, SendOrderAction, RunHTMLHelp and
    // ProgramAbout.
    void installActions(Workspace &workspace, TAboutBox *aboutBox);
}
