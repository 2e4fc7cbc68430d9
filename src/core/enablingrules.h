#pragma once

class Workspace;

// The enabling rules of the main window's commands. Each answers whether its
// actions may run now from the workspace's state, without copying a table;
// the action list evaluates them before every run, the window whenever that
// state tells a change. The last five belong to one command or group
// each. A rule only reads: the hints and check marks that follow its answer
// are shown by the action's follower (StandardActions::installFollowers).
namespace EnablingRules
{
    bool EnabledWhilePriceIsOpen(const Workspace &ws);
    bool EnabledWhileOrderIsOpen(const Workspace &ws);
    bool EnabledWhilePriceIsNotEmpty(const Workspace &ws);
    bool EnabledWhileOrderIsNotEmpty(const Workspace &ws);
    bool EnabledWhileBothNotEmpty(const Workspace &ws);

    // PriceNew: a download address is set.
    bool PriceDownloadNew_Update(const Workspace &ws);
    // FilterPrice: a price-list condition exists.
    bool FilterPriceUpdate(const Workspace &ws);
    // Models_CloseSMAsg: either car-model table is open.
    bool EnableWhileMSAActive(Workspace &ws);
    // Models_Panel, Models_Apply_To, Models_BuildSumMenus: both car-model
    // tables are open and both views have rows.
    bool EnableWhileMSANotEmpty(Workspace &ws);
    // Models_BuildFilter: Models_Apply_To is enabled and the price list is
    // open with rows in view or a filter in force.
    bool Models_BuildFilterUpdate(Workspace &ws);
}
