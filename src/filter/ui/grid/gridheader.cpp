#include "gridheader.h"

#include <QPainter>
#include <QStyleOptionHeader>

GridHeader::GridHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setTextElideMode(Qt::ElideRight);
}

QString GridHeader::shownTitle(const QStyleOptionHeader &option) const
{
    const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
    return option.fontMetrics.elidedText(option.text, textElideMode(), qMax(0, label.width()));
}

QString GridHeader::shownTitle(int logicalIndex) const
{
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = QRect(0, 0, sectionSize(logicalIndex), height());
    return shownTitle(option);
}

void GridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    QStyleOptionHeader option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    option.rect = rect;
    option.text = shownTitle(option);
    const QPointF origin = painter->brushOrigin();
    painter->setBrushOrigin(rect.topLeft());
    style()->drawControl(QStyle::CE_Header, &option, painter, this);
    painter->setBrushOrigin(origin);
}
