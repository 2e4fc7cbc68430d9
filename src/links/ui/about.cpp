#include "about.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

#include "programicon.h"

namespace
{
    constexpr int InnerBorder = 8;
    constexpr int VkShift = 16;
    constexpr int VkControl = 17;
    constexpr int VkMenu = 18; // Alt
    constexpr int VkEscape = 27;
    constexpr int VkY = 89;
    constexpr int PictureKeys = 4;

    template<typename W>
    W *named(W *widget, const char *name)
    {
        widget->setObjectName(QLatin1String(name));
        return widget;
    }
}

// The resources of a static library are registered by hand.
static void initAboutResources()
{
    Q_INIT_RESOURCE(about);
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                  | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе...."));
    setModal(true);

    m_panel = named(new QFrame(this), "Panel1");
    m_panel->setFrameShape(QFrame::Panel);
    m_panel->setFrameShadow(QFrame::Sunken);

    m_programIcon = named(new QLabel(m_panel), "ProgramIcon");
    m_programIcon->setFixedSize(32, 32);
    m_programIcon->setPixmap(ProgramIcon::icon().pixmap(32, 32));
    m_programIcon->installEventFilter(this);

    m_productName = named(new QLabel(m_panel), "ProductName");
    QFont bold = m_productName->font();
    bold.setBold(true);
    m_productName->setFont(bold);
    m_version = named(new QLabel(m_panel), "Version");

    m_richEdit = named(new QTextEdit(m_panel), "RichEdit1");
    m_richEdit->setReadOnly(true);
    m_richEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_richEdit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_richEdit->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse
                                        | Qt::LinksAccessibleByMouse);

    auto *names = new QVBoxLayout;
    names->setSpacing(2);
    names->addWidget(m_productName);
    names->addWidget(m_version);
    auto *top = new QHBoxLayout;
    top->addWidget(m_programIcon, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(names, 1);
    auto *panelLayout = new QVBoxLayout(m_panel);
    panelLayout->setContentsMargins(6, 6, 6, 6);
    panelLayout->addLayout(top);
    panelLayout->addWidget(m_richEdit, 1);

    m_okButton = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    m_okButton->setDefault(true);
    m_okButton->setAutoDefault(true);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    m_okButton->installEventFilter(this);
    m_richEdit->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(InnerBorder, InnerBorder, InnerBorder, InnerBorder);
    layout->addWidget(m_panel, 1);
    layout->addWidget(m_okButton, 0, Qt::AlignHCenter);

    // Laid over the whole box, outside the layout.
    m_image = named(new QLabel(this), "Image1");
    m_image->setPixmap(paintedPicture());
    m_image->hide();

    // FormCreate: the text from the program's resources, name and version.
    initAboutResources();
    QFile text(QStringLiteral(":/about/aboutrtf.html"));
    if (text.open(QIODevice::ReadOnly))
        m_richEdit->setHtml(QString::fromUtf8(text.readAll()));
    QFont small = m_richEdit->font();
    small.setPointSize(8);
    m_richEdit->setFont(small);
    m_productName->setText(QStringLiteral("ZOLT Ordix"));
    m_version->setText(QStringLiteral("Версия 3.0"));

    formShow();
}

bool TAboutBox::isPictureShown() const
{
    return m_image->isVisibleTo(this);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    formShow();
    QDialog::showEvent(event);
    // Centred on the screen.
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TAboutBox::formShow()
{
    layout()->setContentsMargins(InnerBorder, InnerBorder, InnerBorder, InnerBorder);
    setFixedSize(NormalWidth, NormalHeight);
    m_panel->show();
    m_okButton->show();
    m_image->hide();
    m_image->setGeometry(0, 0, 8, 8);
    QTextCursor cursor = m_richEdit->textCursor();
    cursor.movePosition(QTextCursor::Start);
    m_richEdit->setTextCursor(cursor);
    m_richEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_richEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_richEdit->verticalScrollBar()->setValue(0);
}

void TAboutBox::programIconClick()
{
    if (m_counter != PictureKeys)
        return;
    layout()->setContentsMargins(0, 0, 0, 0);
    const QSize size = m_image->pixmap().size();
    setFixedSize(size);
    m_image->setGeometry(0, 0, size.width(), size.height());
    m_image->show();
    m_image->raise();
    m_panel->hide();
    m_okButton->setFocus();
}

int TAboutBox::virtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift:
        return VkShift;
    case Qt::Key_Control:
        return VkControl;
    case Qt::Key_Alt:
        return VkMenu;
    case Qt::Key_Escape:
        return VkEscape;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey; // the same codes
    return 0;
}

void TAboutBox::keyDown(int key)
{
    if ((key == VkShift || key == VkControl || key == VkMenu || key == VkY) && !m_counted.test(std::size_t(key))) {
        ++m_counter;
        m_counted.set(std::size_t(key));
    }
    if (key == VkEscape)
        reject();
}

void TAboutBox::keyUp()
{
    if (m_counter > 0)
        m_counted.reset();
    if (m_counter == PictureKeys)
        formShow();
    m_counter = 0;
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_programIcon) {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton
            && m_programIcon->rect().contains(static_cast<QMouseEvent *>(event)->position().toPoint()))
            programIconClick();
        return QDialog::eventFilter(watched, event);
    }
    if (watched == m_okButton || watched == m_richEdit) {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            auto *key = static_cast<QKeyEvent *>(event);
            // A held key repeats; only the first press and the real release count.
            if (key->isAutoRepeat())
                return false;
            const int code = virtualKey(key->key());
            if (event->type() == QEvent::KeyPress) {
                keyDown(code);
                if (code == VkEscape)
                    return true;
            } else {
                keyUp();
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

QPixmap TAboutBox::paintedPicture()
{
    QPixmap pixmap(NormalWidth, NormalHeight);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, NormalHeight);
    sky.setColorAt(0, QColor(0x10, 0x24, 0x5c));
    sky.setColorAt(1, QColor(0xe8, 0x8a, 0x2c));
    painter.fillRect(pixmap.rect(), sky);
    // A road into the sunset.
    QPainterPath road;
    road.moveTo(NormalWidth / 2.0 - 6, 150);
    road.lineTo(NormalWidth / 2.0 + 6, 150);
    road.lineTo(NormalWidth - 40, NormalHeight);
    road.lineTo(40, NormalHeight);
    road.closeSubpath();
    painter.fillRect(QRect(0, 150, NormalWidth, NormalHeight - 150), QColor(0x3a, 0x2a, 0x1c));
    painter.fillPath(road, QColor(0x55, 0x55, 0x5c));
    painter.setBrush(QColor(0xff, 0xd2, 0x6a));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(NormalWidth / 2.0, 150), 34, 34);
    painter.fillRect(QRect(0, 150, NormalWidth, NormalHeight - 150), QColor(0x3a, 0x2a, 0x1c, 160));
    painter.fillPath(road, QColor(0x55, 0x55, 0x5c));
    QFont font(QStringLiteral("Sans"));
    font.setBold(true);
    font.setPixelSize(26);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 24, NormalWidth, 34), Qt::AlignCenter, QStringLiteral("ZOLT Ordix 3"));
    font.setBold(false);
    font.setPixelSize(13);
    painter.setFont(font);
    painter.drawText(QRect(0, 64, NormalWidth, 40), Qt::AlignCenter,
                     QStringLiteral("Счастливого пути\nи удачных заказов!"));
    return pixmap;
}
