#include "actionicons.h"

#include <QDir>
#include <QHash>
#include <QStyle>

#include "actionid.h"

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
            {ActionId::PriceFileOpen, {"document-open", QStyle::SP_DialogOpenButton}},
            {ActionId::PriceFileOpenSpecial, {"document-open-recent", QStyle::SP_FileDialogStart}},
            {ActionId::PriceDataOpen, {"folder-open", QStyle::SP_DirOpenIcon}},
            {ActionId::PriceClose, {"document-close", QStyle::SP_DialogCloseButton}},
            {ActionId::PriceNew, {"go-down", QStyle::SP_ArrowDown}},
            {ActionId::ComparePrices, {"view-sort-ascending", QStyle::SP_FileDialogContentsView}},
            {ActionId::PartSearchFocus, {"edit-find", QStyle::SP_FileDialogContentsView}},
            {ActionId::Models_LoadSMAsg, {"document-import", QStyle::SP_DriveHDIcon}},
            {ActionId::Models_CloseSMAsg, {"edit-clear", QStyle::SP_DialogDiscardButton}},
            {ActionId::Models_Apply_To, {"system-search", QStyle::SP_FileDialogListView}},
            {ActionId::Models_Panel, {"view-list-details", QStyle::SP_TitleBarShadeButton}},
            {ActionId::Models_BuildFilter, {"dialog-ok-apply", QStyle::SP_DialogApplyButton}},
            {ActionId::AddToOrder, {"list-add", QStyle::SP_ArrowForward}},
            {ActionId::RemoveFromOrder, {"list-remove", QStyle::SP_TrashIcon}},
            {ActionId::OrderNew, {"document-new", QStyle::SP_FileIcon}},
            {ActionId::OrderFileOpen, {"document-open", QStyle::SP_DialogOpenButton}},
            {ActionId::OrderFileSave, {"document-save", QStyle::SP_DialogSaveButton}},
            {ActionId::OrderFileSaveAs, {"document-save-as", QStyle::SP_DialogSaveButton}},
            {ActionId::OrderClose, {"document-close", QStyle::SP_DialogCloseButton}},
            {ActionId::CoordinateOrder, {"view-refresh", QStyle::SP_BrowserReload}},
            {ActionId::PrinterPrintOrder, {"document-print", QStyle::SP_ComputerIcon}},
            {ActionId::PrinterPreviewOrder, {"document-print-preview", QStyle::SP_FileDialogContentsView}},
            {ActionId::ExportExcel, {"x-office-spreadsheet", QStyle::SP_FileDialogDetailedView}},
            {ActionId::ExportClipboard, {"edit-paste", QStyle::SP_FileLinkIcon}},
            {ActionId::ExportText, {"text-x-generic", QStyle::SP_FileIcon}},
            {ActionId::SendOrder, {"mail-send", QStyle::SP_DriveNetIcon}},
            {ActionId::FilterCreate, {"edit-find", QStyle::SP_FileDialogDetailedView}},
            {ActionId::FilterQ, {"edit-find-replace", QStyle::SP_FileDialogInfoView}},
            {ActionId::FilterPrice, {"view-filter", QStyle::SP_DialogApplyButton}},
            {ActionId::CopyCell, {"edit-copy", QStyle::SP_FileLinkIcon}},
            {ActionId::Preferences, {"preferences-system", QStyle::SP_ComputerIcon}},
            {ActionId::LegendSwitch, {"help-contents", QStyle::SP_MessageBoxInformation}},
            {ActionId::RunHTMLHelp, {"help-browser", QStyle::SP_DialogHelpButton}},
            {ActionId::ProgramAbout, {"help-about", QStyle::SP_MessageBoxInformation}},
            {ActionId::CloseAll, {"window-close", QStyle::SP_DialogCloseButton}},
            {ActionId::ExitProg, {"application-exit", QStyle::SP_TitleBarCloseButton}},
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
