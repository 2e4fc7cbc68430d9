#include "listrep.h"

TListForm::TListForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ListForm"));
    setWindowTitle(QStringLiteral("Печать заказа"));
    setModal(true);
}
