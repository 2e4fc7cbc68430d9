#pragma once

#include <initializer_list>
#include <memory>

class QWidget;

// The end of a top-level window: a question, a file dialog or a dialog made
// for one use while the program runs, and the program's own windows when it
// ends.
//
// Qt 6.4's Wayland client runs a window's frame callback on an event thread
// of its own; a window destroyed while that thread is inside the callback is
// used after it was freed, and the program dies on that thread. Hiding a
// window drops its surface and every frame callback not yet delivered; once
// each Wayland event thread is seen waiting for the display again, no
// callback of the window is running and it can go. On other platforms a
// window goes at once.
class WindowRetirement final
{
public:
    // Hides the windows and returns once deleting them is safe (processing
    // events meanwhile, a few seconds at most); the caller deletes them.
    static void settle(std::initializer_list<QWidget *> windows);
    // Hides the window, waits as settle() does and deletes it.
    static void retire(QWidget *window);

    // For a window held by std::unique_ptr: retired instead of deleted.
    struct Deleter
    {
        void operator()(QWidget *window) const { retire(window); }
    };
};

// A window made for one use that retires when its scope ends.
template<typename Window>
using RetiringWindow = std::unique_ptr<Window, WindowRetirement::Deleter>;
