#pragma once

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QScopeGuard>
#include <QtMath>
#include <QTest>
#include <QWidget>

#include "windowretirement.h"

// The window tests also run under the looks of other desktops.

// A dark palette as a dark desktop theme gives it (tooltips included: light
// text on a light tooltip background is what such themes often bring, and a
// placeholder text as dark as the fields).
inline QPalette darkTestPalette()
{
    QPalette dark;
    const QColor window(53, 53, 53);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::ToolTipBase, Qt::white);
    dark.setColor(QPalette::ToolTipText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, window);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::BrightText, Qt::red);
    dark.setColor(QPalette::Link, QColor(42, 130, 218));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    dark.setColor(QPalette::PlaceholderText, QColor(0x13, 0x15, 0x16));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        dark.setColor(QPalette::Disabled, role, QColor(127, 127, 127));
    return dark;
}

// With ORDIX_TEST_PALETTE=dark the window tests get the Fusion style with
// the dark palette.
inline void applyTestDesktop()
{
    if (qEnvironmentVariable("ORDIX_TEST_PALETTE") != QLatin1String("dark"))
        return;
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setPalette(darkTestPalette());
}

// The contrast ratio of two colours by the web's accessibility guidelines.
inline double contrastRatio(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : qPow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double x = luminance(a.toRgb());
    const double y = luminance(b.toRgb());
    return (qMax(x, y) + 0.05) / (qMin(x, y) + 0.05);
}

// Waits until one frame of the window, painted now, has been shown by the
// compositor. Wayland's events come in order: whatever the compositor did
// with the requests sent before that frame (such as giving the keyboard to a
// message box that came and went, and back) reaches the program before the
// frame is reported shown.
inline bool waitForShownFrame(QWidget *window)
{
    QWindow *handle = window->windowHandle();
    if (!handle)
        return false;
    class UpdateWatch final : public QObject
    {
    public:
        bool seen = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::UpdateRequest)
                seen = true;
            return false;
        }
    } watch;
    handle->installEventFilter(&watch);
    window->repaint();
    // Delivered once the frame just painted is shown.
    handle->requestUpdate();
    const bool shown = QTest::qWaitFor([&watch] { return watch.seen; });
    handle->removeEventFilter(&watch);
    return shown;
}

// Makes the window the active one, as a user's click would. Neither the
// offscreen platform nor a Wayland seat without a keyboard device (a
// headless compositor) activates a window by itself, and a window's
// shortcuts only work in the active window; there the window is made active
// in the program. Elsewhere the window manager is asked. True once active.
inline bool activateTestWindow(QWidget *window)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("wayland")) {
        // The compositor's own word on activation comes in a configure a
        // moment after a window shows or another closes, and may move the
        // focus (a dialog puts it on its first field again): the keys wait
        // until it has named this window, as a user's do. The window is not
        // asked for by an activation request: Qt 6.4's Wayland client can
        // free a pending request's proxy twice when the window goes first.
        // When the compositor names none in time, the window is made the
        // program's active one all the same, as the compositor's own focus
        // follows a new window anyway.
        // A dialog answered at once may be shown and closed by the
        // compositor after the window was named: the keys wait until it has
        // named the window once more after two frames of it were shown.
        const QWindow *handle = window->windowHandle();
        const auto named = [handle] {
            return QTest::qWaitFor([handle] { return handle && QGuiApplication::focusWindow() == handle; });
        };
        for (int frame = 0; frame < 2 && named(); ++frame)
            waitForShownFrame(window);
        named();
        QApplication::setActiveWindow(window);
    } else if (platform == QLatin1String("offscreen"))
        QApplication::setActiveWindow(window);
    else if (!window->isActiveWindow())
        window->activateWindow();
    return QTest::qWaitFor([window] { return window->isActiveWindow(); });
}

// For a window made on the stack, declared after it: hidden at the end of
// the scope and destroyed only once that is safe, as the program's windows.
template<typename Window>
[[nodiscard]] auto settleOnExit(Window &window)
{
    return qScopeGuard([&window] { WindowRetirement::settle({&window}); });
}
