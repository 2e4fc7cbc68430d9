#pragma once

#include <QFrame>
#include <QList>

class QLabel;

// The legend on the left of the main window (DetailsPanel): the heading
// "Легенда", whose click asks to hide the legend, and four topics whose
// blue link-like titles show and hide their explanations. The first topic
// explains the grid's availability pictures.
class LegendPanel final : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LegendPanel)

public:
    static constexpr int PanelWidth = 201;

    explicit LegendPanel(QWidget *parent = nullptr);

    int topicCount() const { return int(m_topics.size()); }
    QLabel *topicLabel(int topic) const;
    QWidget *topicContent(int topic) const;
    // Shows or hides a topic's content, as a click on its title does.
    void toggleTopic(int topic);

signals:
    // The heading was clicked: the window runs LegendSwitch.
    void headingClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Topic
    {
        QLabel *label = nullptr;
        QWidget *content = nullptr;
    };

    void addTopic(QWidget *list, const QString &title, QWidget *content);
    void setTopicHover(QLabel *label, bool hover);

    QLabel *m_heading = nullptr;
    QList<Topic> m_topics;
};
