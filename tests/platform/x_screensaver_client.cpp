// A client of the X server's screensaver, as the tests need one beside the monitor under test:
//   suspend MS          holds the screensaver off for MS (as a browser playing a video does)
//   reset MS EVERY      resets it every EVERY ms for MS (as a player's heartbeat does)
//   settings            prints the server's timeout and interval in seconds
// Prints "ready" once the first request has reached the server.
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

void sync(xcb_connection_t* c)
{
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void ready()
{
    std::puts("ready");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) || argc < 2)
        return 2;
    const auto ms = [&](int index) { return std::chrono::milliseconds(argc > index ? std::atoi(argv[index]) : 0); };
    if (std::strcmp(argv[1], "suspend") == 0) {
        xcb_screensaver_suspend(c, 1);
        sync(c);
        ready();
        std::this_thread::sleep_for(ms(2));
        xcb_screensaver_suspend(c, 0);
        sync(c);
    } else if (std::strcmp(argv[1], "reset") == 0) {
        const auto end = std::chrono::steady_clock::now() + ms(2);
        bool first = true;
        while (std::chrono::steady_clock::now() < end) {
            xcb_force_screen_saver(c, XCB_SCREEN_SAVER_RESET);
            sync(c);
            if (first)
                ready();
            first = false;
            std::this_thread::sleep_for(ms(3));
        }
    } else if (std::strcmp(argv[1], "settings") == 0) {
        xcb_get_screen_saver_reply_t* saver = xcb_get_screen_saver_reply(c, xcb_get_screen_saver(c), nullptr);
        if (!saver)
            return 1;
        std::printf("%d %d\n", saver->timeout, saver->interval);
        std::free(saver);
    } else {
        return 2;
    }
    xcb_disconnect(c);
    return 0;
}
