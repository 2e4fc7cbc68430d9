#pragma once

#include <QDialog>

// The filter dialog of the price list. Created once at start-up; its pages
// come with the filter conditions.
class TFilterDialog final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFilterDialog)

public:
    explicit TFilterDialog(QWidget *parent = nullptr);
};
