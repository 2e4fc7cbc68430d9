#include "missinglinedelegate.h"

#include <QAbstractItemModel>
#include <QHelpEvent>
#include <QPainter>
#include <QTableView>
#include <QToolTip>

#include "missinglines.h"
#include "ordertable.h"
#include "workspace.h"

namespace
{
    // The grid's controller answers every tool-tip request of the viewport
    // itself; this filter, installed after it, runs first and gives the
    // missing lines' availability cells their hint.
    class MissingLineHint final : public QObject
    {
    public:
        explicit MissingLineHint(QTableView *grid)
            : QObject(grid)
            , m_grid(grid)
        {
            grid->viewport()->installEventFilter(this);
        }

    protected:
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() != QEvent::ToolTip || watched != m_grid->viewport())
                return false;
            auto *help = static_cast<QHelpEvent *>(event);
            const QModelIndex index = m_grid->indexAt(help->pos());
            auto *delegate = qobject_cast<MissingLineDelegate *>(m_grid->itemDelegateForColumn(index.column()));
            if (!index.isValid() || !delegate)
                return false;
            return delegate->helpEvent(help, m_grid, QStyleOptionViewItem(), index);
        }

    private:
        QTableView *m_grid;
    };
}

MissingLineDelegate::MissingLineDelegate(Workspace &workspace, QAbstractItemDelegate *base, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_workspace(workspace)
    , m_base(base)
{
    setObjectName(QStringLiteral("MissingLineDelegate"));
    if (base)
        base->setParent(this);
}

void MissingLineDelegate::install(QTableView *orderGrid, Workspace &workspace)
{
    wrap(orderGrid, workspace);
    // The grid's controller puts fresh delegates in whenever the model resets;
    // this connection comes after the controller's, so it wraps them again.
    if (QAbstractItemModel *model = orderGrid->model()) {
        QObject::connect(model, &QAbstractItemModel::modelReset, orderGrid,
                         [orderGrid, &workspace] { wrap(orderGrid, workspace); });
    }
    QObject::connect(&workspace, &Workspace::repaintGrids, orderGrid, [orderGrid] { orderGrid->viewport()->update(); });
    new MissingLineHint(orderGrid);
}

void MissingLineDelegate::wrap(QTableView *grid, Workspace &workspace)
{
    const GridLayout &layout = workspace.grid(Workspace::Grid::Order);
    for (int c = 0; c < layout.count(); ++c) {
        if (layout.columns.at(c).fieldPosition != OrderTable::AvailabilityFlag)
            continue;
        QAbstractItemDelegate *current = grid->itemDelegateForColumn(c);
        if (qobject_cast<MissingLineDelegate *>(current))
            continue;
        grid->setItemDelegateForColumn(c, new MissingLineDelegate(workspace, current, grid));
    }
}

QPixmap MissingLineDelegate::picture()
{
    static const QPixmap pixmap = [] {
        QPixmap p(18, 18);
        p.fill(Qt::transparent);
        QPainter painter(&p);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QColor(0x80, 0x80, 0x80));
        painter.setBrush(QColor(0xE0, 0xE0, 0xE0));
        painter.drawRect(QRectF(3.5, 1.5, 11, 15));
        QPen cross(QColor(0xD0, 0x10, 0x10));
        cross.setWidthF(2.2);
        cross.setCapStyle(Qt::RoundCap);
        painter.setPen(cross);
        painter.drawLine(QPointF(5.5, 5), QPointF(12.5, 13));
        painter.drawLine(QPointF(12.5, 5), QPointF(5.5, 13));
        return p;
    }();
    return pixmap;
}

bool MissingLineDelegate::isMissing(const QModelIndex &index) const
{
    const MissingLines *missing = MissingLines::find(m_workspace);
    const RecordTable &order = m_workspace.order();
    if (!missing || missing->codes().isEmpty() || !order.isActive() || index.row() < 0
        || index.row() >= order.rowCount() || order.isNullAt(index.row(), OrderTable::Code))
        return false;
    return missing->contains(order.integerAt(index.row(), OrderTable::Code));
}

void MissingLineDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (!isMissing(index)) {
        if (m_base)
            m_base->paint(painter, option, index);
        else
            QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->fillRect(option.rect, option.palette.button());
    painter->drawPixmap(QPoint(option.rect.left(), option.rect.top() - 1), picture());
}

bool MissingLineDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                    const QModelIndex &index)
{
    if (event && event->type() == QEvent::ToolTip && isMissing(index)) {
        QToolTip::showText(event->globalPos(), MissingLines::hint(), view);
        return true;
    }
    // Other cells keep the grid's own hints.
    Q_UNUSED(option);
    Q_UNUSED(view);
    return false;
}
