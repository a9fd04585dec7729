// The end-to-end driver's eyes on the X screen and its hand on the wallpaper store.
//   e2e_probe shot FILE.png          saves the whole screen as a PNG
//   e2e_probe watch SECONDS          samples the centre of the screen every few milliseconds and
//                                    prints one line per sample, "MONOTONIC_MS LUMA" (0..255), so a
//                                    caller can tell when a picture appeared and how long it was gone
//   e2e_probe focus-at X Y           gives the keyboard focus to the top-level window under the screen
//                                    point, as a window manager's click-to-focus does (the private
//                                    display has no window manager, so a click alone moves no focus
//                                    once a program has set it)
//   e2e_probe close TITLE            asks the top-level window titled TITLE to close (WM_DELETE_WINDOW),
//                                    as its title bar's close button does under a window manager
//   e2e_probe agent-store            writes the minimal wallpaper store when there is none, as the
//                                    wallpaper agent of a desktop (here the saver) does before anyone
//                                    enables a screensaver
//   e2e_probe select-module NAME     makes the registered screensaver module NAME the choice of every
//                                    slot of the store, as the app's enable action does without the
//                                    wallpaper agent's restart, which this platform's saver does not
//                                    need; then prints the active modules, one a line
// Exit status: 0 done, 1 the operation failed (reason on stderr), 2 usage.
#include "kit/errors.h"
#include "kit/kit_environment.h"
#include "kit/module_resolution.h"
#include "kit/tessary.h"
#include "platform/preferences.h"
#include "platform/screens.h"
#include "platform/spaces.h"

#include <QCoroTask>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace {

constexpr int kPatch = 48;

double monotonicMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

int fail(const QString& message)
{
    std::fprintf(stderr, "e2e_probe: %s\n", qPrintable(message));
    return 1;
}

QScreen* screenOrNull()
{
    return QGuiApplication::primaryScreen();
}

int shot(const QString& file)
{
    QScreen* screen = screenOrNull();
    if (!screen)
        return fail(QStringLiteral("no screen"));
    const QPixmap picture = screen->grabWindow(0);
    if (picture.isNull() || !picture.save(file, "PNG"))
        return fail(QStringLiteral("could not save the screen to %1").arg(file));
    return 0;
}

// Mean luma of a square in the middle of the screen; -1 when the grab failed.
int centreLuma(QScreen* screen)
{
    const QRect geometry = screen->geometry();
    const QImage patch
        = screen->grabWindow(0, geometry.width() / 2 - kPatch / 2, geometry.height() / 2 - kPatch / 2, kPatch, kPatch)
              .toImage()
              .convertToFormat(QImage::Format_RGB32);
    if (patch.isNull())
        return -1;
    qint64 sum = 0;
    for (int y = 0; y < patch.height(); ++y)
        for (int x = 0; x < patch.width(); ++x)
            sum += qGray(patch.pixel(x, y));
    return int(sum / (patch.width() * patch.height()));
}

int watch(double seconds)
{
    QScreen* screen = screenOrNull();
    if (!screen)
        return fail(QStringLiteral("no screen"));
    std::printf("ready\n");
    std::fflush(stdout);
    const double end = monotonicMs() + seconds * 1000;
    for (double now = monotonicMs(); now < end; now = monotonicMs()) {
        std::printf("%.1f %d\n", now, centreLuma(screen));
        std::fflush(stdout);
        QThread::msleep(10);
    }
    return 0;
}

std::shared_ptr<quorvel::kit::KitEnvironment> systemKit()
{
    auto screens = std::make_shared<quorvel::platform::QtScreens>();
    auto spaces = std::make_shared<quorvel::platform::SynthesizedSpaces>(screens);
    auto preferences = std::make_shared<quorvel::platform::FilePreferences>(
        QStringLiteral("com.quorvel.Quorvel"), QString(), spaces);
    return quorvel::kit::KitEnvironment::system(preferences, screens);
}

int agentStore()
{
    return quorvel::kit::ModuleResolver(systemKit()).ensureStore() ? 0
                                                                   : fail(QStringLiteral("no store could be written"));
}

QCoro::Task<int> selectModule(QString name)
{
    quorvel::kit::Tessary tessary(systemKit());
    try {
        co_await tessary.setScreensaverEverywhere(
            name, quorvel::kit::WriteOptions { .restartAgent = false, .enableDebug = false });
    } catch (const std::exception& error) {
        co_return fail(quorvel::kit::describeError(error));
    }
    for (const QString& active : tessary.getActiveScreensavers())
        std::printf("%s\n", qPrintable(active));
    co_return 0;
}

// The top-level windows, bottom to top; with no window manager they are the root's children.
std::vector<xcb_window_t> topLevels(xcb_connection_t* connection)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    std::vector<xcb_window_t> windows;
    if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr)) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        windows.assign(children, children + xcb_query_tree_children_length(tree));
        free(tree);
    }
    return windows;
}

bool viewable(xcb_connection_t* connection, xcb_window_t window)
{
    auto* attributes
        = xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window), nullptr);
    const bool shown = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    free(attributes);
    return shown;
}

bool holds(xcb_connection_t* connection, xcb_window_t window, int x, int y)
{
    auto* geometry = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    const bool inside = geometry && x >= geometry->x && y >= geometry->y && x < geometry->x + geometry->width
        && y < geometry->y + geometry->height;
    free(geometry);
    return inside;
}

QString titleOf(xcb_connection_t* connection, xcb_window_t window)
{
    auto* reply = xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr);
    QString title;
    if (reply)
        title = QString::fromUtf8(
            static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    free(reply);
    return title;
}

// Runs `pick` over the viewable top-levels from the top down; the first it accepts gets the focus.
template <typename Pick> int focusWindow(const QString& what, Pick pick)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return fail(QStringLiteral("no X display"));
    }
    const std::vector<xcb_window_t> windows = topLevels(connection);
    xcb_window_t target = XCB_NONE;
    for (auto it = windows.rbegin(); it != windows.rend() && target == XCB_NONE; ++it)
        if (viewable(connection, *it) && pick(connection, *it))
            target = *it;
    if (target != XCB_NONE) {
        xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, target, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
    xcb_disconnect(connection);
    return target != XCB_NONE ? 0 : fail(QStringLiteral("no window %1").arg(what));
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    auto* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return found;
}

int closeWindow(const QString& title)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return fail(QStringLiteral("no X display"));
    }
    xcb_window_t target = XCB_NONE;
    for (xcb_window_t window : topLevels(connection))
        if (viewable(connection, window) && titleOf(connection, window) == title)
            target = window;
    if (target != XCB_NONE) {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = target;
        event.type = atom(connection, "WM_PROTOCOLS");
        event.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection, 0, target, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        // A round trip: the request is carried out before this client goes.
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    xcb_disconnect(connection);
    return target != XCB_NONE ? 0 : fail(QStringLiteral("no window titled %1").arg(title));
}

int usage()
{
    std::fprintf(stderr,
        "usage: e2e_probe shot FILE.png | watch SECONDS | focus-at X Y | close TITLE | agent-store | "
        "select-module "
        "NAME\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments().mid(1);
    if (args == QStringList { QStringLiteral("agent-store") })
        return agentStore();
    if (args.size() == 3 && args[0] == QLatin1String("focus-at")) {
        const int x = args[1].toInt();
        const int y = args[2].toInt();
        return focusWindow(QStringLiteral("at %1,%2").arg(x).arg(y),
            [x, y](xcb_connection_t* connection, xcb_window_t window) { return holds(connection, window, x, y); });
    }
    if (args.size() == 2 && args[0] == QLatin1String("close"))
        return closeWindow(args[1]);
    if (args.size() != 2)
        return usage();
    const QString& command = args[0];
    if (command == QLatin1String("shot"))
        return shot(args[1]);
    if (command == QLatin1String("watch")) {
        bool ok = false;
        const double seconds = args[1].toDouble(&ok);
        return ok && seconds > 0 ? watch(seconds) : usage();
    }
    if (command == QLatin1String("select-module"))
        return QCoro::waitFor(selectModule(args[1]));
    return usage();
}
