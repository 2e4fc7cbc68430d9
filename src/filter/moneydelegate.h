#pragma once

#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>

// Draws money cells (Price, SUM): the amount with the customer's discount in
// the display currency, right-aligned, and in the price grid an arrow down or
// up when the price fell or rose since the old list and the column is wide
// enough for it.
class MoneyDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // `down` and `up`: the arrow pictures; null pixmaps draw no arrows.
    MoneyDelegate(const QPixmap &down, const QPixmap &up, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The arrow a cell shows: -1 down, +1 up, 0 none.
    static int arrowOf(const QModelIndex &index, int columnWidth, int textWidth);

private:
    QPixmap m_down;
    QPixmap m_up;
};
