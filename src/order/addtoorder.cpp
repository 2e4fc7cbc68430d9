#include "addtoorder.h"

TAddToOrderForm::TAddToOrderForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AddToOrderForm"));
    setWindowTitle(QStringLiteral("Добавить в заказ"));
    setModal(true);
}
