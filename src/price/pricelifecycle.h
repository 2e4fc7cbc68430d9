#pragma once

class Workspace;

// The commands around the price list's life: opening, closing (with the
// retirement of a day-old default list), special prices, any price file, and
// clearing the in-order marks.
class PriceLifecycle final
{
public:
    // Sets the handlers of PriceFileOpen, PriceFileOpenSpecial, PriceDataOpen,
    // PriceClose, RestorePriceData, InitializePriceDataSet and ComparePrices,
    // and gives the workspace the loader the settings dialog reloads with.
    static void installActions(Workspace &workspace);

    static void priceFileOpen(Workspace &workspace);
    static void priceFileOpenSpecial(Workspace &workspace);
    static void priceDataOpen(Workspace &workspace);
    static void priceClose(Workspace &workspace);
    static void restorePriceData(Workspace &workspace);
};
