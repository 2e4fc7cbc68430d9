#include "about.h"

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе...."));
    setModal(true);
}
