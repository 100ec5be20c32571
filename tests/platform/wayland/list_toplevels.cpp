// Prints what the native window sources see: the Wayland protocols on WAYLAND_DISPLAY, else the
// project's GNOME Shell extension on the session bus, else a KWin script of its own. First the
// source and where PIDs come from, then one line per window, "APP_ID PID" ("-" for an unknown PID)
// and, where the compositor matched the window with an entry, " ENTRY", in the order the compositor
// gave them, and a line "." after each list. With --watch it prints the list again at each change
// until the source goes; otherwise once. "source: none" when no source lists windows; "no
// compositor answers" and status 1 when WAYLAND_DISPLAY names no compositor that answers.

#include "platform/linux/wayland/compositor/compositorwindows.h"
#include "platform/linux/wayland/compositor/waylandconnection.h"
#include "platform/linux/wayland/gnome-shell/gnomeshellwindows.h"
#include "platform/linux/wayland/kwin/kwinscriptwindows.h"

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <string>

using namespace Qolvi_Desktop_Agent::linux_backend::wayland;

namespace {

template <typename Source>
void print(const Source &source) {
    for (const Toplevel &toplevel : source.toplevels()) {
        std::printf("%s %s%s%s\n", toplevel.appId.c_str(),
                    toplevel.pid ? std::to_string(*toplevel.pid).c_str() : "-",
                    toplevel.entryId.empty() ? "" : " ", toplevel.entryId.c_str());
    }
    std::printf(".\n");
    std::fflush(stdout);
}

template <typename Source>
int watch(Source &source, bool untilGone) {
    print(source);
    while (untilGone && source.connected()) {
        pollfd events{source.fd(), POLLIN, 0};
        // Some sources ask their peer now and then whether it still serves them.
        ::poll(&events, 1, 1000);
        if (source.refresh()) {
            print(source);
        }
    }
    return 0;
}

const char *pidsFrom(CompositorWindows::PidSource source) {
    switch (source) {
    case CompositorWindows::PidSource::Compositor:
        return "protocol";
    case CompositorWindows::PidSource::SwayIpc:
        return "sway-ipc";
    case CompositorWindows::PidSource::None:
        break;
    }
    return "none";
}

} // namespace

int main(int argc, char **argv) {
    const bool untilGone = argc > 1 && std::strcmp(argv[1], "--watch") == 0;
    const auto options = CompositorWindows::optionsFromEnvironment();
    if (!WaylandConnection::open(options.display, options.connectLimit)) {
        std::printf("no compositor answers\n");
        return 1;
    }
    if (const auto source = CompositorWindows::open(options)) {
        std::printf("source: %s, pids: %s\n", source->protocol(), pidsFrom(source->pidSource()));
        return watch(*source, untilGone);
    }
    if (const auto source = GnomeShellWindows::open(options.connectLimit)) {
        std::printf("source: %s, pids: extension\n", GnomeShellWindows::busName);
        return watch(*source, untilGone);
    }
    if (const auto source = KWinScriptWindows::open(options.connectLimit)) {
        std::printf("source: KWin script, pids: script\n");
        return watch(*source, untilGone);
    }
    std::printf("source: none\n");
    return 0;
}
