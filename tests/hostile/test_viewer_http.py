"""The I/O viewer's HTTP side: foreign host names, old and odd requests,
malformed input and exhausted file descriptors."""

import os
import random
import socket
import subprocess
import time

import pytest

from conftest import cpu_while_descriptors_run_out, http_exchange


def get(port, host, target="/"):
    return http_exchange(port, f"GET {target} HTTP/1.1\r\nHost: {host}\r\nConnection: close\r\n\r\n".encode())


@pytest.mark.parametrize("host, status", [
    ("localhost", 200), ("LocalHost:8679", 200), ("localhost.", 200), ("127.0.0.1", 200), ("127.4.5.6:1", 200),
    ("[::1]:8679", 200),
    # A foreign site that points its own name at this machine (DNS rebinding) carries that name.
    ("evil.example", 403), ("evil.example:8679", 403), ("localhost.evil.example", 403),
    ("127.0.0.1.nip.io", 403), ("192.168.1.20", 403), ("[::1", 403), ("localhost:http", 403), ("", 403),
])
def test_only_loopback_names_are_served_on_loopback(viewer, host, status):
    assert get(viewer().port, host)[0] == status


@pytest.mark.parametrize("host, status", [
    ("cell-7.robots.example", 200), ("127.0.0.1", 200), (socket.gethostname(), 200), ("evil.example", 403),
])
def test_opened_to_the_network_the_machine_and_listed_names_are_served(viewer, host, status):
    server = viewer(environment={"VELMOR_IO_VIEWER_ADDRESS": "0.0.0.0",
                                 "VELMOR_IO_VIEWER_HOSTS": " cell-7.robots.example , other.example"})
    assert get(server.port, host)[0] == status


def test_an_address_setting_that_is_no_address_is_reported(viewer_program):
    completed = subprocess.run([viewer_program], capture_output=True, timeout=10,
                               env=dict(os.environ, VELMOR_IO_VIEWER_ADDRESS="every-interface"))
    assert completed.returncode == 1
    assert b"VELMOR_IO_VIEWER_ADDRESS='every-interface' is not an IP address" in completed.stderr


@pytest.mark.parametrize("request_text, chunked, has_body", [
    ("GET / HTTP/1.0\r\n\r\n", False, True),
    ("GET / HTTP/1.0\r\nHost: localhost\r\n\r\n", False, True),
    ("GET /?tab=io&x=%00 HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", True, True),
    ("HEAD / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", True, False),
    ("HEAD /?q HTTP/1.0\r\n\r\n", False, False),
])
def test_page_is_served_to_old_clients_queries_and_head(viewer, request_text, chunked, has_body):
    port = viewer().port
    plain_page = http_exchange(port, b"GET / HTTP/1.0\r\n\r\n")[2]
    status, headers, body = http_exchange(port, request_text.encode())
    assert status == 200
    assert (headers.get("transfer-encoding") == "chunked") == chunked
    if not chunked:
        assert int(headers["content-length"]) == len(plain_page)
    assert (b"I/O Signal Viewer" in body) == has_body
    assert has_body or body == b""


MALFORMED = {
    "binary garbage": (random.Random(14).randbytes(8192), None),
    "a header of 1 MiB": (b"GET / HTTP/1.1\r\nHost: localhost\r\nX-Long: " + b"a" * (1 << 20) + b"\r\n\r\n", None),
    "a body announced as 1 GB": (b"POST / HTTP/1.1\r\nHost: localhost\r\nContent-Length: 1000000000\r\n\r\n"
                                 + b"x" * 65536, None),
    "a broken chunk size": (b"POST / HTTP/1.1\r\nHost: localhost\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", None),
    "two Host headers": (b"GET / HTTP/1.1\r\nHost: localhost\r\nHost: evil.example\r\n\r\n", 400),
    "no Host in HTTP/1.1": (b"GET / HTTP/1.1\r\n\r\n", 400),
    "a NUL byte in the target": (b"GET /\x00 HTTP/1.1\r\nHost: localhost\r\n\r\n", None),
    "an upgrade to another protocol": (b"GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: h2c\r\n"
                                       b"Connection: Upgrade\r\n\r\n", 200),
    "2000 pipelined requests": (b"HEAD / HTTP/1.1\r\nHost: localhost\r\n\r\n" * 1999
                                + b"HEAD / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n", 200),
}


@pytest.mark.parametrize("attack", MALFORMED, ids=list(MALFORMED))
def test_malformed_requests_leave_the_viewer_serving(viewer, attack):
    request, status = MALFORMED[attack]
    server = viewer()
    answered = http_exchange(server.port, request, deadline=3.0)[0]
    if status is not None:
        assert answered == status
    assert get(server.port, "localhost")[0] == 200


def test_accepting_backs_off_while_file_descriptors_are_exhausted(viewer):
    server = viewer(open_files=48)
    assert cpu_while_descriptors_run_out(server) < 0.5, "the accept loop spins"
    deadline = time.monotonic() + 5
    while get(server.port, "localhost")[0] != 200 and time.monotonic() < deadline:
        time.sleep(0.1)
