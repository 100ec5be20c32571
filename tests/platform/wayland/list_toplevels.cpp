// Prints what the native Wayland window source sees on WAYLAND_DISPLAY: the protocol it bound
// and where PIDs come from, then one line per window, "APP_ID PID" ("-" for an unknown PID), in
// the order the windows appeared, and a line "." after each list. With --watch it prints the
// list again at each change until the compositor goes; otherwise once. "source: none" when the
// compositor lists no windows to other clients; "no compositor answers" and status 1 when there
// is none.

#include "platform/linux/wayland/waylandconnection.h"
#include "platform/linux/wayland/waylandtoplevels.h"

#include <cstdio>
#include <cstring>
#include <poll.h>

using namespace Qolvi_Desktop_Agent::linux_backend::wayland;

namespace {
void print(const WaylandToplevels &source) {
    for (const Toplevel &toplevel : source.toplevels()) {
        std::printf("%s %s\n", toplevel.appId.c_str(),
                    toplevel.pid ? std::to_string(*toplevel.pid).c_str() : "-");
    }
    std::printf(".\n");
    std::fflush(stdout);
}
} // namespace

int main(int argc, char **argv) {
    const bool watch = argc > 1 && std::strcmp(argv[1], "--watch") == 0;
    const auto options = WaylandToplevels::optionsFromEnvironment();
    if (!WaylandConnection::open(options.display, options.connectLimit)) {
        std::printf("no compositor answers\n");
        return 1;
    }
    const auto source = WaylandToplevels::open(options);
    if (!source) {
        std::printf("source: none\n");
        return 0;
    }
    const char *pids = "none";
    switch (source->pidSource()) {
    case WaylandToplevels::PidSource::Compositor:
        pids = "protocol";
        break;
    case WaylandToplevels::PidSource::SwayIpc:
        pids = "sway-ipc";
        break;
    case WaylandToplevels::PidSource::None:
        break;
    }
    std::printf("source: %s, pids: %s\n", source->protocol(), pids);
    print(*source);
    while (watch && source->connected()) {
        pollfd events{source->fd(), POLLIN, 0};
        ::poll(&events, 1, -1);
        if (source->refresh()) {
            print(*source);
        }
    }
    return 0;
}
