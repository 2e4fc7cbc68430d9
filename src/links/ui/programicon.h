#pragma once

#include <QIcon>

// The program's own icon (an order sheet with a gear), carried in the
// program's resources in every size from 16 to 256 pixels: the windows'
// icon, the about box's picture, and the same pictures that the install
// puts into the desktop's icon theme as "ordix".
class ProgramIcon final
{
public:
    ProgramIcon() = delete;

    // The icon with all its sizes.
    static QIcon icon();
    // The sizes carried, smallest first.
    static QList<int> sizes();
};
