#pragma once

#include <QHeaderView>
#include <QList>
#include <QPointer>

// A horizontal header with a widget above the title of each section (the
// field choosers of the dialog "Столбцы прайс-листа"): the widgets keep to
// their sections as columns are resized and the view scrolls, and the
// header grows by their height. Sections without a widget show their title
// alone.
class ChooserHeaderView final : public QHeaderView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ChooserHeaderView)

public:
    explicit ChooserHeaderView(QWidget *parent = nullptr);

    // The widget above each logical section (nullptr: none); the header
    // takes them over and deletes the ones it had.
    void setSectionWidgets(const QList<QWidget *> &widgets);
    QWidget *sectionWidget(int logicalIndex) const;
    // Places the widgets over their sections again.
    void placeWidgets();

    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int widgetHeight() const;

    QList<QPointer<QWidget>> m_widgets;
};
