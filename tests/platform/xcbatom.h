#pragma once

// The test programs' one X helper: an atom by name, or none when the server does not answer.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

inline xcb_atom_t atom(xcb_connection_t *connection, const char *name) {
    auto *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t found = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}
