#!/usr/bin/env python3
"""The end-to-end harness's own judgements: a measure that misreads the samples or a relay that
does not break the network as told would let a blank screen or a missing fallback pass."""
import http.client
import http.server
import json
import os
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import BLANK_LUMA, Failure, Relay, blank_spans, shows_exactly, wait_until  # noqa: E402

LIT, DARK = BLANK_LUMA + 40, 0


class BlankSpansTest(unittest.TestCase):
    CASES = [
        # name, samples as (ms, luma), since, expected (first picture, longest blank)
        ("never lit", [(100, DARK), (200, DARK)], 100, (None, 0)),
        ("lit at once", [(100, LIT), (200, LIT)], 100, (0, 0)),
        ("black before the first picture is start-up, not a gap", [(100, DARK), (900, DARK), (1000, LIT)], 100,
         (900, 0)),
        ("a gap between pictures", [(0, LIT), (100, DARK), (180, DARK), (300, LIT)], 0, (0, 200)),
        ("the longest of several gaps", [(0, LIT), (10, DARK), (20, LIT), (30, DARK), (530, LIT)], 0, (0, 500)),
        ("a blank that lasts to the end counts", [(0, LIT), (100, DARK), (700, DARK)], 0, (0, 600)),
        ("samples before the start are ignored", [(0, LIT), (50, DARK), (100, DARK), (160, LIT)], 100, (60, 0)),
        ("the threshold itself is blank", [(0, BLANK_LUMA), (10, BLANK_LUMA + 1)], 0, (10, 0)),
    ]

    def test_cases(self):
        for name, samples, since, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(blank_spans(samples, since), expected)


class Upstream:
    """A stand-in service: /feed answers a manifest, /clip answers bytes with a range header."""

    def __init__(self):
        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def do_GET(self):
                if self.path.startswith("/feed"):
                    body, kind, status = json.dumps({"videos": []}).encode(), "application/json", 200
                else:
                    body, kind, status = b"0123456789", "video/mp4", 206
                self.send_response(status)
                self.send_header("Content-Type", kind)
                if status == 206:
                    self.send_header("Content-Range", "bytes 0-9/100")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.port = self.server.server_address[1]

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


class RelayTest(unittest.TestCase):
    def setUp(self):
        self.upstream = Upstream()
        self.relay = Relay()
        self.relay.upstream = self.upstream.port

    def tearDown(self):
        self.relay.stop()
        self.upstream.stop()

    def get(self, path, timeout=5):
        connection = http.client.HTTPConnection("127.0.0.1", self.relay.port, timeout=timeout)
        try:
            connection.request("GET", path)
            reply = connection.getresponse()
            return reply.status, dict(reply.getheaders()), reply.read()
        finally:
            connection.close()

    def test_passes_answers_and_range_headers_through_and_records_them(self):
        status, headers, body = self.get("/feed?t=1")
        self.assertEqual((status, json.loads(body)), (200, {"videos": []}))
        status, headers, body = self.get("/cdn/clips/a.mp4")
        self.assertEqual((status, headers.get("Content-Range"), body), (206, "bytes 0-9/100", b"0123456789"))
        self.assertEqual([e[:3] for e in self.relay.seen("GET", "/feed")], [("GET", "/feed?t=1", 200)])
        self.assertEqual(self.relay.seen("GET", "/feed")[0][3], {"videos": []})

    def test_garbage_feed_breaks_only_the_feed(self):
        self.relay.set_mode("garbage-feed")
        status, _, body = self.get("/feed?t=1")
        self.assertEqual(status, 200)
        with self.assertRaises(ValueError):
            json.loads(body)
        self.assertEqual(self.get("/cdn/clips/a.mp4")[0], 206)

    def test_stall_holds_every_answer_until_released(self):
        self.relay.set_mode("stall")
        with self.assertRaises(TimeoutError):
            self.get("/feed?t=1", timeout=0.5)
        answered = []
        waiter = threading.Thread(target=lambda: answered.append(self.get("/feed?t=2")[0]))
        waiter.start()
        time.sleep(0.2)
        self.assertEqual(answered, [])
        self.relay.set_mode("pass")
        waiter.join(5)
        self.assertEqual(answered, [200])

    def test_a_stopped_service_closes_the_connection_unanswered(self):
        self.upstream.stop()
        with self.assertRaises((http.client.RemoteDisconnected, ConnectionError)):
            self.get("/jobs/1")
        self.assertEqual([e[2] for e in self.relay.seen("GET", "/jobs/1")], [None])


class ShowsExactlyTest(unittest.TestCase):
    TEXT = "Lost contact with Quorvel. Please try again."
    CASES = [
        # name, shown, wanted, expected
        ("the text alone", TEXT, TEXT, True),
        ("after an icon glyph", "\u26a0 " + TEXT, TEXT, True),
        ("after words", "Not " + TEXT, TEXT, False),
        ("other punctuation", TEXT[:-1] + "!", TEXT, False),
        ("cut short", TEXT[:-1], TEXT, False),
        ("an em dash is not a hyphen", "All set \u2014 go", "All set - go", False),
    ]

    def test_cases(self):
        for name, shown, wanted, expected in self.CASES:
            with self.subTest(name):
                self.assertEqual(shows_exactly(shown, wanted), expected)


class WaitUntilTest(unittest.TestCase):
    def test_returns_the_first_truthy_value_and_names_what_timed_out(self):
        values = iter([None, 0, "ready"])
        self.assertEqual(wait_until("x", lambda: next(values), 5, 0), "ready")
        with self.assertRaisesRegex(Failure, "the moon"):
            wait_until("the moon", lambda: False, 0.05, 0.01)


if __name__ == "__main__":
    unittest.main()
