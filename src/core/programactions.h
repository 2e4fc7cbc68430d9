#pragma once

class Workspace;

// The handlers of every command whose logic needs no window: the standard
// actions and their rules, the price list, the order, the filters and car
// models, and the workbook and text exports. The window, the command-line
// program and the tests all set a workspace up through this one function,
// then add what only they have (dialogs, grids, the network).
namespace ProgramActions
{
    void install(Workspace &workspace);
}
