#pragma once

#include <QString>

// The names of the main window's commands: the one place they are spelled.
// The action list, the window's QActions (their object names) and every
// handler refer to a command through these constants.
namespace ActionId
{
    // Price list
    inline constexpr QLatin1StringView PriceFileOpen{"PriceFileOpen"};
    inline constexpr QLatin1StringView PriceFileOpenSpecial{"PriceFileOpenSpecial"};
    inline constexpr QLatin1StringView PriceDataOpen{"PriceDataOpen"};
    inline constexpr QLatin1StringView PriceClose{"PriceClose"};
    inline constexpr QLatin1StringView PriceNew{"PriceNew"};
    inline constexpr QLatin1StringView ComparePrices{"ComparePrices"};
    inline constexpr QLatin1StringView PartSearchFocus{"PartSearchFocus"};

    // Car models
    inline constexpr QLatin1StringView Models_LoadSMAsg{"Models_LoadSMAsg"};
    inline constexpr QLatin1StringView Models_CloseSMAsg{"Models_CloseSMAsg"};
    inline constexpr QLatin1StringView Models_Apply_To{"Models_Apply_To"};
    inline constexpr QLatin1StringView Models_Panel{"Models_Panel"};
    inline constexpr QLatin1StringView Models_BuildFilter{"Models_BuildFilter"};

    // Order
    inline constexpr QLatin1StringView AddToOrder{"AddToOrder"};
    inline constexpr QLatin1StringView RemoveFromOrder{"RemoveFromOrder"};
    inline constexpr QLatin1StringView OrderNew{"OrderNew"};
    inline constexpr QLatin1StringView OrderFileOpen{"OrderFileOpen"};
    inline constexpr QLatin1StringView OrderFileSave{"OrderFileSave"};
    inline constexpr QLatin1StringView OrderFileSaveAs{"OrderFileSaveAs"};
    inline constexpr QLatin1StringView OrderClose{"OrderClose"};
    inline constexpr QLatin1StringView CoordinateOrder{"CoordinateOrder"};
    inline constexpr QLatin1StringView PrinterPrintOrder{"PrinterPrintOrder"};
    inline constexpr QLatin1StringView PrinterPreviewOrder{"PrinterPreviewOrder"};
    inline constexpr QLatin1StringView ExportExcel{"ExportExcel"};
    inline constexpr QLatin1StringView ExportClipboard{"ExportClipboard"};
    inline constexpr QLatin1StringView ExportText{"ExportText"};
    inline constexpr QLatin1StringView SendOrder{"SendOrder"};
    inline constexpr QLatin1StringView OrderPasteClipboard{"OrderPasteClipboard"};
    inline constexpr QLatin1StringView OrderUndo{"OrderUndo"};
    inline constexpr QLatin1StringView OrderRedo{"OrderRedo"};

    // Filters
    inline constexpr QLatin1StringView FilterCreate{"FilterCreate"};
    inline constexpr QLatin1StringView FilterQ{"FilterQ"};
    inline constexpr QLatin1StringView FilterPrice{"FilterPrice"};

    // Grid, settings, help, program
    inline constexpr QLatin1StringView CopyCell{"CopyCell"};
    inline constexpr QLatin1StringView Preferences{"Preferences"};
    inline constexpr QLatin1StringView LegendSwitch{"LegendSwitch"};
    inline constexpr QLatin1StringView RunHTMLHelp{"RunHTMLHelp"};
    inline constexpr QLatin1StringView ProgramAbout{"ProgramAbout"};
    inline constexpr QLatin1StringView CloseAll{"CloseAll"};
    inline constexpr QLatin1StringView ExitProg{"ExitProg"};

    // Internal actions, run by other handlers only.
    inline constexpr QLatin1StringView InitializePriceDataSet{"InitializePriceDataSet"};
    inline constexpr QLatin1StringView RestorePriceData{"RestorePriceData"};
    inline constexpr QLatin1StringView DeletePricesInOrder{"DeletePricesInOrder"};
    inline constexpr QLatin1StringView EditOrderRecord{"EditOrderRecord"};
    inline constexpr QLatin1StringView PanelOrderPosition{"PanelOrderPosition"};
    inline constexpr QLatin1StringView INILoad{"INILoad"};
    inline constexpr QLatin1StringView INISave{"INISave"};
    inline constexpr QLatin1StringView Models_BuildSumMenus{"Models_BuildSumMenus"};
    inline constexpr QLatin1StringView Models_FreeSubMenus{"Models_FreeSubMenus"};
    inline constexpr QLatin1StringView DownLoadURL{"DownLoadURL"};
    inline constexpr QLatin1StringView SendOrderAction{"SendOrderAction"};
}
