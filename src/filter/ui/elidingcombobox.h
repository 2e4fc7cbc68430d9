#pragma once

#include <QComboBox>

// A drop-down list narrower than its longest entry: the closed box shows
// its entry cut with "…" (the whole entry is its tool tip), and the open
// list is wide enough for every entry.
class ElidingComboBox final : public QComboBox
{
    Q_OBJECT

public:
    explicit ElidingComboBox(QWidget *parent = nullptr);

    // The current entry as the closed box shows it.
    QString shownText() const;
    // Widens the open list to the longest entry; call after filling it.
    void fitPopupToEntries();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;
    void updateToolTip();
};
