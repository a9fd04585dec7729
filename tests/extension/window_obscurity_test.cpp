#include "platform/window_obscurity.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <xcb/xcb.h>

namespace quorvel::platform {
namespace {

// Windows of a client of the test's own on the display the tests run under: a window mapped on top
// of the watched one in full hides it, one beside it does not, and taking it away shows it again.
TEST(WindowObscurity, AWindowWhollyUnderAnotherIsObscured)
{
    const QByteArray display = qgetenv("DISPLAY");
    xcb_connection_t* x = display.isEmpty() ? nullptr : xcb_connect(display.constData(), nullptr);
    if (!x || xcb_connection_has_error(x)) {
        if (x)
            xcb_disconnect(x);
        GTEST_SKIP() << "no X server";
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const auto window = [&](int16_t left, uint16_t size) {
        const xcb_window_t id = xcb_generate_id(x);
        const uint32_t values[] = { 1 }; // override-redirect: no window manager places it
        xcb_create_window(x, XCB_COPY_FROM_PARENT, id, screen->root, left, 0, size, size, 0,
            XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_OVERRIDE_REDIRECT, values);
        return id;
    };
    const xcb_window_t watched = window(0, 100), beside = window(150, 100), over = window(0, 200);
    xcb_map_window(x, watched);
    xcb_flush(x);

    auto obscurity = watchX11WindowObscurity(display, watched);
    QSignalSpy changes(obscurity.get(), &WindowObscurity::fullyObscuredChanged);
    xcb_map_window(x, beside);
    xcb_flush(x);
    QTest::qWait(100);
    EXPECT_FALSE(obscurity->isFullyObscured());
    EXPECT_TRUE(changes.isEmpty());

    xcb_map_window(x, over);
    xcb_flush(x);
    EXPECT_TRUE(QTest::qWaitFor([&] { return obscurity->isFullyObscured(); }, 2000));
    xcb_unmap_window(x, over);
    xcb_flush(x);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !obscurity->isFullyObscured(); }, 2000));
    EXPECT_EQ(changes.size(), 2);
    xcb_disconnect(x);
}

} // namespace
} // namespace quorvel::platform
