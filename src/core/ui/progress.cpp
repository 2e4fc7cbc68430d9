#include "progress.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include "textfile.h"

namespace
{
    // How often a polling operation lets the interface catch up.
    constexpr qint64 PollIntervalMs = 50;
    constexpr qint64 PaintIntervalMs = 30;
    // How long the window may take to appear on the screen.
    constexpr qint64 MapWaitMs = 1000;

    // position / maximum × 100 as a general decimal number: as many digits
    // as needed and no trailing zeros.
    QString generalPercent(int position, int maximum)
    {
        QString text = QString::number(double(position) / double(maximum) * 100.0, 'g', 15);
        text.replace(QLatin1Char('.'), Decimal::separator());
        return text + QLatin1Char('%');
    }

    // position × 10000 / maximum rounded, divided by 100, with two decimals.
    QString stepPercent(int position, int maximum)
    {
        const qint64 hundredths = qRound64(double(position) * 10000.0 / double(maximum));
        return Decimal::format(double(hundredths) / 100.0, 2) + QLatin1Char('%');
    }

    // The user's input that a running operation holds back: it would act on
    // a window whose tables are half-built.
    bool isUserInput(QEvent::Type type)
    {
        switch (type) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::NonClientAreaMouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::TabletMove:
        case QEvent::InputMethod:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::Close:
            return true;
        default:
            return false;
        }
    }
}

TProgressDialog::TProgressDialog(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("ProgressDialog"));
    setWindowTitle(QStringLiteral("Please wait..."));
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame"));
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);

    m_progType = new QLabel(frame);
    m_progType->setObjectName(QStringLiteral("ProgType"));
    m_prog = new QLabel(frame);
    m_prog->setObjectName(QStringLiteral("Prog"));
    m_prog->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_progressBar = new QProgressBar(frame);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);

    auto *grid = new QGridLayout(frame);
    grid->addWidget(m_progType, 0, 0);
    grid->addWidget(m_prog, 0, 1);
    grid->addWidget(m_progressBar, 1, 0, 1, 2);
    grid->setColumnStretch(0, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(frame);
    setFixedSize(320, 90);

    qApp->installEventFilter(this);
}

TProgressDialog::~TProgressDialog()
{
    if (qApp)
        qApp->removeEventFilter(this);
    if (m_cursorSet)
        QGuiApplication::restoreOverrideCursor();
}

QString TProgressDialog::operationText() const
{
    return m_progType->text();
}

QString TProgressDialog::percentText() const
{
    return m_prog->text();
}

int TProgressDialog::maximum() const
{
    return m_progressBar->maximum();
}

int TProgressDialog::position() const
{
    return m_progressBar->value();
}

void TProgressDialog::startProgress(const QString &text, int position, int maximum)
{
    m_progType->setText(text);
    if (maximum == 0)
        maximum = 1;
    m_progressBar->setMaximum(maximum);
    m_progressBar->setValue(qBound(0, position, maximum));
    m_prog->setText(generalPercent(position, maximum));

    if (!m_running) {
        m_running = true;
        m_escapePressed = false;
        m_lastPoll.invalidate();
        m_lastOwnerPaint.invalidate();
        m_lastPaint.invalidate();
        if (!m_cursorSet) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            m_cursorSet = true;
        }
        centreOnOwner();
    }
    show();
    raise();
    waitUntilExposed();
    repaint();
}

void TProgressDialog::waitUntilExposed()
{
    // On a real display the window is mapped some time after show(); a
    // repaint before that draws nothing, and the operation that follows
    // keeps the window blank until its next step. Wait (briefly) for the
    // window server to show it, holding the user's input back.
    QWindow *window = windowHandle();
    if (!window || window->isExposed())
        return;
    QElapsedTimer waited;
    waited.start();
    while (!window->isExposed() && waited.elapsed() < MapWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        if (!window->isExposed())
            QThread::msleep(2);
    }
}

void TProgressDialog::stepProgress(int position)
{
    if (!m_running)
        return;
    const int maximum = m_progressBar->maximum();
    const int held = qBound(0, position, maximum);
    m_progressBar->setValue(held);

    const QString text = stepPercent(position, maximum);
    if (text != m_prog->text()) {
        m_prog->setText(text);
        // Painted no more often than the eye follows: a fast load steps
        // through a hundred percentages in a fraction of a second.
        if (!m_lastPaint.isValid() || m_lastPaint.elapsed() >= PaintIntervalMs) {
            m_lastPaint.start();
            refresh();
        }
    }
    if (held >= maximum)
        finish();
}

void TProgressDialog::refresh()
{
    raise();
    // The owner is painted again under the dialog while the work keeps the
    // event loop waiting, a few times a second: painting the whole main
    // window at every new percentage cost a load more than the load itself.
    if (QWidget *owner = parentWidget()) {
        if (owner->window()->isVisible()
            && (!m_lastOwnerPaint.isValid() || m_lastOwnerPaint.elapsed() >= PollIntervalMs)) {
            m_lastOwnerPaint.start();
            owner->window()->repaint();
        }
    }
    repaint();
}

void TProgressDialog::finish()
{
    m_running = false;
    hide();
    if (m_cursorSet) {
        QGuiApplication::restoreOverrideCursor();
        m_cursorSet = false;
    }
}

void TProgressDialog::centreOnOwner()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    const QRect area = owner->frameGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void TProgressDialog::reject()
{ }

bool TProgressDialog::stopRequested()
{
    if (!m_lastPoll.isValid() || m_lastPoll.elapsed() >= PollIntervalMs) {
        m_lastPoll.start();
        m_polling = true;
        m_modalAtPoll = QApplication::activeModalWidget();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        m_polling = false;
    }
    const bool stop = m_escapePressed;
    m_escapePressed = false;
    return stop;
}

int TProgressDialog::stopRequestedWithin(int steps)
{
    // The keyboard is looked at no more often than one poll would.
    return steps > 0 && stopRequested() ? 0 : -1;
}

bool TProgressDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_polling || !isUserInput(event->type()))
        return QDialog::eventFilter(watched, event);
    // A modal window opened from inside the operation (a question asked
    // while it runs) gets its input: it must be answered for the operation
    // to go on, and it keeps the rest of the program blocked itself.
    if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != m_modalAtPoll)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
            m_escapePressed = true;
    }
    // Marked handled so that no shortcut fires and no widget sees it.
    event->accept();
    return true;
}
