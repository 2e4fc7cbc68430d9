#pragma once

#include <QSpinBox>

// The quantity's spin box: with a pack of more than one, its arrows, the
// arrow keys, Page Up and Down and the wheel go from one whole number of packs
// to the next (7 up is 10 and down is 5 with packs of 5); typing any number
// stays possible.
class PackSpinBox final : public QSpinBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PackSpinBox)

public:
    explicit PackSpinBox(QWidget *parent = nullptr);
    ~PackSpinBox() override;

    // 0 or 1: steps of one.
    void setPack(int pack);
    int pack() const { return m_pack; }

    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;

private:
    // The largest whole number of packs the box takes.
    qint64 lastPacks() const;

    int m_pack = 0;
};
