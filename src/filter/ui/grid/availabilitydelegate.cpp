#include "availabilitydelegate.h"

#include <QPainter>

#include "recordtablemodel.h"

AvailabilityDelegate::AvailabilityDelegate(const QList<QPixmap> &icons, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_icons(icons)
{ }

void AvailabilityDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QVariant raw = index.data(RecordTableModel::RawValueRole);
    if (!raw.isValid() && index.model()->rowCount() == 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->fillRect(option.rect, option.palette.button());
    const qint64 value = raw.toLongLong();
    qint64 state = value % 5;
    if (state < 0 || value < 0)
        state = 0;
    const QPoint at(option.rect.left(), option.rect.top() - 1);
    if (state < m_icons.size())
        painter->drawPixmap(at, m_icons.at(int(state)));
    if (value >= 5 && m_icons.size() > 5)
        painter->drawPixmap(at, m_icons.at(5));
}
