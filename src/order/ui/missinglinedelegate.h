#pragma once

#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>

class QTableView;
class Workspace;

// The availability column of the order grid with the lines missing from the
// price list (MissingLines) drawn with their own picture and the hint "Нет в
// текущем прайс-листе"; every other line is drawn by the column's usual
// delegate, which this one wraps.
class MissingLineDelegate final : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MissingLineDelegate)

public:
    // Puts the delegate over the order grid's availability column now and
    // again whenever the grid's columns are rebuilt.
    static void install(QTableView *orderGrid, Workspace &workspace);

    // The 18 × 18 picture of a missing line: a grey sheet crossed out in red.
    static QPixmap picture();

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

private:
    MissingLineDelegate(Workspace &workspace, QAbstractItemDelegate *base, QObject *parent);
    bool isMissing(const QModelIndex &index) const;
    static void wrap(QTableView *grid, Workspace &workspace);

    Workspace &m_workspace;
    QPointer<QAbstractItemDelegate> m_base;
};
