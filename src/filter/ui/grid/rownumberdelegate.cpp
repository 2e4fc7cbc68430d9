#include "rownumberdelegate.h"

#include <QPainter>

RowNumberDelegate::RowNumberDelegate(std::function<void(int)> grow, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_grow(std::move(grow))
{ }

void RowNumberDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    painter->fillRect(option.rect, option.palette.button());
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.buttonText().color());
    painter->drawText(option.rect.adjusted(2, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter, text);
    painter->restore();
    const int wanted = option.fontMetrics.horizontalAdvance(text) + 6;
    if (m_grow && wanted > option.rect.width())
        m_grow(wanted);
}
