#pragma once

#include "programactions.h"
#include "progressreporter.h"
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
