// How long an X window takes to answer a window manager's pings (_NET_WM_PING, which the toolkit
// answers on its GUI thread): pings it every 20 ms for the seconds given and prints "longest
// answer N ms of P pings". A ping unanswered after a second counts as a second.
// Usage: window_ping WINDOW SECONDS

#include "../xcbatom.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <xcb/xcb.h>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::cerr << "usage: window_ping WINDOW SECONDS\n";
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    using std::chrono::milliseconds;
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::cerr << "no X display\n";
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 10));
    // The answer goes to the root window, as to a window manager.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t protocols = atom(connection, "WM_PROTOCOLS");
    const xcb_atom_t ping = atom(connection, "_NET_WM_PING");

    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    milliseconds longest{0};
    int pings = 0;
    while (Clock::now() < end) {
        const auto sent = Clock::now();
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols;
        message.data.data32[0] = ping;
        message.data.data32[1] = static_cast<uint32_t>(++pings);
        message.data.data32[2] = window;
        xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(connection);
        bool answered = false;
        while (!answered && Clock::now() - sent < std::chrono::seconds(1)) {
            while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
                const auto *reply = reinterpret_cast<xcb_client_message_event_t *>(event);
                answered = answered || ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                                        reply->data.data32[0] == ping &&
                                        reply->data.data32[1] == static_cast<uint32_t>(pings));
                std::free(event);
            }
            pollfd socket{xcb_get_file_descriptor(connection), POLLIN, 0};
            if (!answered && ::poll(&socket, 1, 5) < 0) {
                break;
            }
        }
        longest = std::max(longest, std::chrono::duration_cast<milliseconds>(Clock::now() - sent));
        // The next ping 20 ms after this one went out.
        const auto next = sent + milliseconds(20);
        if (Clock::now() < next) {
            pollfd none{-1, 0, 0};
            ::poll(&none, 0,
                   static_cast<int>(std::chrono::ceil<milliseconds>(next - Clock::now()).count()));
        }
    }
    std::cout << "longest answer " << longest.count() << " ms of " << pings << " pings\n";
    xcb_disconnect(connection);
    return 0;
}
