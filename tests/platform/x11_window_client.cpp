// A top-level X window with the identity properties a test gives it, listed in the root
// window's client list as a window manager would list it; it stays until the process ends.
// Usage: x11_window_client [--wm-class INSTANCE CLASS] [--gtk-id ID] [--kde-file FILE]
//                          [--claim-pid PID]   (prints "ready" once the server has it all)

#include "xcbatom.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

void setText(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t property,
             xcb_atom_t type, const std::string &value) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, property, type, 8,
                        static_cast<uint32_t>(value.size()), value.data());
}

} // namespace

int main(int argc, char **argv) {
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        return 1;
    }
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    uint32_t pid = static_cast<uint32_t>(::getpid());
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--wm-class" && i + 2 < argc) {
            setText(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
                    std::string(argv[i + 1]) + '\0' + argv[i + 2] + '\0');
            i += 2;
        } else if (option == "--gtk-id" && i + 1 < argc) {
            setText(connection, window, atom(connection, "_GTK_APPLICATION_ID"),
                    atom(connection, "UTF8_STRING"), argv[++i]);
        } else if (option == "--kde-file" && i + 1 < argc) {
            setText(connection, window, atom(connection, "_KDE_NET_WM_DESKTOP_FILE"),
                    atom(connection, "UTF8_STRING"), argv[++i]);
        } else if (option == "--claim-pid" && i + 1 < argc) {
            pid = static_cast<uint32_t>(std::stoul(argv[++i]));
        }
    }
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(connection, "_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, screen->root,
                        atom(connection, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, 1, &window);
    xcb_map_window(connection, window);
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    std::puts("ready");
    std::fflush(stdout);
    ::pause();
}
