#include "elidingcombobox.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

ElidingComboBox::ElidingComboBox(QWidget *parent)
    : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, &ElidingComboBox::updateToolTip);
}

QRect ElidingComboBox::textRect() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    // The style's label keeps a pixel off each side of the edit field.
    return style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this)
        .adjusted(1, 0, -1, 0);
}

QString ElidingComboBox::shownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, textRect().width());
}

void ElidingComboBox::fitPopupToEntries()
{
    QAbstractItemView *list = view();
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = qMax(widest, list->fontMetrics().horizontalAdvance(itemText(i)));
    // Room for the entries' own margins and the list's scroll bar.
    list->setMinimumWidth(widest + 4 * list->frameWidth() + 16
                          + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list));
    updateToolTip();
}

void ElidingComboBox::updateToolTip()
{
    setToolTip(currentText());
}

void ElidingComboBox::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
