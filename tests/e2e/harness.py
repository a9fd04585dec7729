"""The pieces of an end-to-end run: the local service, a relay in front of it that can break the
network on purpose, the screen (shots and centre samples through e2e_probe), and the programs
under test. Every wait polls a real event with a deadline; nothing sleeps for a fixed time."""
import http.client
import http.server
import json
import os
import select
import sqlite3
import subprocess
import sys
import threading
import time
import urllib.request


class Failure(AssertionError):
    """A step did not reach what a user would see; the message says what was missing."""


def end_process(proc):
    """Asks a child to end, and kills it when it has not within 5 s."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def wait_until(what, predicate, timeout, interval=0.05):
    """Polls `predicate` until it returns something truthy; raises Failure naming `what` on timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Failure(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(interval)


def shows_exactly(shown, text):
    """`shown` is `text`, or `text` after an icon glyph ("⚠ Lost contact…"): the words must match to
    the character, the glyph has no letters or digits."""
    if not shown.endswith(text):
        return False
    prefix = shown[: len(shown) - len(text)]
    return not any(c.isalnum() for c in prefix)


class Service:
    """quorvel-service on a fresh data folder and a free loopback port."""

    def __init__(self, binary, data, public_url, env, extra=()):
        self.binary, self.data, self.public_url, self.env = binary, data, public_url, env
        self.extra = list(extra)
        self.proc = None
        self.port = None

    def start(self):
        args = [self.binary, "--data", self.data, "--port", str(self.port or 0), "--public-url", self.public_url,
                *self.extra]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=self.env, text=True)
        ready, _, _ = select.select([self.proc.stdout], [], [], 20)
        line = self.proc.stdout.readline().strip() if ready else ""
        if not line.isdigit():
            self.stop()
            raise Failure(f"quorvel-service did not start: {self.proc.stderr.read()[-2000:]}")
        self.port = int(line)
        for stream in (self.proc.stdout, self.proc.stderr):  # never let a pipe fill up
            threading.Thread(target=stream.read, daemon=True).start()

    @property
    def base(self):
        return f"http://127.0.0.1:{self.port}"

    def stop(self):
        if self.proc:
            end_process(self.proc)

    def enrolled_machines(self):
        """The machine identifiers that enrolled, read from the service's own database."""
        db = sqlite3.connect(f"file:{os.path.join(self.data, 'quorvel.sqlite')}?mode=ro", uri=True, timeout=5)
        try:
            return [row[0] for row in db.execute("SELECT machine FROM accounts")]
        finally:
            db.close()

    def call(self, method, path, body=None, token=None):
        """One JSON request as the app makes it; returns (status, decoded reply or None)."""
        request = urllib.request.Request(self.base + path, method=method,
                                         data=json.dumps(body).encode() if body is not None else None)
        request.add_header("Content-Type", "application/json")
        request.add_header("X-Quorvel-Build", "1")
        if token:
            request.add_header("Authorization", "Bearer " + token)
        try:
            with urllib.request.urlopen(request, timeout=30) as reply:
                status, raw = reply.status, reply.read()
        except urllib.error.HTTPError as error:
            status, raw = error.code, error.read()
        try:
            return status, json.loads(raw)
        except ValueError:
            return status, None


class Relay:
    """A loopback relay the programs under test talk to instead of the service. It records every
    exchange and can break the network the ways a user meets it: answers withheld until released
    ("stall"), a feed of garbage ("garbage-feed"), or the service itself gone (its connections are
    then closed unanswered, as a refused connection looks to a client)."""

    GARBAGE = b"\x00\xff{\"videos\": [ {\"url\": 12, \"title\": \x80\x81 }}} not json"

    def __init__(self):
        self.upstream = None
        self.mode = "pass"
        self.released = threading.Event()
        self.lock = threading.Lock()
        self.exchanges = []  # (method, path, status, reply body when JSON)
        relay = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def relay(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else None
                if relay.mode == "stall":
                    relay.released.wait(120)
                if relay.mode == "garbage-feed" and self.path.startswith("/feed"):
                    return self.answer(200, {"Content-Type": "application/json"}, relay.GARBAGE)
                headers = {k: v for k, v in self.headers.items()
                           if k.lower() not in ("host", "connection", "content-length", "accept-encoding")}
                try:
                    upstream = http.client.HTTPConnection("127.0.0.1", relay.upstream, timeout=60)
                    upstream.request(self.command, self.path, body=body, headers=headers)
                    reply = upstream.getresponse()
                    data = reply.read()
                    passed = {k: v for k, v in reply.getheaders()
                              if k.lower() in ("content-type", "content-range", "accept-ranges", "retry-after")}
                    upstream.close()
                except OSError:
                    relay.record(self.command, self.path, None, None)
                    self.close_connection = True
                    return
                relay.record(self.command, self.path, reply.status, data)
                self.answer(reply.status, passed, data)

            def answer(self, status, headers, data):
                try:
                    self.send_response(status)
                    for key, value in headers.items():
                        self.send_header(key, value)
                    self.send_header("Content-Length", str(len(data)))
                    self.end_headers()
                    if self.command != "HEAD":
                        self.wfile.write(data)
                except OSError:  # the client gave up (a stalled feed times out), as clients do
                    self.close_connection = True

            do_GET = do_POST = do_PATCH = do_HEAD = do_PUT = do_DELETE = relay

        class Server(http.server.ThreadingHTTPServer):
            def handle_error(self, request, client_address):
                # A client that hangs up on its connection (the app quitting, a stalled feed given
                # up) is what the relay exists to meet; anything else is printed.
                if not isinstance(sys.exc_info()[1], ConnectionError):
                    super().handle_error(request, client_address)

        self.server = Server(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    @property
    def base(self):
        return f"http://127.0.0.1:{self.port}"

    def record(self, method, path, status, data):
        decoded = None
        if data is not None and len(data) < 65536:
            try:
                decoded = json.loads(data)
            except ValueError:
                pass
        with self.lock:
            self.exchanges.append((method, path, status, decoded))

    def seen(self, method, prefix):
        with self.lock:
            return [e for e in self.exchanges if e[0] == method and e[1].startswith(prefix)]

    def set_mode(self, mode):
        if mode == "stall":
            self.released.clear()
        self.mode = mode
        if mode != "stall":
            self.released.set()

    def stop(self):
        self.released.set()
        self.server.shutdown()
        self.server.server_close()


class Screen:
    """The X display seen from outside every program: PNG shots and samples of its centre."""

    def __init__(self, probe, out, env):
        self.probe, self.out, self.env = probe, out, env
        self.count = 0

    def shot(self, name):
        self.count += 1
        path = os.path.join(self.out, f"{self.count:02d}-{name}.png")
        subprocess.run([self.probe, "shot", path], env=self.env, check=True, timeout=30)
        return path

    def watch(self, seconds):
        """Starts sampling the centre; returns a Watch to read once the run is over."""
        return Watch(subprocess.Popen([self.probe, "watch", str(seconds)], env=self.env, stdout=subprocess.PIPE,
                                      text=True))


BLANK_LUMA = 8  # the display's root is black; a clip or the sample clip is brighter than this


class Watch:
    """The centre of the screen sampled every few milliseconds by e2e_probe, read as it comes."""

    def __init__(self, proc):
        self.proc = proc
        self.rows = []
        self.lock = threading.Lock()
        if proc.stdout.readline().strip() != "ready":
            raise Failure("the screen sampler did not start")
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            at, luma = line.split()
            with self.lock:
                self.rows.append((float(at), int(luma)))

    def lit_after(self, since_ms):
        """Whether a picture showed at the centre at or after `since_ms` (monotonic ms)."""
        with self.lock:
            return any(at >= since_ms and luma > BLANK_LUMA for at, luma in self.rows)

    def stop(self):
        """Ends the sampling; returns every (monotonic ms, luma) row."""
        self.proc.terminate()
        self.proc.wait()
        self.reader.join(5)
        with self.lock:
            return list(self.rows)


def blank_spans(samples, since_ms):
    """From sampled (monotonic ms, luma) rows: ms from `since_ms` to the first picture (None when
    none appeared), and the longest blank stretch after that first picture (ms)."""
    first = None
    longest = 0.0
    blank_from = None
    for at, luma in samples:
        if at < since_ms:
            continue
        lit = luma > BLANK_LUMA
        if first is None:
            if lit:
                first = at
            continue
        if not lit and blank_from is None:
            blank_from = at
        elif lit and blank_from is not None:
            longest = max(longest, at - blank_from)
            blank_from = None
    if blank_from is not None and samples:
        longest = max(longest, samples[-1][0] - blank_from)
    return (None if first is None else first - since_ms), longest


class Program:
    """A program under test with its output in the run's folder."""

    def __init__(self, name, args, env, out):
        self.name = name
        self.log_path = os.path.join(out, f"{name}.log")
        self.log = open(self.log_path, "w")
        self.started_ms = time.monotonic() * 1000
        self.proc = subprocess.Popen(args, env=env, stdout=self.log, stderr=subprocess.STDOUT)

    def text(self):
        with open(self.log_path, errors="replace") as log:
            return log.read()

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        end_process(self.proc)
        self.log.close()
