#pragma once

#include <QIcon>
#include <QString>

class QStyle;

// Pictures of the menus and the tool bar: the desktop's icon theme where it
// has one for the command, otherwise one of the style's standard icons, so
// that no button is blank. Commands without a picture give a null icon.
namespace ActionIcons
{
    QIcon icon(const QString &actionName, const QStyle *style);
    // Without a desktop that names an icon theme, looks in the Adwaita theme
    // (when installed) before the style's standard icons.
    void useDesktopTheme();
}
