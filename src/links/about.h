#pragma once

#include <QDialog>

// The about box. Created once at start-up; its contents come with the
// program information.
class TAboutBox final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TAboutBox)

public:
    explicit TAboutBox(QWidget *parent = nullptr);
};
