#include "legendpanel.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QVBoxLayout>

#include "availableicons.h"
#include "readablecolour.h"

namespace
{
    // Titles look like links: the palette's link colour, a deeper shade of
    // it under the pointer; both readable on the panel.
    QColor topicColour(const QWidget *label, bool hover)
    {
        const QPalette &palette = label->palette();
        const QColor background = palette.color(label->backgroundRole());
        const QColor link = palette.color(QPalette::Link);
        const bool darkBackground = background.lightness() < 128;
        const QColor shade = hover ? (darkBackground ? link.lighter(130) : link.darker(200)) : link;
        return ReadableColour::on(shade, background);
    }

    QLabel *textLabel(const QString &text, QWidget *parent = nullptr)
    {
        auto *label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }

    QLabel *picture(int index, const char *name)
    {
        auto *label = new QLabel;
        label->setObjectName(QLatin1String(name));
        label->setPixmap(AvailableIcons::pixmap(index));
        label->setFixedSize(AvailableIcons::Size, AvailableIcons::Size);
        return label;
    }

    QFrame *rule()
    {
        auto *line = new QFrame;
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        return line;
    }

    // Pictures stacked in the left column beside a text in the right one.
    void addPictureRow(QGridLayout *grid, const QList<QLabel *> &pictures, const QString &text)
    {
        const int row = grid->rowCount();
        auto *column = new QVBoxLayout;
        column->setSpacing(2);
        for (QLabel *pictureLabel : pictures)
            column->addWidget(pictureLabel);
        column->addStretch();
        grid->addLayout(column, row, 0);
        grid->addWidget(textLabel(text), row, 1);
    }

    void addWideRow(QGridLayout *grid, QWidget *widget)
    {
        grid->addWidget(widget, grid->rowCount(), 0, 1, 2);
    }

    QWidget *iconsTopic()
    {
        auto *content = new QWidget;
        auto *grid = new QGridLayout(content);
        grid->setContentsMargins(4, 2, 2, 6);
        grid->setColumnStretch(1, 1);
        addPictureRow(grid, {picture(AvailableIcons::InStock, "Image_AVA")},
                      QStringLiteral("Белый лист\nТовар есть в наличии на складе. "));
        addPictureRow(grid, {picture(AvailableIcons::Expected, "Image_DEL")},
                      QStringLiteral("Желтый лист.\nОжидаемый к поставке товар.\nТакой товар можно добавить в заказ."));
        addPictureRow(grid, {picture(AvailableIcons::NotInStock, "Image_NA")},
                      QStringLiteral("Красный лист.\nТовар отсутствует на складе."));
        addPictureRow(
            grid, {picture(AvailableIcons::NewInStock, "Image_NEW")},
            QStringLiteral("Синий восклицательный знак на белом листе.\nНовинка в прайс-листе. Есть на складе."));
        addPictureRow(grid, {picture(AvailableIcons::NewExpected, "Image_DELN")},
                      QStringLiteral("Восклицательный знак на желтом листе - ожидается к поставке новинка."));
        addWideRow(grid, rule());
        addPictureRow(grid, {picture(AvailableIcons::InOrder, "Image_CHK")},
                      QStringLiteral("Зеленая галочка на любом листе - товар присутствует в Вашем заказе."));
        addWideRow(grid, rule());
        addPictureRow(
            grid, {picture(AvailableIcons::PriceUp, "Image_U"), picture(AvailableIcons::PriceDown, "Image_D")},
            QStringLiteral("После процедуры сравнения цен нового прайс-листа со старым, некоторые цены отмечаются "
                           "красной стрелкой вверх в случае повышения цены, и зеленой стрелкой вниз в случае "
                           "понижения цены."));
        return content;
    }

    QWidget *autoFilterTopic()
    {
        auto *content = new QWidget;
        auto *grid = new QGridLayout(content);
        grid->setContentsMargins(4, 2, 2, 6);
        grid->setColumnStretch(1, 1);
        addWideRow(grid,
                   textLabel(QStringLiteral(
                       "Позволяет просмотреть только те товары, которые связаны с выделенным товаром.\n"
                       "Применение автофильтра осуществляется из пункта меню Прайс/Автофильтр, или клавишей F3.")));
        QLabel *examples = textLabel(QStringLiteral("Примеры:"));
        QFont font = examples->font();
        font.setBold(true);
        font.setUnderline(true);
        examples->setFont(font);
        addWideRow(grid, examples);
        int row = grid->rowCount();
        grid->addWidget(textLabel(QStringLiteral("1)")), row, 0);
        grid->addWidget(textLabel(QStringLiteral(
                            "Установите выделение в столбце \"Группа\" на товар группы ВАЗ, и нажмите клавишу F3. "
                            "Будут отобраны товары, относящиеся к группе ВАЗ.")),
                        row, 1);
        row = grid->rowCount();
        grid->addWidget(textLabel(QStringLiteral("2)")), row, 0);
        grid->addWidget(textLabel(QStringLiteral(
                            "Установите выделение в столбце \"По каталогу\" на любой каталожный номер, и нажмите "
                            "клавишу F3. Будут отобраны товары, имеющие такой же каталожный номер, что и выделенный.")),
                        row, 1);
        return content;
    }

    QWidget *textTopic(const QString &text)
    {
        auto *content = new QWidget;
        auto *layout = new QVBoxLayout(content);
        layout->setContentsMargins(4, 2, 2, 6);
        layout->addWidget(textLabel(text));
        return content;
    }
}

LegendPanel::LegendPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("DetailsPanel"));
    setFixedWidth(PanelWidth);
    setFrameShape(QFrame::StyledPanel);

    m_heading = new QLabel(QStringLiteral("Легенда"), this);
    m_heading->setObjectName(QStringLiteral("LabelLegend"));
    QFont headingFont = m_heading->font();
    headingFont.setBold(true);
    headingFont.setUnderline(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.4);
    m_heading->setFont(headingFont);
    m_heading->setCursor(Qt::PointingHandCursor);
    m_heading->installEventFilter(this);

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("DetailsScrollBox"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto *list = new QWidget;
    list->setObjectName(QStringLiteral("DetailsTopics"));
    auto *listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(2, 2, 2, 2);
    listLayout->setSpacing(4);

    addTopic(list, QStringLiteral("Иконки в таблице"), iconsTopic());
    addTopic(list, QStringLiteral("Автоматический фильтр"), autoFilterTopic());
    addTopic(
        list, QStringLiteral("Отбор данных по критериям"),
        textTopic(QStringLiteral(
            "По сочетанию клавиш Ctrl+F вызывается меню фильтра. С его помощью можно отобрать данные по любому из "
            "критериев. \n  \nНапример, Вам необходимо вывести перечень всех Болтов. Курсор выделения установите в "
            "колонку \"Наименование\". По сочетанию клавиш Ctrl+F вызовите меню настройки. В поле \"Строка "
            "фильтра:\" введите слово \"болт\" и нажмите клавишу \"Применить\". Будет выведен перечень товаров, в "
            "наименовании которых присутствует слово \"болт\".\n  \nДля отмены фильтрации данных используйте "
            "сочетание клавиш Ctrl+F3.")));
    addTopic(list, QStringLiteral("Отбор по наличию на складе"),
             textTopic(QStringLiteral(
                 "При помощи меню фильтра (вызывается  сочетанием клавиш Ctrl+F) можно отобрать данные по наличию на "
                 "складе.\nДля этого выберите вкладку Наличие, и отметьте, какие товары выводить в прайс-листе.\n  \n"
                 "Например, Вам необходимо вывести перечень всех новых товаров. По сочетанию клавиш Ctrl+F вызовите "
                 "меню настройки. На  вкладке Наличие снимите флажок с поля \"Все товары\" и установите флажок "
                 "\"Показывать только новинки\".Затем нажмите клавишу \"Применить\". Будет выведен перечень всех новых "
                 "товаров.\n  \nДля отмены фильтрации данных используйте сочетание клавиш Ctrl+F3.")));
    listLayout->addStretch();
    scroll->setWidget(list);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 0, 4);
    layout->addWidget(m_heading);
    layout->addWidget(scroll, 1);
}

void LegendPanel::addTopic(QWidget *list, const QString &title, QWidget *content)
{
    Topic topic;
    topic.label = new QLabel(title, list);
    topic.label->setObjectName(QStringLiteral("TopicLabel%1").arg(m_topics.size() + 1));
    // The panel's width is fixed: a title wider than it in a larger font
    // (GNOME's, for one) goes on to a second line instead of being cut.
    topic.label->setWordWrap(true);
    topic.label->setCursor(Qt::PointingHandCursor);
    topic.label->installEventFilter(this);
    setTopicHover(topic.label, false);
    topic.content = content;
    topic.content->setObjectName(QStringLiteral("TopicContent%1").arg(m_topics.size() + 1));
    topic.content->setParent(list);
    topic.content->hide();
    list->layout()->addWidget(topic.label);
    list->layout()->addWidget(topic.content);
    m_topics.append(topic);
}

QLabel *LegendPanel::topicLabel(int topic) const
{
    return topic >= 0 && topic < m_topics.size() ? m_topics.at(topic).label : nullptr;
}

QWidget *LegendPanel::topicContent(int topic) const
{
    return topic >= 0 && topic < m_topics.size() ? m_topics.at(topic).content : nullptr;
}

void LegendPanel::toggleTopic(int topic)
{
    if (QWidget *content = topicContent(topic))
        content->setVisible(content->isHidden());
}

void LegendPanel::setTopicHover(QLabel *label, bool hover)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, topicColour(label, hover));
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(hover);
    label->setFont(font);
}

bool LegendPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_heading) {
        if (event->type() == QEvent::MouseButtonRelease
            && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            emit headingClicked();
            return true;
        }
        return QFrame::eventFilter(watched, event);
    }
    for (int i = 0; i < m_topics.size(); ++i) {
        QLabel *label = m_topics.at(i).label;
        if (watched != label)
            continue;
        switch (event->type()) {
        case QEvent::Enter:
            setTopicHover(label, true);
            break;
        case QEvent::Leave:
            setTopicHover(label, false);
            break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
                toggleTopic(i);
                return true;
            }
            break;
        default:
            break;
        }
        break;
    }
    return QFrame::eventFilter(watched, event);
}
