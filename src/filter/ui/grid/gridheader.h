#pragma once

#include <QHeaderView>

// The column titles of a grid: a title wider than its column is cut with
// "…" at its end instead of being clipped at both sides; the model gives
// the whole title as the tool tip.
class GridHeader final : public QHeaderView
{
    Q_OBJECT

public:
    explicit GridHeader(QWidget *parent = nullptr);

    // The title of a section as drawn at its present width.
    QString shownTitle(int logicalIndex) const;

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    QString shownTitle(const QStyleOptionHeader &option) const;
};
