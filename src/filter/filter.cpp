#include "filter.h"

TFilterDialog::TFilterDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FilterDialog"));
    setWindowTitle(QStringLiteral("Фильтр..."));
    setModal(true);
}
