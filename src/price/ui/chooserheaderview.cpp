#include "chooserheaderview.h"

#include <QAbstractItemView>
#include <QScrollBar>

namespace
{
    constexpr int Gap = 2; // around a widget, inside its section
}

ChooserHeaderView::ChooserHeaderView(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    // The title under the widget.
    setDefaultAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    setSectionsClickable(false);
    setHighlightSections(false);
    connect(this, &QHeaderView::sectionResized, this, &ChooserHeaderView::placeWidgets);
    connect(this, &QHeaderView::sectionMoved, this, &ChooserHeaderView::placeWidgets);
    connect(this, &QHeaderView::sectionCountChanged, this, &ChooserHeaderView::placeWidgets);
    connect(this, &QHeaderView::geometriesChanged, this, &ChooserHeaderView::placeWidgets);
    // The header scrolls with the view (its offset follows the view's
    // scroll bar, which has no signal of its own in the header).
    if (auto *view = qobject_cast<QAbstractItemView *>(parent))
        connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, &ChooserHeaderView::placeWidgets);
}

void ChooserHeaderView::setSectionWidgets(const QList<QWidget *> &widgets)
{
    for (const QPointer<QWidget> &old : std::as_const(m_widgets)) {
        if (old && !widgets.contains(old.data()))
            delete old.data();
    }
    m_widgets.clear();
    for (QWidget *widget : widgets) {
        if (widget) {
            widget->setParent(viewport());
            widget->show();
        }
        m_widgets.append(widget);
    }
    updateGeometry();
    placeWidgets();
}

QWidget *ChooserHeaderView::sectionWidget(int logicalIndex) const
{
    return logicalIndex >= 0 && logicalIndex < m_widgets.size() ? m_widgets.at(logicalIndex).data() : nullptr;
}

int ChooserHeaderView::widgetHeight() const
{
    int height = 0;
    for (const QPointer<QWidget> &widget : m_widgets) {
        if (widget)
            height = qMax(height, widget->sizeHint().height());
    }
    return height;
}

QSize ChooserHeaderView::sizeHint() const
{
    QSize size = QHeaderView::sizeHint();
    const int widgets = widgetHeight();
    if (widgets > 0)
        size.rheight() += widgets + Gap;
    return size;
}

void ChooserHeaderView::placeWidgets()
{
    const int height = widgetHeight();
    for (int logical = 0; logical < m_widgets.size(); ++logical) {
        QWidget *widget = m_widgets.at(logical);
        if (!widget)
            continue;
        if (logical >= count() || isSectionHidden(logical)) {
            widget->hide();
            continue;
        }
        const int x = sectionViewportPosition(logical);
        const int width = sectionSize(logical);
        widget->setGeometry(x + Gap / 2, Gap, qMax(0, width - Gap), height);
        widget->show();
    }
}

void ChooserHeaderView::resizeEvent(QResizeEvent *event)
{
    QHeaderView::resizeEvent(event);
    placeWidgets();
}

void ChooserHeaderView::showEvent(QShowEvent *event)
{
    QHeaderView::showEvent(event);
    placeWidgets();
}
