#include "programactions.h"

#include "carmodels.h"
#include "orderlifecycle.h"
#include "orderoutput.h"
#include "pricefilter.h"
#include "pricelifecycle.h"
#include "standardactions.h"
#include "workspace.h"

void ProgramActions::install(Workspace &workspace)
{
    StandardActions::install(workspace);
    PriceLifecycle::installActions(workspace);
    OrderLifecycle::installActions(workspace);
    PriceFilter::install(workspace);
    CarModels::install(workspace);
    OrderOutput::installActions(workspace);
}
