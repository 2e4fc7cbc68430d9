#pragma once

#include <functional>

#include <QStyledItemDelegate>

// Draws the row-number column on the button face, right-aligned. The column
// grows with the numbers: a number wider than the column widens it (through
// the callback, which also raises the column's preferred width).
class RowNumberDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // `grow(width)`: called with text width + 6 when that exceeds the column.
    explicit RowNumberDelegate(std::function<void(int)> grow, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    std::function<void(int)> m_grow;
};
