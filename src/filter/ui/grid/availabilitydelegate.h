#pragma once

#include <QList>
#include <QPixmap>
#include <QStyledItemDelegate>

// Draws the availability column: the sheet of the part's state (the value
// modulo 5) and, for a part in the order (5 or more), the tick over it.
class AvailabilityDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // `icons`: the eight availability pictures in their fixed order.
    explicit AvailabilityDelegate(const QList<QPixmap> &icons, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QList<QPixmap> m_icons;
};
