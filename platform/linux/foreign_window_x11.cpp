#include "platform/foreign_window.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace quorvel::platform {
namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

} // namespace

// Qt 6.4 does not read the geometry of a window made with QWindow::fromWinId, so it is asked of
// the X server here.
std::optional<QRect> foreignWindowGeometry(quint64 windowId)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection || windowId == 0 || windowId > 0xffffffffu)
        return std::nullopt;
    const auto window = xcb_window_t(windowId);

    std::unique_ptr<xcb_get_geometry_reply_t, FreeReply> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    if (!geometry)
        return std::nullopt;
    std::unique_ptr<xcb_translate_coordinates_reply_t, FreeReply> origin(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, geometry->root, 0, 0), nullptr));
    if (!origin)
        return std::nullopt;
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

} // namespace quorvel::platform
