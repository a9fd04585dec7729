#include "platform/linux/xcb_support.h"

namespace quorvel::platform::detail {

XcbDisplay connectXcb(const QString& displayName)
{
    const QByteArray name = displayName.toLocal8Bit();
    int screenNumber = 0;
    XcbConnection connection(xcb_connect(name.isEmpty() ? nullptr : name.constData(), &screenNumber));
    // xcb_connect never returns null, but a failed connection is unusable.
    if (xcb_connection_has_error(connection.get()))
        return {};
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return {};
    return { std::move(connection), screens.data };
}

} // namespace quorvel::platform::detail
