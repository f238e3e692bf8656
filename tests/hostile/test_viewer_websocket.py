"""The I/O viewer's WebSocket side: foreign pages, toggles that would spin or
sleep for long, pages that never read, and frames no page sends."""

import re
import time

import pytest

from conftest import RSS_GROWTH_LIMIT, WebSocket


def answer_time(page, **message):
    """Seconds until the page receives the fragment that answers the message."""
    started = time.monotonic()
    page.send_json(**message)
    frames = page.texts(quiet=0.3)
    assert any(f'id="{message["name"]}"' in frame for frame in frames)
    return time.monotonic() - started - 0.3


def latest_fragments(page, quiet=1.0):
    """The last fragment that the page received of each signal."""
    return {re.match(r'<div id="([^"]+)"', frame).group(1): frame for frame in page.texts(quiet=quiet)}


@pytest.mark.parametrize("origin, status", [
    (None, 101), ("http://localhost:{port}", 101), ("http://127.0.0.1:{port}", 101), ("https://LOCALHOST", 101),
    ("http://[::1]:{port}", 101),
    ("null", 403), ("", 403), ("http://evil.example", 403), ("http://localhost.evil.example:{port}", 403),
    ("file://", 403), ("chrome-extension://abcdef", 403), ("ws://localhost:{port}", 403),
    ("http://localhost:{port}/page", 403),
])
def test_only_the_pages_own_origin_may_open_a_websocket(viewer, origin, status):
    port = viewer().port
    page = WebSocket(port, origin=None if origin is None else origin.format(port=port))
    assert page.status == status
    if status == 101:
        assert 'id="d0"' in "".join(page.texts())


def test_a_foreign_host_may_not_open_a_websocket(viewer):
    assert WebSocket(viewer().port, host="evil.example").status == 403


@pytest.mark.parametrize("interval", ["0.0005", "1e-30"])
@pytest.mark.parametrize("reading", [True, False], ids=["reading page", "page that never reads"])
def test_sub_millisecond_toggles_keep_memory_bounded(viewer, interval, reading):
    server = viewer(digital=8)
    sleeper = WebSocket(server.port)  # never reads a frame
    page = WebSocket(server.port)
    for index in range(8):
        page.send_json(name=f"d{index}", action="toggle", after="0", interval=interval)
    end = time.monotonic() + 2.0
    while time.monotonic() < end:
        if reading:
            page.receive(0.05)
        else:
            time.sleep(0.05)
    assert server.rss() - server.baseline_rss < RSS_GROWTH_LIMIT
    started = time.monotonic()
    for index in range(8):
        page.send_json(name=f"d{index}", action="stop")
    latest = latest_fragments(page, quiet=0.3)
    assert time.monotonic() - started < 3.0
    assert all(">Toggle<" in latest[f"d{index}"] for index in range(8))
    sleeper.close()


@pytest.mark.parametrize("first, second", [
    ({"action": "toggle", "after": "30"}, {"action": "toggle", "after": "0"}),
    ({"action": "toggle", "after": "30", "interval": "30"}, {"action": "stop"}),
    ({"action": "toggle", "interval": "inf"}, {"action": "stop"}),
    ({"action": "toggle", "after": "1e30", "interval": "1e30"}, {"action": "toggle", "interval": "0"}),
], ids=["toggle after a delayed one", "stop during a long first wait", "stop during an endless period",
        "toggle during an endless wait"])
def test_long_waits_never_hold_the_server(viewer, first, second):
    server = viewer(digital=2)
    page = WebSocket(server.port)
    page.texts()
    page.send_json(name="d0", **first)
    page.texts(quiet=0.3)
    assert answer_time(page, name="d0", **second) < 2.0
    assert answer_time(page, name="d1", action="set-value", value="1") < 2.0


def test_ending_with_waiting_toggles_is_prompt(viewer):
    server = viewer(digital=3)
    page = WebSocket(server.port)
    page.send_json(name="d0", action="toggle", after="30")
    page.send_json(name="d1", action="toggle", after="30", interval="30")
    page.send_json(name="d2", action="toggle", interval="inf")
    page.send_json(name="d1", action="stop")
    page.texts(quiet=0.3)
    page.close()
    started = time.monotonic()
    assert server.stop() == 0
    assert time.monotonic() - started < 3.0


def test_a_new_page_gets_every_signal_of_a_large_table(viewer):
    server = viewer(digital=400, analog=20)
    page = WebSocket(server.port)
    assert len(latest_fragments(page, quiet=0.5)) == 420


def test_slow_pages_end_with_the_latest_value_of_every_signal(viewer):
    server = viewer(digital=50, analog=0)
    writer = WebSocket(server.port)
    slow = WebSocket(server.port)
    # More than the kernel buffers between the server and the pages hold; only the last value is 0.
    for value in [*range(1, 300), 0]:
        for index in range(50):
            writer.send_json(name=f"d{index}", action="set-value", value=str(value))
    final = 'class="active" type="submit" name="action" value="set-value">0<'
    for page in (writer, slow):
        latest = latest_fragments(page)
        assert len(latest) == 50
        assert all(final in frame for frame in latest.values())
    assert answer_time(slow, name="d0", action="set-value", value="1") < 2.0


FRAMES = {
    "a text message of 1 MiB": (lambda page: page.send("x" * (1 << 20)), True),
    "a length of 2^62 announced": (lambda page: page.send(b"", length=1 << 62), True),
    "an unmasked frame": (lambda page: page.send(b'{"name":"d0"}', masked=False), True),
    "fragments that never end": (lambda page: [page.send("x" * 8192, fin=False, opcode=0 if i else 1)
                                               for i in range(4)], True),
    "text that is not UTF-8": (lambda page: page.send(b"\xff\xfe\xfd"), True),
    "an unknown opcode": (lambda page: page.send(b"x", opcode=3), True),
    "binary JSON nested 8000 deep": (lambda page: page.send(b"[" * 8000 + b"]" * 8000, opcode=2), False),
    "a thousand pings": (lambda page: [page.send(b"p", opcode=9) for _ in range(1000)], False),
    "messages with odd members": (lambda page: [page.send(text) for text in (
        '{"name":"d0","action":"set-value","value":"99999999999999"}', '{"name":"a0","action":"set-value",'
        '"value":"nan"}', '{"name":"d0","action":"toggle","after":"-inf","interval":"nan"}',
        '{"name":"","action":"stop"}', '{"name":{"a":1}}', '{"name":"d0","name":"a0","action":"toggle"}')], False),
}


@pytest.mark.parametrize("attack", FRAMES, ids=list(FRAMES))
def test_frames_no_page_sends_leave_the_viewer_serving(viewer, attack):
    send, closes = FRAMES[attack]
    server = viewer()
    page = WebSocket(server.port)
    page.texts()
    try:
        send(page)
    except (BrokenPipeError, ConnectionResetError):
        assert closes
    if closes:
        assert page.closed_by_server()
    else:
        page.texts(quiet=0.3)
    fresh = WebSocket(server.port)
    assert len(fresh.texts()) == 2
    assert answer_time(fresh, name="d0", action="set-value", value="1") < 2.0
