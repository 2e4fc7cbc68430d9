#pragma once

#include <QDialog>

// The quantity dialog of adding and editing order lines. Created once at
// start-up; its controls come with the order lines' editing.
class TAddToOrderForm final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAddToOrderForm)

public:
    explicit TAddToOrderForm(QWidget *parent = nullptr);
};
