#include "moneydelegate.h"

#include <QPainter>

#include "recordtablemodel.h"

MoneyDelegate::MoneyDelegate(const QPixmap &down, const QPixmap &up, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_down(down)
    , m_up(up)
{
}

int MoneyDelegate::arrowOf(const QModelIndex &index, int columnWidth, int textWidth)
{
    const QVariant oldPrice = index.data(RecordTableModel::OldPriceRole);
    const QVariant price = index.data(RecordTableModel::RawValueRole);
    if (!oldPrice.isValid() || columnWidth < textWidth + 16)
        return 0;
    const double o = oldPrice.toDouble();
    const double p = price.toDouble();
    if (o > p)
        return -1;
    if (o < p)
        return 1;
    return 0;
}

void MoneyDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->fillRect(option.rect, selected ? option.palette.highlight() : option.palette.base());
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setFont(option.font);
    painter->setPen(selected ? option.palette.highlightedText().color() : option.palette.text().color());
    const QRect textRect = option.rect.adjusted(2, 0, -2, 0);
    painter->drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, text);
    const int arrow = arrowOf(index, option.rect.width(), option.fontMetrics.horizontalAdvance(text));
    if (arrow < 0 && !m_down.isNull())
        painter->drawPixmap(option.rect.topLeft(), m_down);
    else if (arrow > 0 && !m_up.isNull())
        painter->drawPixmap(option.rect.topLeft(), m_up);
    painter->restore();
}
