#include "actionicons.h"

#include <QDir>
#include <QHash>
#include <QStyle>

namespace
{
    struct IconSource
    {
        const char *themeName;
        QStyle::StandardPixmap fallback;
    };

    const QHash<QString, IconSource> &sources()
    {
        static const QHash<QString, IconSource> table{
            {QStringLiteral("PriceFileOpen"), {"document-open", QStyle::SP_DialogOpenButton}},
            {QStringLiteral("PriceFileOpenSpecial"), {"document-open-recent", QStyle::SP_FileDialogStart}},
            {QStringLiteral("PriceDataOpen"), {"folder-open", QStyle::SP_DirOpenIcon}},
            {QStringLiteral("PriceClose"), {"document-close", QStyle::SP_DialogCloseButton}},
            {QStringLiteral("PriceNew"), {"go-down", QStyle::SP_ArrowDown}},
            {QStringLiteral("ComparePrices"), {"view-sort-ascending", QStyle::SP_FileDialogContentsView}},
            {QStringLiteral("PartSearchFocus"), {"edit-find", QStyle::SP_FileDialogContentsView}},
            {QStringLiteral("Models_LoadSMAsg"), {"document-import", QStyle::SP_DriveHDIcon}},
            {QStringLiteral("Models_CloseSMAsg"), {"edit-clear", QStyle::SP_DialogDiscardButton}},
            {QStringLiteral("Models_Apply_To"), {"system-search", QStyle::SP_FileDialogListView}},
            {QStringLiteral("Models_Panel"), {"view-list-details", QStyle::SP_TitleBarShadeButton}},
            {QStringLiteral("Models_BuildFilter"), {"dialog-ok-apply", QStyle::SP_DialogApplyButton}},
            {QStringLiteral("AddToOrder"), {"list-add", QStyle::SP_ArrowForward}},
            {QStringLiteral("RemoveFromOrder"), {"list-remove", QStyle::SP_TrashIcon}},
            {QStringLiteral("OrderNew"), {"document-new", QStyle::SP_FileIcon}},
            {QStringLiteral("OrderFileOpen"), {"document-open", QStyle::SP_DialogOpenButton}},
            {QStringLiteral("OrderFileSave"), {"document-save", QStyle::SP_DialogSaveButton}},
            {QStringLiteral("OrderFileSaveAs"), {"document-save-as", QStyle::SP_DialogSaveButton}},
            {QStringLiteral("OrderClose"), {"document-close", QStyle::SP_DialogCloseButton}},
            {QStringLiteral("CoordinateOrder"), {"view-refresh", QStyle::SP_BrowserReload}},
            {QStringLiteral("PrinterPrintOrder"), {"document-print", QStyle::SP_ComputerIcon}},
            {QStringLiteral("PrinterPreviewOrder"), {"document-print-preview", QStyle::SP_FileDialogContentsView}},
            {QStringLiteral("ExportExcel"), {"x-office-spreadsheet", QStyle::SP_FileDialogDetailedView}},
            {QStringLiteral("ExportClipboard"), {"edit-paste", QStyle::SP_FileLinkIcon}},
            {QStringLiteral("ExportText"), {"text-x-generic", QStyle::SP_FileIcon}},
            {QStringLiteral("SendOrder"), {"mail-send", QStyle::SP_DriveNetIcon}},
            {QStringLiteral("FilterCreate"), {"edit-find", QStyle::SP_FileDialogDetailedView}},
            {QStringLiteral("FilterQ"), {"edit-find-replace", QStyle::SP_FileDialogInfoView}},
            {QStringLiteral("FilterPrice"), {"view-filter", QStyle::SP_DialogApplyButton}},
            {QStringLiteral("CopyCell"), {"edit-copy", QStyle::SP_FileLinkIcon}},
            {QStringLiteral("Preferences"), {"preferences-system", QStyle::SP_ComputerIcon}},
            {QStringLiteral("LegendSwitch"), {"help-contents", QStyle::SP_MessageBoxInformation}},
            {QStringLiteral("RunHTMLHelp"), {"help-browser", QStyle::SP_DialogHelpButton}},
            {QStringLiteral("ProgramAbout"), {"help-about", QStyle::SP_MessageBoxInformation}},
            {QStringLiteral("CloseAll"), {"window-close", QStyle::SP_DialogCloseButton}},
            {QStringLiteral("ExitProg"), {"application-exit", QStyle::SP_TitleBarCloseButton}},
        };
        return table;
    }
}

namespace ActionIcons
{
    QIcon icon(const QString &actionName, const QStyle *style)
    {
        const auto it = sources().constFind(actionName);
        if (it == sources().constEnd())
            return QIcon();
        QIcon fallback = style ? style->standardIcon(it->fallback) : QIcon();
        return QIcon::fromTheme(QLatin1String(it->themeName), fallback);
    }
}

void ActionIcons::useDesktopTheme()
{
    const QString fallback = QIcon::fallbackThemeName();
    if (!fallback.isEmpty() && fallback != QLatin1String("hicolor"))
        return;
    for (const QString &path : QIcon::themeSearchPaths()) {
        if (QDir(path).exists(QStringLiteral("Adwaita/index.theme"))) {
            QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
            return;
        }
    }
}
