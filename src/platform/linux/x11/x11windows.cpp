#include "platform/linux/x11/x11windows.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/res.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

namespace Qolvi_Desktop_Agent::linux_backend {

namespace {

using namespace std::chrono_literals;

// How long one scan may wait for the X server, and how long a server that did not answer is
// left alone before it is asked again.
constexpr auto replyLimit = 250ms;
constexpr auto reconnectDelay = 10s;
constexpr std::uint32_t windowsLimit = 4096;
constexpr std::uint32_t textLimit = 256;

std::string propertyText(xcb_get_property_reply_t *reply) {
    if (reply == nullptr || reply->format != 8) {
        return {};
    }
    const auto *value = static_cast<const char *>(xcb_get_property_value(reply));
    return {value, static_cast<std::size_t>(xcb_get_property_value_length(reply))};
}

// Whether the local X server of a display (":N", "unix:N") answers a connection's setup within
// the limit: the library's own connecting waits for that answer for good. Any answer counts, a
// refusal too; a display of another form is left to the library.
bool answersSetup(const std::string &display, std::chrono::milliseconds limit) {
    std::string_view name(display);
    if (name.starts_with("unix:")) {
        name.remove_prefix(4);
    }
    if (!name.starts_with(':')) {
        return true;
    }
    const std::string number(name.substr(1, name.find('.') - 1));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
        return true;
    }
    const std::string path = "/tmp/.X11-unix/X" + number;
    // The server listens on a socket of the abstract namespace too, which a sandbox may lack.
    for (const bool abstract : {true, false}) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + (abstract ? 1 : 0), path.c_str(), path.size());
        // The abstract name's leading NUL, or the path's ending one.
        const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
        // A setup request in this machine's byte order, for protocol 11.0, without authorization.
        const std::array<std::uint8_t, 12> setup{'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        bool answered = false;
        if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), size) == 0 &&
            ::send(fd, setup.data(), setup.size(), MSG_NOSIGNAL) ==
                static_cast<ssize_t>(setup.size())) {
            pollfd socket{fd, POLLIN, 0};
            answered = ::poll(&socket, 1, static_cast<int>(limit.count())) > 0;
            if (!answered) {
                ::close(fd);
                return false;
            }
        }
        if (fd >= 0) {
            ::close(fd);
        }
        if (answered) {
            return true;
        }
    }
    // No socket took the connection: the library says so at once.
    return true;
}

} // namespace

X11Windows::X11Windows(std::string display)
    : m_display(std::move(display)) {}

X11Windows::~X11Windows() {
    disconnect();
}

void X11Windows::disconnect() {
    if (m_connection != nullptr) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
    }
    m_nextConnectAttempt = std::chrono::steady_clock::now() + reconnectDelay;
}

void *X11Windows::awaitReply(unsigned sequence) {
    const auto deadline = std::chrono::steady_clock::now() + replyLimit;
    xcb_flush(m_connection);
    while (xcb_connection_has_error(m_connection) == 0) {
        void *reply = nullptr;
        xcb_generic_error_t *error = nullptr;
        if (xcb_poll_for_reply(m_connection, sequence, &reply, &error) != 0) {
            std::free(error);
            return reply;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) {
            break;
        }
        pollfd socket{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        ::poll(&socket, 1, static_cast<int>(left.count()));
    }
    disconnect();
    return nullptr;
}

bool X11Windows::connect() {
    if (m_display.empty() || std::chrono::steady_clock::now() < m_nextConnectAttempt) {
        return false;
    }
    if (!answersSetup(m_display, replyLimit)) {
        disconnect();
        return false;
    }
    int screenNumber = 0;
    m_connection = xcb_connect(m_display.c_str(), &screenNumber);
    if (xcb_connection_has_error(m_connection) != 0) {
        disconnect();
        return false;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        disconnect();
        return false;
    }
    m_root = screens.data->root;
    xcb_prefetch_extension_data(m_connection, &xcb_res_id);
    const std::array<std::pair<const char *, unsigned *>, 5> names{{
        {"_NET_CLIENT_LIST", &m_atoms.clientList},
        {"_NET_WM_PID", &m_atoms.pid},
        {"_GTK_APPLICATION_ID", &m_atoms.gtkApplicationId},
        {"_KDE_NET_WM_DESKTOP_FILE", &m_atoms.kdeDesktopFile},
        {"UTF8_STRING", &m_atoms.utf8},
    }};
    std::array<xcb_intern_atom_cookie_t, names.size()> cookies{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        cookies[i] = xcb_intern_atom(m_connection, 0,
                                     static_cast<std::uint16_t>(std::strlen(names[i].first)),
                                     names[i].first);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        auto *reply = static_cast<xcb_intern_atom_reply_t *>(awaitReply(cookies[i].sequence));
        if (reply == nullptr) {
            return false;
        }
        *names[i].second = reply->atom;
        std::free(reply);
    }
    // The extension's answer came before the atoms': asking for it no longer waits.
    const xcb_query_extension_reply_t *resource = xcb_get_extension_data(m_connection, &xcb_res_id);
    m_hasResourceExtension = resource != nullptr && resource->present != 0;
    m_windows.clear();
    m_known.clear();
    return true;
}

bool X11Windows::refresh(const SessionState & /*session*/) {
    if (m_connection == nullptr && !connect()) {
        return false;
    }
    const auto listed = xcb_get_property(m_connection, 0, m_root, m_atoms.clientList,
                                         XCB_ATOM_WINDOW, 0, windowsLimit);
    auto *list = static_cast<xcb_get_property_reply_t *>(awaitReply(listed.sequence));
    if (list == nullptr) {
        const bool had = !m_listed.empty();
        m_listed.clear();
        return had;
    }
    std::vector<unsigned> windows;
    if (list->format == 32) {
        const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(list));
        windows.assign(ids, ids + xcb_get_property_value_length(list) / 4);
    }
    std::free(list);
    std::sort(windows.begin(), windows.end());
    if (windows == m_windows) {
        return false;
    }

    // Every question about the new windows goes out at once; the answers come back in order.
    struct Questions {
        xcb_window_t window;
        xcb_get_property_cookie_t wmClass, gtk, kde, pid;
        xcb_res_query_client_ids_cookie_t client;
    };
    std::vector<Questions> questions;
    for (const unsigned window : windows) {
        if (m_known.contains(window)) {
            continue;
        }
        const auto text = [this, window](xcb_atom_t property, xcb_atom_t type) {
            return xcb_get_property(m_connection, 0, window, property, type, 0, textLimit);
        };
        Questions asked{
            window,
            text(XCB_ATOM_WM_CLASS, XCB_ATOM_STRING),
            text(m_atoms.gtkApplicationId, m_atoms.utf8),
            text(m_atoms.kdeDesktopFile, XCB_GET_PROPERTY_TYPE_ANY),
            xcb_get_property(m_connection, 0, window, m_atoms.pid, XCB_ATOM_CARDINAL, 0, 1),
            {}};
        if (m_hasResourceExtension) {
            xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
            asked.client = xcb_res_query_client_ids(m_connection, 1, &spec);
        }
        questions.push_back(asked);
    }
    for (const Questions &asked : questions) {
        const auto take = [this](unsigned sequence) {
            return static_cast<xcb_get_property_reply_t *>(awaitReply(sequence));
        };
        std::string gtkApplicationId;
        std::string kdeDesktopFile;
        std::string wmInstance;
        pid_t pid = 0;
        for (const auto &[sequence, field] : {std::pair{asked.gtk.sequence, &gtkApplicationId},
                                              std::pair{asked.kde.sequence, &kdeDesktopFile},
                                              std::pair{asked.wmClass.sequence, &wmInstance}}) {
            xcb_get_property_reply_t *reply = take(sequence);
            if (m_connection == nullptr) {
                return false;
            }
            *field = propertyText(reply);
            std::free(reply);
        }
        // WM_CLASS holds the instance, then the class, each ending in a NUL.
        std::string wmClass;
        if (const std::size_t nul = wmInstance.find('\0'); nul != std::string::npos) {
            wmClass = wmInstance.substr(nul + 1);
            wmClass.erase(std::find(wmClass.begin(), wmClass.end(), '\0'), wmClass.end());
            wmInstance.resize(nul);
        }
        WindowIdentity identity{{std::move(gtkApplicationId), std::move(kdeDesktopFile)},
                                {std::move(wmClass), std::move(wmInstance)}};
        xcb_get_property_reply_t *claimed = take(asked.pid.sequence);
        if (m_connection == nullptr) {
            return false;
        }
        if (claimed != nullptr && claimed->format == 32 &&
            xcb_get_property_value_length(claimed) == 4) {
            pid = static_cast<pid_t>(
                *static_cast<const std::uint32_t *>(xcb_get_property_value(claimed)));
        }
        std::free(claimed);
        // The server's own record of the client beats what the client claims.
        if (m_hasResourceExtension) {
            auto *client =
                static_cast<xcb_res_query_client_ids_reply_t *>(awaitReply(asked.client.sequence));
            if (m_connection == nullptr) {
                return false;
            }
            if (client != nullptr) {
                for (auto ids = xcb_res_query_client_ids_ids_iterator(client); ids.rem > 0;
                     xcb_res_client_id_value_next(&ids)) {
                    if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
                        xcb_res_client_id_value_value_length(ids.data) == 1) {
                        pid = static_cast<pid_t>(*xcb_res_client_id_value_value(ids.data));
                    }
                }
            }
            std::free(client);
        }
        m_known.emplace(asked.window, OwnedWindow{pid, std::move(identity)});
    }
    std::erase_if(m_known, [&windows](const auto &item) {
        return !std::binary_search(windows.begin(), windows.end(), item.first);
    });
    m_windows = std::move(windows);
    m_listed.clear();
    for (const unsigned window : m_windows) {
        m_listed.push_back(m_known.at(window));
    }
    return true;
}

} // namespace Qolvi_Desktop_Agent::linux_backend
