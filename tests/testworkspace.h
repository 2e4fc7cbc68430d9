#pragma once

#include <QDir>
#include <QTemporaryDir>

#include "programactions.h"
#include "progressreporter.h"
#include "scriptedprompts.h"
#include "silentprogress.h"
#include "standardactions.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

// A workspace as the main window sets it up, without the window: every
// action defined with its rule, the subsystems' handlers installed, and the
// given prompts and progress in place of dialogs.
inline void setUpTestWorkspace(Workspace &ws, UserPrompts *prompts, ProgressReporter *progress)
{
    ws.setPrompts(prompts);
    ws.setProgress(progress);
    ProgramActions::install(ws);
}

// Changes the workspace's filter state as a test's starting point, the way
// the filters themselves do: a copy changed and handed back.
template<typename Change>
inline void editFilter(Workspace &ws, Change &&change)
{
    Workspace::FilterState state = ws.filter();
    change(state);
    ws.setFilter(state);
}

// A workspace set up as above in a fresh temporary folder, which is the
// current folder for the session's life (relative names resolve there), with
// scripted prompts and a silent progress window. `startUp` also runs the
// window's start-up steps (user.ini, the tag of OrderClose).
class TestSession
{
public:
    explicit TestSession(bool startUp = false)
        : m_previousFolder(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
        Decimal::setSeparator(QLatin1Char('.'));
        setUpTestWorkspace(ws, &prompts, &progress);
        if (startUp)
            StandardActions::startUp(ws);
    }
    ~TestSession() { QDir::setCurrent(m_previousFolder); }

    TestSession(const TestSession &) = delete;
    TestSession &operator=(const TestSession &) = delete;

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    SilentProgress progress;
    Workspace ws; // last: it refers to the prompts and the progress

private:
    QString m_previousFolder;
};
