#pragma once

#include "carmodels.h"
#include "orderlifecycle.h"
#include "orderoutput.h"
#include "pricefilter.h"
#include "pricelifecycle.h"
#include "progressreporter.h"
#include "standardactions.h"
#include "userprompts.h"
#include "workspace.h"

// A workspace as the main window sets it up, without the window: every
// action defined with its rule, the subsystems' handlers installed, and the
// given prompts and progress in place of dialogs.
inline void setUpTestWorkspace(Workspace &ws, UserPrompts *prompts, ProgressReporter *progress)
{
    ws.setPrompts(prompts);
    ws.setProgress(progress);
    StandardActions::install(ws);
    PriceLifecycle::installActions(ws);
    OrderLifecycle::installActions(ws);
    PriceFilter::install(ws);
    CarModels::install(ws);
    OrderOutput::installActions(ws);
}
