// ordix-virtual-pointer: a pointer device for a wlroots compositor, through
// its virtual-pointer protocol, for the Wayland leg of the tests.
//
// It reads commands from its standard input, one a line, and answers each
// with "ok" (or "error: ...") on its standard output; the device lives as
// long as the program, so the compositor's seat has a pointer throughout:
//
//   move X Y       to the point X, Y of the output (pixels)
//   click [B]      press and release button B (1 left, 2 middle, 3 right)
//   dclick         a double click of the left button
//   wheel N        N notches of the wheel, positive towards the user
//   sleep MS       wait
//
// The two interfaces are described here by hand from the protocol's
// published signatures; only the requests this program sends are used.
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>

#include <linux/input-event-codes.h>
#include <unistd.h>

namespace
{
    extern const wl_interface VirtualPointerInterface;

    const wl_interface *createTypes[] = {&wl_seat_interface, &VirtualPointerInterface};
    const wl_interface *createWithOutputTypes[] = {&wl_seat_interface, &wl_output_interface, &VirtualPointerInterface};
    const wl_message managerRequests[] = {
        {"create_virtual_pointer", "?on", createTypes},
        {"destroy", "", nullptr},
        {"create_virtual_pointer_with_output", "2?o?on", createWithOutputTypes},
    };
    const wl_interface ManagerInterface = {"zwlr_virtual_pointer_manager_v1", 2, 3, managerRequests, 0, nullptr};

    const wl_interface *noTypes[] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    const wl_message pointerRequests[] = {
        {"motion", "uff", noTypes},   {"motion_absolute", "uuuuu", noTypes},
        {"button", "uuu", noTypes},   {"axis", "uuf", noTypes},
        {"frame", "", noTypes},       {"axis_source", "u", noTypes},
        {"axis_stop", "uu", noTypes}, {"axis_discrete", "uufi", noTypes},
        {"destroy", "", noTypes},
    };
    const wl_interface VirtualPointerInterface = {"zwlr_virtual_pointer_v1", 2, 9, pointerRequests, 0, nullptr};

    enum Request : uint32_t
    {
        MotionAbsolute = 1,
        Button = 2,
        Frame = 4,
        AxisSource = 5,
        AxisDiscrete = 7
    };

    struct State
    {
        wl_seat *seat = nullptr;
        wl_proxy *manager = nullptr;
        wl_output *output = nullptr;
        int32_t width = 0;
        int32_t height = 0;
    };

    void outputGeometry(void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *, const char *,
                        int32_t)
    { }
    void outputMode(void *data, wl_output *, uint32_t flags, int32_t width, int32_t height, int32_t)
    {
        auto *state = static_cast<State *>(data);
        if (flags & WL_OUTPUT_MODE_CURRENT) {
            state->width = width;
            state->height = height;
        }
    }
    void outputDone(void *, wl_output *)
    { }
    void outputScale(void *, wl_output *, int32_t)
    { }
    const wl_output_listener outputListener = {outputGeometry, outputMode, outputDone, outputScale, nullptr, nullptr};

    void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
    {
        auto *state = static_cast<State *>(data);
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && !state->seat) {
            state->seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        } else if (std::strcmp(interface, ManagerInterface.name) == 0) {
            state->manager = static_cast<wl_proxy *>(wl_registry_bind(registry, name, &ManagerInterface, 1));
        } else if (std::strcmp(interface, wl_output_interface.name) == 0 && !state->output) {
            state->output = static_cast<wl_output *>(wl_registry_bind(registry, name, &wl_output_interface, 2));
            wl_output_add_listener(state->output, &outputListener, state);
        }
    }
    void globalRemove(void *, wl_registry *, uint32_t)
    { }
    const wl_registry_listener registryListener = {global, globalRemove};

    uint32_t now()
    {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return uint32_t(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
    }

    void pause(int ms)
    {
        usleep(useconds_t(ms) * 1000);
    }
}

int main()
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "ordix-virtual-pointer: no Wayland display\n");
        return 1;
    }
    State state;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &state);
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (!state.manager || !state.seat || state.width <= 0) {
        std::fprintf(stderr, "ordix-virtual-pointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    auto *pointer = wl_proxy_marshal_constructor(state.manager, 0, &VirtualPointerInterface, state.seat, nullptr);
    wl_display_roundtrip(display);

    const auto frame = [&] {
        wl_proxy_marshal(pointer, Frame);
        wl_display_flush(display);
    };
    const auto button = [&](uint32_t code, bool down) {
        wl_proxy_marshal(pointer, Button, now(), code, uint32_t(down ? 1 : 0));
        frame();
    };
    const auto click = [&](uint32_t code) {
        button(code, true);
        pause(40);
        button(code, false);
    };

    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        bool done = true;
        if (command == "move") {
            long x = -1, y = -1;
            words >> x >> y;
            if (x < 0 || y < 0 || x >= state.width || y >= state.height) {
                done = false;
            } else {
                wl_proxy_marshal(pointer, MotionAbsolute, now(), uint32_t(x), uint32_t(y), uint32_t(state.width),
                                 uint32_t(state.height));
                frame();
            }
        } else if (command == "click") {
            int which = 1;
            words >> which;
            click(which == 3 ? BTN_RIGHT : which == 2 ? BTN_MIDDLE : BTN_LEFT);
        } else if (command == "dclick") {
            click(BTN_LEFT);
            pause(60);
            click(BTN_LEFT);
        } else if (command == "wheel") {
            int notches = 0;
            words >> notches;
            for (int i = 0; i < std::abs(notches); ++i) {
                const int step = notches > 0 ? 1 : -1;
                wl_proxy_marshal(pointer, AxisSource, uint32_t(WL_POINTER_AXIS_SOURCE_WHEEL));
                wl_proxy_marshal(pointer, AxisDiscrete, now(), uint32_t(WL_POINTER_AXIS_VERTICAL_SCROLL),
                                 wl_fixed_from_int(15 * step), int32_t(step));
                frame();
                pause(50);
            }
        } else if (command == "sleep") {
            int ms = 0;
            words >> ms;
            pause(ms);
        } else if (!command.empty()) {
            done = false;
        }
        wl_display_roundtrip(display);
        std::cout << (done ? "ok" : "error: " + line) << std::endl;
    }
    wl_proxy_marshal(pointer, 8); // destroy
    wl_proxy_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
