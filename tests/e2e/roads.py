"""The roads a user walks through Quorvel, step by step, each step ending in a screen shot."""
import json
import os
import re
import sqlite3
import subprocess
import time

import ui
from harness import Failure, Program, Relay, Screen, Service, blank_spans, wait_until
from ui import Atspi

HANDLE = "e2e-maker"
PROMPT = "A lighthouse keeper's cat watching the aurora over a frozen harbour"
TITLE = "Aurora over the harbour"
STYLE, MOTION, VIBE = "watercolor", "drift", "calm"
LITE = "Lite tier, 1 wumble credit"
MODULE = "QuorvelExtension"

# What the app road needs by accessible name, with the window that should carry it.
APP_ROAD_NAMES = {
    "move": ("move card", "Move to Applications & Relaunch"),
    "enable": ("onboarding screen or the main screen's status row", "Enable as Screensaver"),
    "first wumble": ("onboarding screen, once enabled", "Make your first wumble - it's free"),
    "create": ("main screen", "Create Wumble"),
    "title field": ("preview window", "Optional title"),
    "save title": ("preview window", "Save Title"),
    "publish": ("preview window", "Add to Community"),
    "library": ("main screen", "Your Wumbles"),
}
ALL_SET = "You're all set - Quorvel is your screensaver."
LOST_CONTACT = "Lost contact with Quorvel. Please try again."

# A user must never look at a black screen for long: the first picture of a saver start, and any
# blank stretch once pictures are showing (clip changes included). The first picture takes about
# 0.3 s on an idle machine and up to 2 s beside a parallel test run; waiting out the feed's 8 s
# timeout before showing anything must fail. (How fast it is belongs to bench/saver/run.)
FIRST_PICTURE_LIMIT_MS = 5000
BLANK_LIMIT_MS = 250


class Run:
    """One end-to-end run: the service behind its relay, the programs started, the screen, the
    measures, and the step a failure is reported at."""

    def __init__(self, build, probe, out, root, env):
        bin_dir = os.path.join(build, "bin")
        self.app_path = os.path.join(bin_dir, "Quorvel.app", "Contents", "MacOS", "Quorvel")
        self.appex = os.path.join(bin_dir, "Quorvel.app", "Contents", "PlugIns", "QuorvelExtension.appex")
        self.saver_path = os.path.join(bin_dir, "quorvel-saver")
        self.pluginkit = os.path.join(bin_dir, "quorvel-pluginkit")
        self.probe, self.out, self.root, self.env = probe, out, root, env
        self.screen = Screen(probe, out, env)
        ui.focus_window_at = lambda x, y: subprocess.run([probe, "focus-at", str(x), str(y)], env=env, check=True,
                                                         timeout=10, capture_output=True)
        self.step = "start the service"
        self.programs = []
        self.extra_pids = []
        self.measures = []
        self.relay = Relay()
        self.service = Service(os.path.join(bin_dir, "quorvel-service"), os.path.join(root, "service"),
                               self.relay.base, env, ["--free-credits", "3"])
        self.service.start()
        self.relay.upstream = self.service.port
        # The app and the saver reach the service only through the relay (clip addresses included:
        # the service names the relay as its public address).
        # The build's tools are on the search path, as an installed system's are: the app moved into
        # the applications folder no longer sits beside the registry tool and the saver.
        self.client_env = dict(env, QUORVEL_SERVICE_URL=self.relay.base, QUORVEL_CDN_URL=self.relay.base + "/cdn/",
                               PATH=bin_dir + os.pathsep + env.get("PATH", "/usr/bin:/bin"))

    def close_window(self, app, title):
        """Closes the window titled `title` as its title bar's close button does, clicked again
        when the first click went unheard (a busy program can drop the request)."""
        for _ in range(3):
            closed = subprocess.run([self.probe, "close", title], env=self.env, capture_output=True, text=True,
                                    timeout=10)
            if closed.returncode != 0:
                raise Failure(f'no window titled "{title}" to close: {closed.stderr}')
            try:
                return app.wait_window_gone(title, 3)
            except Failure:
                print(f'e2e: the window "{title}" is still open; closing it again', flush=True)
        raise Failure(f'the window "{title}" does not close')

    def begin(self, step):
        self.step = step
        print(f"e2e: {step}", flush=True)

    def shot(self, name):
        return self.screen.shot(name)

    def fail_shot(self):
        try:
            self.shot("failed-" + re.sub(r"[^a-z0-9]+", "-", self.step.lower()).strip("-"))
        except Exception as error:  # the display itself may be what failed
            print(f"e2e: no screen shot of the failure: {error}")

    def start(self, name, args):
        program = Program(name, args, self.client_env, self.out)
        self.programs.append(program)
        return program

    def measure(self, name, value, unit, limit=None):
        self.measures.append({"measure": name, "value": value, "unit": unit, "limit": limit})

    def close(self):
        for program in reversed(self.programs):
            program.stop()
        for pid in self.extra_pids:
            try:
                os.kill(pid, 15)
            except OSError:
                pass
        self.relay.stop()
        self.service.stop()

    def report(self):
        with open(os.path.join(self.out, "measures.json"), "w") as out:
            json.dump(self.measures, out, indent=1)
        for m in self.measures:
            limit = f" (limit {m['limit']} {m['unit']})" if m["limit"] is not None else ""
            value = "none" if m["value"] is None else f"{m['value']:.0f}"
            print(f"e2e: measure: {m['measure']}: {value} {m['unit']}{limit}", flush=True)


# The app ---------------------------------------------------------------------------------------


def launch_app(run, *arguments):
    run.begin("launch the app")
    run.start("quorvel", [run.app_path, *arguments])
    app = ui.App("Quorvel")
    app.wait_for("Quorvel", Atspi.Role.FRAME)
    ui.settle()
    run.shot("main-window")
    app.assert_no_error_dialog("launch")
    return app


def wait_enrolled(run, app):
    run.begin("enrol this machine")
    wait_until("the app's enrolment with the service",
               lambda: any(e[2] == 200 for e in run.relay.seen("POST", "/enroll")), 30)
    reconnect = "Couldn't set up this Mac with Quorvel. Check your connection and try again."
    if app.shows_text(reconnect):
        raise Failure(f'the app shows "{reconnect}" although the service answered')
    ui.settle()
    run.shot("enrolled")


def fill_in_and_generate(run, app, prompt=PROMPT):
    """In the open create window: the recipe typed and picked, then "Generate"; returns the job id."""
    run.begin("fill in the recipe")
    app.type_into("Your handle", HANDLE)
    app.type_into("Prompt", prompt)
    app.select(f"{STYLE} style")
    app.choose("Motion", MOTION)
    app.choose("Vibe", VIBE)
    app.select(LITE)
    ui.settle()
    run.shot("create-recipe")
    app.assert_no_error_dialog("filling in the recipe")

    run.begin("generate")
    before = len(run.relay.seen("POST", "/generate"))
    app.press_named("Generate", Atspi.Role.PUSH_BUTTON)
    app.wait_gone("Prompt", timeout=30)  # the create window closes once the job is submitted
    ui.settle()
    run.shot("generating")
    app.assert_no_error_dialog("generate")

    def accepted():
        for _, _, status, reply in run.relay.seen("POST", "/generate")[before:]:
            if status != 200 or not isinstance(reply, dict) or "job" not in reply:
                raise Failure(f"the service refused the app's recipe: {status} {reply}")
            return reply["job"]
    return wait_until("the service to accept the recipe", accepted, 30)


def check_submission(run, job, prompt=PROMPT):
    """What the widgets were given is what reached the service."""
    run.begin("check the recipe that reached the service")
    db = sqlite3.connect(f"file:{os.path.join(run.service.data, 'quorvel.sqlite')}?mode=ro", uri=True, timeout=5)
    try:
        row = db.execute("SELECT prompt, style, motion, vibe, handle, lite FROM jobs WHERE id = ?", (job,)).fetchone()
    finally:
        db.close()
    expected = (prompt, STYLE, MOTION, VIBE, HANDLE, 1)
    if row != expected:
        raise Failure(f"the service got the recipe {row}, the user entered {expected}")


def follow_job(run, job, timeout=60):
    """Waits until the app's own poll of the job sees it done; returns the clip address."""
    run.begin("wait for the clip")

    def done():
        for _, _, _, reply in run.relay.seen("GET", f"/jobs/{job}"):
            if isinstance(reply, dict) and reply.get("done") is True:
                return reply
    reply = wait_until("the app's poll to see the job done", done, timeout, 0.2)
    if reply.get("ok") is not True or not reply.get("clip"):
        raise Failure(f"the job ended without a clip: {reply}")
    return reply["clip"]


def machine_token(run):
    machines = run.service.enrolled_machines()
    if len(machines) != 1:
        raise Failure(f"expected the app's one machine to be enrolled, found {machines}")
    status, reply = run.service.call("POST", "/enroll", {"machine": machines[0]})
    if status != 200 or not isinstance(reply, dict) or "token" not in reply:
        raise Failure(f"enrolment for {machines[0]} failed: {status} {reply}")
    return machines[0], reply["token"]


def publish_through_api(run, clip):
    """The title and the publication as the preview window sends them: PATCH "/title", "/publish"."""
    run.begin("title and publish the clip")
    machine, token = machine_token(run)
    for action in ("title", "publish"):
        status, reply = run.service.call("PATCH", f"/{action}", {"url": clip, "title": TITLE, "user": machine}, token)
        if status != 200:
            raise Failure(f"PATCH /{action} answered {status} {reply}")
    check_feed_lists(run, clip)


def check_feed_lists(run, clip):
    status, feed = run.service.call("GET", "/feed?t=0&user=e2e")
    entries = [v for v in (feed or {}).get("videos", []) if v.get("url") == clip]
    if status != 200 or not entries:
        raise Failure(f"the feed does not list the published clip {clip}: {status} {feed}")
    if entries[0].get("title") != TITLE or entries[0].get("author") != HANDLE:
        raise Failure(f"the feed lists the clip as {entries[0]}, expected title {TITLE!r} by {HANDLE!r}")


def quit_app(run, app):
    """"Quit Quorvel" from the application menu; the screen is then the display's black root again,
    so the saver's first picture can be timed from outside."""
    run.begin("quit the app")
    pid = app.process_id()
    quit_item = app.find_all("Quit Quorvel", Atspi.Role.MENU_ITEM, showing=False)
    if not quit_item:
        raise Failure('the app has no menu item "Quit Quorvel"')
    app.press(quit_item[0])
    wait_until("the app to quit", lambda: not process_alive(pid), 15, 0.05)
    for program in run.programs:
        if program.proc.pid == pid and program.proc.wait(5) != 0:
            raise Failure(f"the app quit with status {program.proc.returncode}")


def process_alive(pid):
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    # A child that has ended but not been waited for is gone for the user.
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().split(") ", 1)[1][0] != "Z"
    except OSError:
        return False


# The saver -------------------------------------------------------------------------------------


def store_path(run):
    return os.path.join(run.env["HOME"], "Library", "Application Support", "com.apple.wallpaper", "Store",
                        "Index.plist")


def agent_store(run):
    """The desktop's own store, as its wallpaper agent (here the saver) writes it before anyone
    enables a screensaver."""
    made = subprocess.run([run.probe, "agent-store"], env=run.env, capture_output=True, text=True, timeout=60)
    if made.returncode != 0 or not os.path.exists(store_path(run)):
        raise Failure(f"no wallpaper store: {made.stderr}")


def choose_module_in_store(run):
    """What "Enable as Screensaver" leaves behind: the embedded extension registered with the
    registry tool and chosen in every slot of the store."""
    run.begin("make the extension the screensaver")
    agent_store(run)
    subprocess.run([run.pluginkit, "-a", run.appex], env=run.env, check=True, capture_output=True, timeout=30)
    chosen = subprocess.run([run.probe, "select-module", MODULE], env=run.env, capture_output=True, text=True,
                            timeout=60)
    if chosen.returncode != 0 or MODULE not in chosen.stdout.split("\n"):
        raise Failure(f"the store does not choose {MODULE}: {chosen.stdout} {chosen.stderr}")


def cache_dir(run):
    return os.path.join(run.env["XDG_CACHE_HOME"], "com.quorvel.Quorvel.Extension", "videos")


def playing_lines(text):
    return [line for line in text.splitlines() if ": playing " in line]


def run_saver(run, label, plays, expect=()):
    """Starts quorvel-saver with no arguments, as the system starts it, and watches the screen
    centre from outside until the clip named by `plays` (a substring of the played address) has
    started twice, so a clip change is inside the watch. Returns the saver's log."""
    watch = run.screen.watch(60)
    started = time.monotonic() * 1000
    saver = run.start(f"quorvel-saver-{label}", [run.saver_path])
    try:
        wait_until(f"the saver to play {plays}", lambda: any(plays in line for line in playing_lines(saver.text()))
                   or not saver.running(), 20, 0.05)
        if not saver.running():
            raise Failure(f"quorvel-saver ended ({saver.proc.returncode}): {saver.text()[-1500:]}")
        wait_until("a picture at the centre of the screen", lambda: watch.lit_after(started), 10, 0.05)
        ui.settle(0.3)
        run.shot(f"saver-{label}")
        wait_until("the clip to play to its end and start again",
                   lambda: len([line for line in playing_lines(saver.text()) if plays in line]) >= 2, 20, 0.05)
        wait_until("the picture after the clip change", lambda: watch.lit_after(time.monotonic() * 1000 - 50), 5)
    finally:
        samples = watch.stop()
        saver.stop()
    log = saver.text()
    for line in expect:
        if line not in log:
            raise Failure(f'the saver log has no "{line}":\n{log[-2000:]}')
    first, longest = blank_spans(samples, started)
    run.measure(f"{label}: saver start to first picture", first, "ms", FIRST_PICTURE_LIMIT_MS)
    run.measure(f"{label}: longest blank once playing", longest, "ms", BLANK_LIMIT_MS)
    if first is None:
        raise Failure(f"{label}: no picture ever reached the screen")
    if first > FIRST_PICTURE_LIMIT_MS:
        raise Failure(f"{label}: the screen stayed blank {first:.0f} ms after the saver started")
    if longest > BLANK_LIMIT_MS:
        raise Failure(f"{label}: the screen went blank for {longest:.0f} ms while playing")
    return log


def check_saver_shows(run, clip, log):
    """The clip that played is the published one, from the feed the saver itself kept, with the
    title and the handle that the caption shows."""
    name = clip.rsplit("/", 1)[1]
    if not any(name in line for line in playing_lines(log)):
        raise Failure(f"the saver never played {name}")
    with open(os.path.join(cache_dir(run), "last-good-feed.json"), "rb") as kept:
        feed = json.loads(kept.read())
    entries = [v for v in feed.get("videos", []) if v.get("url") == clip]
    if not entries or entries[0].get("title") != TITLE or entries[0].get("author") != HANDLE:
        raise Failure(f"the saver's feed does not carry {clip} with its title and handle: {feed}")
    cached = [f for f in os.listdir(cache_dir(run)) if f.endswith(name)]
    if not cached:
        raise Failure(f"the saver did not cache {name}: {os.listdir(cache_dir(run))}")


def saver_failure_runs(run, clip):
    name = clip.rsplit("/", 1)[1]

    run.begin("the feed answers garbage: the saver plays the last good feed")
    kept_feed = os.path.join(cache_dir(run), "last-good-feed.json")
    with open(kept_feed, "rb") as before:
        good = before.read()
    run.relay.set_mode("garbage-feed")
    run_saver(run, "garbage-feed", name, expect=["manifest failed", "using last-good feed (1 videos)"])
    with open(kept_feed, "rb") as after:
        if after.read() != good:
            raise Failure("the garbage feed replaced the last good feed")

    run.begin("the network stalls at saver start: the saver plays from its disk")
    run.relay.set_mode("stall")
    log = run_saver(run, "stalled-network", name)
    if "manifest:" in log:
        raise Failure("the stalled feed answered; the relay did not hold it")
    run.relay.set_mode("pass")

    run.begin("first start with nothing cached and a garbage feed: the sample clip")
    kept = cache_dir(run) + ".kept"
    os.rename(cache_dir(run), kept)
    run.relay.set_mode("garbage-feed")
    try:
        run_saver(run, "sample-clip", "file://" + run.appex + "/", expect=["manifest failed"])
    finally:
        run.relay.set_mode("pass")


# The idle agent --------------------------------------------------------------------------------

# Short enough for a test, long enough that the X server's whole-second timer is not the measure.
IDLE_SECONDS = 3
# From the moment the idle time is reached to the clip on screen: the host starts, reads the store,
# loads the module and plays from its cache.
IDLE_TO_PICTURE_LIMIT_MS = 5000
AGENT_ENTRY = os.path.join("autostart", "com.quorvel.Quorvel.Agent.desktop")


def saver_processes(run):
    """(pid, arguments) of every quorvel-saver of this run's home, read from /proc: the agent and
    the hosts it starts are not the harness's children."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                args = [a.decode(errors="replace") for a in cmdline.read().split(b"\0") if a]
            with open(f"/proc/{entry}/environ", "rb") as environ:
                home = [v for v in environ.read().split(b"\0") if v.startswith(b"HOME=")]
        except OSError:
            continue
        if args and os.path.basename(args[0]) == "quorvel-saver" and home == [f"HOME={run.env['HOME']}".encode()]:
            if process_alive(int(entry)):
                found.append((int(entry), args[1:]))
    return found


def agents(run):
    return [pid for pid, args in saver_processes(run) if args == ["--agent"]]


def full_screen_hosts(run):
    return [pid for pid, args in saver_processes(run) if not args]


def user_input(run, *action):
    subprocess.run(["xdotool", *action], env=run.env, check=True, timeout=10, capture_output=True)


def agent_started_by_enabling(run):
    """"Enable as Screensaver" left a login entry naming this copy's host and an agent running."""
    run.begin("the idle agent runs after enabling")
    entry_path = os.path.join(run.env["XDG_CONFIG_HOME"], AGENT_ENTRY)
    with open(entry_path) as entry:
        exec_lines = [line for line in entry if line.startswith("Exec=")]
    if len(exec_lines) != 1 or "quorvel-saver" not in exec_lines[0] or "--agent" not in exec_lines[0]:
        raise Failure(f"the agent's login entry {entry_path} does not start the agent: {exec_lines}")
    running = wait_until("the idle agent to run", lambda: agents(run), 10, 0.1)
    if len(running) != 1:
        raise Failure(f"{len(running)} idle agents run; one per session is the rule")
    run.extra_pids.extend(running)


def idle_spell_brings_the_saver(run, spell, clip):
    """Nothing is touched for the idle time: the agent starts the host, the clip comes on screen by
    itself with its title; a key ends it and the agent stays."""
    run.begin(f"{spell} idle spell: the clip comes on screen by itself")
    watch = run.screen.watch(IDLE_SECONDS + 30)
    # The spell starts with this last input (a move to where the pointer already is would be none).
    user_input(run, "mousemove", str(600 + 20 * len(run.measures)), "400")
    last_input = time.monotonic() * 1000
    try:
        hosts = wait_until("the agent to start the saver", lambda: full_screen_hosts(run), IDLE_SECONDS + 15, 0.05)
        started = time.monotonic() * 1000
        if started - last_input < IDLE_SECONDS * 1000 - 1000:
            raise Failure(f"the saver started {started - last_input:.0f} ms after the last input, before the idle time")
        wait_until("the clip at the centre of the screen", lambda: watch.lit_after(last_input), 15, 0.05)
    finally:
        samples = watch.stop()
    first, _ = blank_spans(samples, last_input + IDLE_SECONDS * 1000)
    run.measure(f"{spell} idle spell: idle time reached to first picture", first, "ms", IDLE_TO_PICTURE_LIMIT_MS)
    if first is None or first > IDLE_TO_PICTURE_LIMIT_MS:
        raise Failure(f"{spell} idle spell: the clip showed {first} ms after the idle time was reached")
    ui.settle(1.0)  # the title fades in over the clip
    run.shot(f"idle-saver-{spell}")

    run.begin(f"{spell} idle spell: a key ends the saver")
    user_input(run, "key", "space")
    saver_ended_by_input(run, hosts)


def saver_ended_by_input(run, hosts):
    """The saver started for this spell ends, the agent stays, and nothing comes back before the
    next idle time has passed."""
    wait_until("the saver to end", lambda: not any(p in full_screen_hosts(run) for p in hosts), 10, 0.05)
    ended = time.monotonic()
    if not agents(run):
        raise Failure("the idle agent ended with the saver it started")
    while time.monotonic() - ended < IDLE_SECONDS - 1:
        if full_screen_hosts(run):
            raise Failure(f"the saver came back {time.monotonic() - ended:.1f} s after input ended it")
        time.sleep(0.05)


def video_player_holds_the_saver_off(run, clip):
    """A video player that holds off the desktop's screensaver holds this one off too."""
    run.begin("a video player holds the saver off")
    cached = [f for f in os.listdir(cache_dir(run)) if f.endswith(clip.rsplit("/", 1)[1])]
    player = run.start("mpv", ["mpv", "--vo=x11", "--no-audio", "--loop=inf", "--really-quiet",
                               os.path.join(cache_dir(run), cached[0])])
    try:
        user_input(run, "mousemove", "500", "300")
        deadline = time.monotonic() + IDLE_SECONDS * 3
        while time.monotonic() < deadline:
            if not player.running():
                raise Failure(f"mpv ended: {player.text()[-1000:]}")
            if full_screen_hosts(run):
                raise Failure("the saver started while a video player held the screensaver off")
            time.sleep(0.1)
        run.shot("video-player-holds-off")
    finally:
        player.stop()
    run.begin("the player has ended: the saver comes again")
    hosts = wait_until("the agent to start the saver once the player has ended", lambda: full_screen_hosts(run),
                       IDLE_SECONDS + 15, 0.1)
    ui.settle(0.5)
    user_input(run, "key", "space")
    saver_ended_by_input(run, hosts)


def idle_agent_road(run, clip):
    agent_started_by_enabling(run)
    run.begin(f"the idle time set to {IDLE_SECONDS} s reaches the running agent")
    subprocess.run([run.saver_path, "--idle-time", str(IDLE_SECONDS)], env=run.client_env, check=True, timeout=30,
                   capture_output=True)
    shown = subprocess.run([run.saver_path, "--idle-time"], env=run.client_env, capture_output=True, text=True,
                           timeout=30)
    if shown.stdout.strip() != str(IDLE_SECONDS):
        raise Failure(f"quorvel-saver --idle-time prints {shown.stdout!r} after setting {IDLE_SECONDS}")
    for spell in ("first", "second"):
        idle_spell_brings_the_saver(run, spell, clip)
    video_player_holds_the_saver_off(run, clip)


# The roads -------------------------------------------------------------------------------------


def saver_road(run):
    app = launch_app(run, "--open", "create")
    wait_enrolled(run, app)
    job = fill_in_and_generate(run, app)
    check_submission(run, job)
    clip = follow_job(run, job)
    ui.settle()
    run.shot("clip-ready")
    app.assert_no_error_dialog("the job's end")
    publish_through_api(run, clip)
    quit_app(run, app)
    choose_module_in_store(run)

    run.begin("the saver plays the new clip")
    log = run_saver(run, "published-clip", clip.rsplit("/", 1)[1], expect=["manifest: 1 videos"])
    check_saver_shows(run, clip, log)
    saver_failure_runs(run, clip)


def require_name(app, key, timeout=20):
    """The app road's widget APP_ROAD_NAMES[key], or a failure that names the window that should
    have carried it and every name the road needs."""
    place, name = APP_ROAD_NAMES[key]
    try:
        return app.wait_for(name, timeout=timeout)
    except Failure:
        needed = ", ".join(f'"{n}" ({p})' for p, n in APP_ROAD_NAMES.values())
        raise Failure(f'the {place} shows no widget named "{name}"; the app road needs {needed}') from None


def press_required(app, key, timeout=20):
    """Presses the app road's widget APP_ROAD_NAMES[key] once it is there and enabled (a button may
    be disabled for a moment while the app reads its state)."""
    node = require_name(app, key, timeout)
    name = APP_ROAD_NAMES[key][1]
    wait_until(f'"{name}" to be enabled', lambda: ui.has_state(node, ui.ENABLED), timeout, 0.1)
    app.press(node)


def move_to_applications(run, app):
    """The move card comes before everything else; a user takes it, and the app starts again from
    the applications folder."""
    run.begin("move into the applications folder")
    old_pid = app.process_id()
    press_required(app, "move")
    wait_until("the first copy to quit", lambda: not process_alive(old_pid), 30, 0.05)
    moved = ui.App("Quorvel", not_process=old_pid)
    run.extra_pids.append(moved.process_id())
    moved.wait_for("Quorvel", Atspi.Role.FRAME)
    ui.settle()
    run.shot("moved")
    moved.assert_no_error_dialog("the move")
    return moved


def unwritable_store_then_enable(run, app):
    """With the store unwritable, "Enable as Screensaver" says why it failed and leaves the store as
    it was; once it is writable again the same button makes the extension the screensaver."""
    run.begin("enable with the store unwritable")
    agent_store(run)
    store = store_path(run)
    folder = os.path.dirname(store)
    with open(store, "rb") as original:
        before = original.read()
    make_unwritable(folder)
    try:
        press_required(app, "enable")
        expected = [f"Permission denied: {os.path.join(folder, name)}"
                    for name in ("Index.plist", "Index.plist.lock", "Index.plist.backup")]
        wait_until(f"one of {expected} in the app", lambda: any(app.shows_text(t) for t in expected), 30, 0.1)
        ui.settle()
        run.shot("enable-store-unwritable")
        app.assert_no_error_dialog("the failed enable")
    finally:
        make_writable(folder)
    with open(store, "rb") as after:
        if after.read() != before:
            raise Failure("the failed enable changed the store")

    run.begin("enable as screensaver")
    press_required(app, "enable")
    app.wait_text(ALL_SET, timeout=30)  # the kit waits for the wallpaper agent to settle first
    ui.settle()
    run.shot("enabled")
    app.assert_no_error_dialog("enable")


def make_unwritable(folder):
    os.chmod(folder, 0o555)
    if os.geteuid() == 0:  # the superuser writes through permissions; not through the immutable flag
        subprocess.run(["chattr", "+i", folder], check=True)


def make_writable(folder):
    if os.geteuid() == 0:
        subprocess.run(["chattr", "-i", folder], check=True)
    os.chmod(folder, 0o755)


def title_and_publish_in_preview(run, app, clip):
    run.begin("the preview window opens with the clip")
    require_name(app, "title field", timeout=60)
    ui.settle(1.0)  # a frame of the clip on screen for the shot
    run.shot("preview")
    app.assert_no_error_dialog("the preview")

    run.begin("save a title")
    app.type_into(APP_ROAD_NAMES["title field"][1], TITLE)
    press_required(app, "save title")
    wait_until("the title to be saved", lambda: any(e[2] == 200 for e in run.relay.seen("PATCH", "/title")), 30)
    app.wait_text("Title saved")

    run.begin("add to community")
    press_required(app, "publish")
    wait_until("the clip to be published", lambda: any(e[2] == 200 for e in run.relay.seen("PATCH", "/publish")), 30)
    app.wait_text("Added to the community feed")
    app.wait_gone(APP_ROAD_NAMES["publish"][1])
    ui.settle()
    run.shot("published")
    app.assert_no_error_dialog("publishing")
    check_feed_lists(run, clip)


def title_fields(library):
    """The title field of every tile in the library window, in order."""
    return [n for n in ui.walk(library) if ui.name_of(n) == "Title" and ui.is_editable(n)]


def library_tile(app, library):
    """The library's tile of the clip titled TITLE: named so, as a screen reader announces it, and
    holding the title in its title field."""
    for tile in app.find_all(TITLE, within=library):
        if any(app.text_of(field) == TITLE for field in title_fields(tile)):
            return tile
    return None


def open_library(run, app, step, clips=1):
    """"Your Wumbles" from the main window: the window loads the history anew and shows one tile per
    clip (`clips`); the new clip's tile carries its title and reads "Published", with no "Add to
    Community" left on it."""
    asked = len(run.relay.seen("GET", "/history"))
    press_required(app, "library")
    library = app.wait_window(APP_ROAD_NAMES["library"][1])
    wait_until("the app to load the history",
               lambda: any(e[2] == 200 for e in run.relay.seen("GET", "/history")[asked:]), 30, 0.1)

    def published_tile():
        tile = library_tile(app, library)
        listed = len(title_fields(library)) == clips
        return tile if listed and tile is not None and app.find("Published", within=tile) else None

    try:
        tile = wait_until(f'a tile titled "{TITLE}" reading "Published"', published_tile, 20, 0.1)
    except Failure as failure:
        shown = [t for t in app.texts(library) if len(t) < 200]
        raise Failure(f"{failure}; the library shows {shown}") from None
    if app.find(APP_ROAD_NAMES["publish"][1], within=tile):
        raise Failure(f'the tile of "{TITLE}" offers "Add to Community" beside "Published"')
    ui.settle(0.5)
    run.shot(step)
    app.assert_no_error_dialog(step)


def service_stops_mid_generation(run, app, clip):
    run.begin("the service stops mid-generation")
    press_required(app, "create")
    job = fill_in_and_generate(run, app, prompt="A paper boat crossing a puddle at dawn")
    run.service.stop()
    run.begin("the main window says it lost contact")
    for title in (APP_ROAD_NAMES["library"][1], "Wumble Preview"):  # a user closes them to see the main window
        run.close_window(app, title)
    app.wait_text(LOST_CONTACT, timeout=60)  # five failed polls, one every five seconds
    ui.settle()
    run.shot("lost-contact")
    app.assert_no_error_dialog("the lost service")

    run.begin("the service is back: nothing published is lost")
    run.service.start()  # same port and data
    check_feed_lists(run, clip)
    check_history_lists(run, clip)
    resumed_job_clip(run, job)
    open_library(run, app, "library-after-restart", clips=2)


def history_of(run):
    machine, token = machine_token(run)
    status, history = run.service.call("GET", f"/history?user={machine}", token=token)
    if status != 200 or not isinstance(history, dict):
        raise Failure(f"the history answered {status} {history}")
    return history.get("videos", [])


def check_history_lists(run, clip):
    """The service's own history of this machine still holds the clip, titled and published."""
    entries = [v for v in history_of(run) if v.get("url") == clip]
    if not entries or entries[0].get("title") != TITLE or not entries[0].get("approved"):
        raise Failure(f"the history does not list {clip} titled {TITLE!r} and published: {history_of(run)}")


def resumed_job_clip(run, job):
    """The job the outage interrupted is finished by the service once it is back, and its clip
    joins the history: the credit it took is not lost."""
    def done():
        status, reply = run.service.call("GET", f"/jobs/{job}")
        return reply if status == 200 and isinstance(reply, dict) and reply.get("done") is True else None

    reply = wait_until(f"the interrupted job {job} to finish after the restart", done, 30, 0.2)
    if reply.get("ok") is not True or not any(v.get("url") == reply.get("clip") for v in history_of(run)):
        raise Failure(f"the interrupted job ended as {reply}, not as a clip in the history: {history_of(run)}")


def app_road(run):
    app = launch_app(run)
    app = move_to_applications(run, app)
    unwritable_store_then_enable(run, app)

    run.begin("make the first wumble")
    press_required(app, "first wumble")
    app.wait_text("Screensaver active")  # the main screen's status row, behind the create window
    wait_enrolled(run, app)
    job = fill_in_and_generate(run, app)
    check_submission(run, job)
    clip = follow_job(run, job)
    title_and_publish_in_preview(run, app, clip)
    run.begin("the library lists the published clip")
    open_library(run, app, "library")
    service_stops_mid_generation(run, app, clip)
    quit_app(run, app)

    run.begin("the saver plays the new clip")
    log = run_saver(run, "published-clip", clip.rsplit("/", 1)[1], expect=["manifest: 1 videos"])
    check_saver_shows(run, clip, log)
    idle_agent_road(run, clip)
