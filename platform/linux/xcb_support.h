#pragma once
// Ownership of xcb connections and replies, for the capabilities that keep a connection of their
// own to the X server (Qt's connection may be offscreen or absent).

#include <QString>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace quorvel::platform::detail {

struct FreeXcbReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeXcbReply>;

struct DisconnectXcb {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, DisconnectXcb>;

// A connection to `displayName` (empty: $DISPLAY) and its screen; null when the display cannot be
// reached.
struct XcbDisplay {
    XcbConnection connection;
    xcb_screen_t* screen = nullptr;
};
XcbDisplay connectXcb(const QString& displayName);

} // namespace quorvel::platform::detail
