#include "programicon.h"

static void initProgramIconResource()
{
    Q_INIT_RESOURCE(programicon);
}

QList<int> ProgramIcon::sizes()
{
    return {16, 22, 24, 32, 48, 64, 128, 256};
}

QIcon ProgramIcon::icon()
{
    // The resources of a static library are registered on first use.
    initProgramIconResource();
    QIcon icon;
    for (const int size : sizes())
        icon.addFile(QStringLiteral(":/icons/ordix-%1.png").arg(size), QSize(size, size));
    return icon;
}
