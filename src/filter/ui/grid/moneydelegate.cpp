#include "moneydelegate.h"

#include <QFontMetrics>
#include <QPainter>

#include "recordtablemodel.h"

MoneyDelegate::MoneyDelegate(const QPixmap &down, const QPixmap &up, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_down(down)
    , m_up(up)
{ }

int MoneyDelegate::arrowOf(const QModelIndex &index, int columnWidth, int textWidth)
{
    const QVariant oldPrice = index.data(RecordTableModel::OldPriceRole);
    const QVariant price = index.data(RecordTableModel::RawValueRole);
    if (!oldPrice.isValid() || columnWidth < ArrowWidth + textWidth + Margin)
        return 0;
    const double o = oldPrice.toDouble();
    const double p = price.toDouble();
    if (o > p)
        return -1;
    if (o < p)
        return 1;
    return 0;
}

MoneyDelegate::Placement MoneyDelegate::place(const QRect &cell, const QFontMetrics &metrics, const QString &text,
                                              int arrow)
{
    Placement placement;
    placement.textRect = cell.adjusted(Margin, 0, -Margin, 0);
    const int room = qMax(0, placement.textRect.width());
    placement.text = metrics.horizontalAdvance(text) > room ? metrics.elidedText(text, Qt::ElideRight, room) : text;
    const int textWidth = metrics.horizontalAdvance(placement.text);
    // The arrow sits at the left edge; the right-aligned text begins at
    // least at its right edge, or the arrow is left out.
    if (arrow != 0 && placement.text == text && cell.width() >= ArrowWidth + textWidth + Margin) {
        placement.arrowRect = QRect(cell.left(), cell.top(), ArrowWidth, qMin(cell.height(), ArrowWidth));
        placement.textRect.setLeft(qMax(placement.textRect.left(), cell.left() + ArrowWidth));
    }
    return placement;
}

void MoneyDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    const QString text = index.data(Qt::DisplayRole).toString();
    const QFontMetrics metrics(option.font);
    const int wanted = arrowOf(index, option.rect.width(), metrics.horizontalAdvance(text));
    const QPixmap &picture = wanted < 0 ? m_down : m_up;
    const Placement placement = place(option.rect, metrics, text, picture.isNull() ? 0 : wanted);
    painter->save();
    painter->setFont(option.font);
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    painter->setClipRect(option.rect);
    painter->drawText(placement.textRect, Qt::AlignRight | Qt::AlignVCenter, placement.text);
    if (!placement.arrowRect.isEmpty())
        painter->drawPixmap(placement.arrowRect.topLeft(), picture);
    painter->restore();
}
