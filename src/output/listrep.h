#pragma once

#include <QDialog>

// The printed order report's window. Created once at start-up; the report
// itself comes with printing.
class TListForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TListForm)

public:
    explicit TListForm(QWidget *parent = nullptr);
};
