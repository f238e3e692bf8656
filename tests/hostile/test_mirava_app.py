"""velmor-mirava: foreign host names and pages, oversized messages, driver text meant for the
terminal, and exhausted file descriptors."""

import os
import signal
import time

import pytest

from conftest import WebSocket, cpu_while_descriptors_run_out, http_exchange


@pytest.fixture
def mirava(serve):
    """Starts velmor-mirava on a free loopback port, optionally with few file descriptors."""
    program = os.environ.get("VELMOR_MIRAVA_PROGRAM")
    if not program:
        pytest.skip("VELMOR_MIRAVA_PROGRAM names no velmor-mirava program")
    return lambda open_files=None: serve([program, "--address", "127.0.0.1:0"], r"at http://127\.0\.0\.1:(\d+)/",
                                         open_files=open_files, stop_signal=signal.SIGTERM)


@pytest.mark.parametrize("target, host, status", [
    ("/robot.json", "localhost:{port}", 200), ("/robot.json", "[::1]:{port}", 200),
    # A foreign site that points its own name at this machine (DNS rebinding) carries that name.
    ("/robot.json", "evil.example:{port}", 403), ("/", "evil.example", 403), ("/replay.json", "127.0.0.1.nip.io", 403),
])
def test_only_loopback_names_are_served_on_loopback(mirava, target, host, status):
    port = mirava().port
    request = f"GET {target} HTTP/1.1\r\nHost: {host.format(port=port)}\r\nConnection: close\r\n\r\n"
    assert http_exchange(port, request.encode())[0] == status


@pytest.mark.parametrize("path", ["/driver", "/page"])
@pytest.mark.parametrize("origin, status", [
    (None, 101), ("http://127.0.0.1:{port}", 101), ("http://localhost:{port}", 101),
    ("null", 403), ("http://evil.example", 403), ("https://127.0.0.1.evil.example", 403), ("file://", 403),
])
def test_only_the_pages_own_origin_may_connect(mirava, path, origin, status):
    port = mirava().port
    assert WebSocket(port, path, None if origin is None else origin.format(port=port)).status == status


@pytest.mark.parametrize("path, size, count", [("/page", 1 << 16, 1), ("/page", 16 << 20, 6), ("/driver", 2 << 20, 1)])
def test_oversized_messages_end_the_connection_and_leave_no_memory_behind(mirava, path, size, count):
    server = mirava()
    clients = [WebSocket(server.port, path) for _ in range(count)]
    for client in clients:
        try:
            client.send("x" * size)
        except (BrokenPipeError, ConnectionResetError):
            pass
        assert client.closed_by_server()
    assert WebSocket(server.port, "/page").receive() is not None


def test_refused_driver_text_reaches_the_log_escaped(mirava):
    server = mirava()
    driver = WebSocket(server.port, "/driver")
    driver.send("\x1b[2J\x1b[31mred\r\n[velmor.mirava] A driver connected.\x07\\")
    deadline = time.monotonic() + 5
    while "Refused a driver's message" not in server.stderr() and time.monotonic() < deadline:
        time.sleep(0.05)
    log = server.stderr()
    assert "): \\x1b[2J\\x1b[31mred\\x0d\\x0a[velmor.mirava] A driver connected.\\x07\\x5c" in log
    assert not any(byte in log for byte in "\x1b\r\x07")
    assert log.splitlines().count("[velmor.mirava] A driver connected.") == 1


def test_accepting_backs_off_while_file_descriptors_are_exhausted(mirava):
    server = mirava(open_files=48)
    assert cpu_while_descriptors_run_out(server) < 0.5, "the accept loop spins"
