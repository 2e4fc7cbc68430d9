#pragma once

#include <QList>
#include <QPixmap>
#include <QRect>
#include <QStyledItemDelegate>

class QFontMetrics;

// Draws money cells (Price, SUM): the amount with the customer's discount in
// the display currency, right-aligned, and in the price grid an arrow down or
// up when the price fell or rose since the old list and the column is wide
// enough for it beside the text. A text wider than its cell is cut with "…"
// at its end, so that the leading digits always show.
class MoneyDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Room the arrow takes at the cell's left edge, its picture's width.
    static constexpr int ArrowWidth = 18;
    // Blank between the text and the cell's edges.
    static constexpr int Margin = 2;

    // `down` and `up`: the arrow pictures; null pixmaps draw no arrows.
    MoneyDelegate(const QPixmap &down, const QPixmap &up, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The arrow a cell shows: -1 down, +1 up, 0 none. A cell `columnWidth`
    // wide shows one only when a text `textWidth` wide still fits right of it.
    static int arrowOf(const QModelIndex &index, int columnWidth, int textWidth);

    // Where a cell's parts go: the text as drawn (cut with "…" when the cell
    // is too narrow), its rectangle, and the arrow's rectangle (empty when
    // no arrow is drawn). `arrow` is the arrow the values ask for.
    struct Placement
    {
        QString text;
        QRect textRect;
        QRect arrowRect;
    };
    static Placement place(const QRect &cell, const QFontMetrics &metrics, const QString &text, int arrow);

private:
    QPixmap m_down;
    QPixmap m_up;
};
