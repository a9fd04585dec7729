#!/usr/bin/env python3
"""End-to-end runs of Quorvel under a real X display, driven as a user would.

    run.py saver_road|app_road --build BUILD_DIR --probe E2E_PROBE --out OUTPUT_DIR

Each run owns everything it touches: a private Xvfb with a black root, a throwaway HOME and XDG
folders, its own session bus with an unlocked keyring and the accessibility bus, the local service
on a fresh data folder behind a relay (tests/e2e/harness.py), the app and the saver. Screen shots
(PNG) and every program's log land in OUTPUT_DIR, which is printed. Any error dialog fails the run.

saver_road: the create window (opened with --open create) filled in and submitted through the
  widgets' accessible names, the job followed to its clip, the clip published through the service
  API as the app's preview window does, the module chosen in the store, then quorvel-saver with no
  arguments plays that clip; then the saver's failure runs: the feed answering garbage, the network
  stalled at start, and a first start with nothing cached and no feed.
app_road: the whole road through the main window, the preview window and the library, and the app's
  failure runs (the service stopped mid-generation and started again: what was published and the
  interrupted job are still there; the store unwritable before enabling). It needs the windows
  that carry the names listed in roads.APP_ROAD_NAMES and fails loudly, naming the missing one.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def start_xvfb(log):
    """A private X server with a black root on a free display well away from the numbers that
    xvfb-run and people pick; the display is checked by connecting to it, since a competing server
    on the same number could remove the socket that this one made."""
    for _ in range(8):
        number = random.randrange(300, 900)
        if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
            continue
        # -noreset: the check below is a client too, and a server that resets when its last client
        # leaves refuses the next one for a moment.
        xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1280x800x24", "-br", "-nolisten", "tcp",
                                 "-noreset"], stdout=log, stderr=log)
        deadline = time.monotonic() + 15
        while xvfb.poll() is None and time.monotonic() < deadline:
            probe = subprocess.run(["xdpyinfo", "-display", f":{number}"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
            if probe.returncode == 0:
                return xvfb, str(number)
            time.sleep(0.05)
        xvfb.kill()
        xvfb.wait()
    return None, None


def sandbox_env(root, display):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("QUORVEL_", "DBUS_", "XDG_", "QT_", "WAYLAND_", "XAUTHORITY", "DISPLAY"))}
    folders = {"HOME": "home", "XDG_RUNTIME_DIR": "runtime", "XDG_CACHE_HOME": "cache",
               "XDG_CONFIG_HOME": "config", "XDG_DATA_HOME": "data", "TMPDIR": "tmp"}
    for variable, folder in folders.items():
        path = os.path.join(root, folder)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[variable] = path
    env.update({
        "DISPLAY": f":{display}",
        "QT_QPA_PLATFORM": "xcb",
        # Qt speaks to the accessibility bus only when asked; this is what a screen reader asks.
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        "QT_LOGGING_RULES": "com.quorvel.*=true",
        "LANG": "C.UTF-8",
        "LC_ALL": "C.UTF-8",
    })
    return env


def release_immutable(root):
    """A failure run marks the store immutable; nothing in the sandbox may stay so."""
    if shutil.which("chattr"):
        subprocess.run(["chattr", "-R", "-i", root], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for folder, dirs, _ in os.walk(root):
        for name in dirs:
            try:
                os.chmod(os.path.join(folder, name), 0o700)
            except OSError:
                pass


def outer(args):
    out = os.path.abspath(args.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    print(f"e2e: {args.road}: screen shots and logs in {out}", flush=True)
    root = tempfile.mkdtemp(prefix="quorvel-e2e.")
    xvfb_log = open(os.path.join(out, "xvfb.log"), "w")
    xvfb, display = start_xvfb(xvfb_log)
    try:
        if xvfb is None:
            print("e2e: Xvfb did not start", file=sys.stderr)
            return 1
        env = sandbox_env(root, display)
        inner = [sys.executable, os.path.abspath(__file__), args.road, "--build", args.build, "--probe", args.probe,
                 "--out", out, "--inner", root]
        # A session bus of its own: the keyring item and the accessibility registry are this run's alone.
        # Its own process group, so that a run that overstays leaves nothing behind.
        session = subprocess.Popen(["dbus-run-session", "--", *inner], env=env, start_new_session=True)
        try:
            return session.wait(timeout=args.timeout)
        except subprocess.TimeoutExpired:
            os.killpg(session.pid, signal.SIGKILL)
            session.wait()
            print(f"e2e: {args.road} took longer than {args.timeout:g} s", file=sys.stderr)
            return 1
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        xvfb_log.close()
        release_immutable(root)
        shutil.rmtree(root, ignore_errors=True)


def inner(args):
    from harness import Failure
    import roads

    # An unlocked keyring on this bus for the app's service token (an empty password would prompt).
    subprocess.run(["gnome-keyring-daemon", "--unlock", "--components=secrets"], input=b"quorvel-e2e",
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    try:
        run = roads.Run(args.build, args.probe, args.out, args.inner, dict(os.environ))
    except Failure as failure:
        print(f"e2e: {args.road} could not start: {failure}", file=sys.stderr)
        return 1
    try:
        getattr(roads, args.road)(run)
    except Failure as failure:
        run.fail_shot()
        print(f"e2e: {args.road} FAILED at step {run.step!r}: {failure}", file=sys.stderr)
        return 1
    except Exception:  # a fault of the harness or of the machine, not a verdict on the product
        run.fail_shot()
        print(f"e2e: {args.road} broke at step {run.step!r}:", file=sys.stderr)
        traceback.print_exc()
        return 2
    finally:
        run.close()
        run.report()
    print(f"e2e: {args.road} passed", flush=True)
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("road", choices=["saver_road", "app_road"])
    parser.add_argument("--build", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--timeout", type=float, default=300)
    parser.add_argument("--inner", help=argparse.SUPPRESS)
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    return inner(args) if args.inner else outer(args)


if __name__ == "__main__":
    sys.exit(main())
