"""Shared fixtures of the hostile-input suite.

Every attack runs against a server in a child process, or in a child process
of its own, under a memory cap and a deadline. After each test every server
that it started must still run, answer a plain request and have kept its
resident memory within a bound of what it used when it began to listen.
"""

import base64
import json
import os
import re
import resource
import socket
import struct
import subprocess
import sys
import time

import pytest

MEMORY_CAP = 1 << 30  # address space of a child process [bytes]
RSS_GROWTH_LIMIT = 64 << 20  # what an attack may add to a server's resident memory [bytes]
DEADLINE = 10.0  # longest wait for one answer or for a child to start or end [s]
CHILD_DEADLINE = 60.0  # longest run of a child process that is an attack itself [s]


def capped(memory=MEMORY_CAP, open_files=None):
    """A preexec function that caps the child's address space and, if given, its file descriptors."""

    def apply():
        resource.setrlimit(resource.RLIMIT_AS, (memory, memory))
        if open_files is not None:
            resource.setrlimit(resource.RLIMIT_NOFILE, (open_files, open_files))

    return apply


def child_environment(extra=None):
    """The environment of a child: glibc keeps few malloc arenas, so that its
    address space stays near its use and the memory cap bites where it should."""
    environment = dict(os.environ, MALLOC_ARENA_MAX="2")
    environment.update(extra or {})
    return environment


def run_python(code, *args, deadline=CHILD_DEADLINE):
    """Runs Python code in a capped child and returns the JSON object that it prints last."""
    completed = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, timeout=deadline,
                               preexec_fn=capped(), env=child_environment())
    assert completed.returncode == 0, completed.stderr.decode(errors="replace")
    return json.loads(completed.stdout.decode().splitlines()[-1])


class Server:
    """A server in a capped child process that prints its port once it listens."""

    def __init__(self, argv, port_pattern, folder, environment=None, open_files=None, stop_signal=None):
        self.stop_signal = stop_signal
        self.stdout_path = folder / f"server-{id(self)}.out"
        self.stderr_path = folder / f"server-{id(self)}.err"
        # Files rather than pipes: a server that logs a lot never blocks on a full pipe.
        with open(self.stdout_path, "wb") as stdout, open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=stdout, stderr=stderr,
                                            preexec_fn=capped(open_files=open_files),
                                            env=child_environment(environment))
        self.port = self._wait_for_port(re.compile(port_pattern))
        self.baseline_rss = self.rss()

    def _wait_for_port(self, pattern):
        deadline = time.monotonic() + DEADLINE
        while time.monotonic() < deadline:
            found = pattern.search(self.stdout())
            if found:
                return int(found.group(1))
            if self.process.poll() is not None:
                break
            time.sleep(0.02)
        self.process.kill()
        raise AssertionError(f"the server did not listen (exit code {self.process.wait()}): "
                             f"{self.stdout()} {self.stderr()}")

    def stdout(self):
        return self.stdout_path.read_text(errors="replace")

    def stderr(self):
        return self.stderr_path.read_text(errors="replace")

    def rss(self):
        """Resident memory [bytes]."""
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) * 1024
        raise AssertionError("no VmRSS")

    def cpu_seconds(self):
        """Processor time used so far [s]."""
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def check(self):
        """The server still runs, answers a plain request and kept its memory bounded."""
        assert self.process.poll() is None, f"the server ended: {self.stderr()}"
        status, _, _ = http_exchange(self.port, b"GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n")
        assert status is not None and status < 500, "the server no longer answers"
        growth = self.rss() - self.baseline_rss
        assert growth <= RSS_GROWTH_LIMIT, f"resident memory grew by {growth >> 20} MiB"

    def stop(self):
        """Sends the stop signal, or closes the server's standard input without one,
        and waits for it to end; returns its exit code."""
        if self.process.poll() is None:
            if self.stop_signal is None:
                self.process.stdin.close()
            else:
                self.process.send_signal(self.stop_signal)
            try:
                self.process.wait(timeout=DEADLINE)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
                raise AssertionError("the server did not end within the deadline") from None
        return self.process.returncode


@pytest.fixture
def serve(tmp_path):
    """Starts servers (argv, port pattern, environment, open-file limit, stop signal);
    checks and stops them after the test."""
    servers = []

    def start(argv, port_pattern, environment=None, open_files=None, stop_signal=None):
        servers.append(Server(argv, port_pattern, tmp_path, environment, open_files, stop_signal))
        return servers[-1]

    yield start
    try:
        for server in servers:
            if server.process.returncode is None:
                server.check()
    finally:
        for server in servers:
            server.stop()


@pytest.fixture
def viewer_program():
    """The path of the I/O viewer fixture program."""
    program = os.environ.get("VELMOR_VIEWER_FIXTURE")
    if not program:
        pytest.skip("VELMOR_VIEWER_FIXTURE names no viewer fixture program")
    return program


@pytest.fixture
def viewer(serve, viewer_program):
    """Starts the I/O viewer fixture program with digital signals d0... and analog ones a0...."""
    program = viewer_program

    def start(digital=1, analog=1, environment=None, open_files=None):
        return serve([program, "--digital", str(digital), "--analog", str(analog)], r"(?m)^port (\d+)$",
                     environment, open_files)

    return start


def http_exchange(port, request, deadline=DEADLINE):
    """Sends raw bytes and reads until the server closes or the deadline passes.
    Returns the first response's status (None when there is none), its headers and the rest."""
    received = bytearray()
    with socket.create_connection(("127.0.0.1", port), timeout=deadline) as connection:
        try:
            connection.sendall(request)
        except (BrokenPipeError, ConnectionResetError):
            pass
        end = time.monotonic() + deadline
        while time.monotonic() < end:
            try:
                chunk = connection.recv(1 << 16)
            except (socket.timeout, ConnectionResetError):
                break
            if not chunk:
                break
            received += chunk
    head, _, body = bytes(received).partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    found = re.match(r"HTTP/1\.[01] (\d{3})", lines[0])
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return (int(found.group(1)) if found else None), headers, body


def cpu_while_descriptors_run_out(server, connections=80, seconds=2.0):
    """Processor time [s] that a server started with few file descriptors uses over
    `seconds` while `connections` idle connections wait to be accepted."""
    held = []
    try:
        for _ in range(connections):
            held.append(socket.create_connection(("127.0.0.1", server.port), timeout=DEADLINE))
        time.sleep(0.5)
        used = server.cpu_seconds()
        time.sleep(seconds)
        return server.cpu_seconds() - used
    finally:
        for connection in held:
            connection.close()


class WebSocket:
    """A WebSocket client with full control over what it sends and when it reads."""

    def __init__(self, port, path="/", origin=None, host="localhost"):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=DEADLINE)
        self.socket.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        key = base64.b64encode(os.urandom(16)).decode()
        lines = [f"GET {path} HTTP/1.1", f"Host: {host}", "Upgrade: websocket", "Connection: Upgrade",
                 f"Sec-WebSocket-Key: {key}", "Sec-WebSocket-Version: 13"]
        if origin is not None:
            lines.append(f"Origin: {origin}")
        self.socket.sendall(("\r\n".join(lines) + "\r\n\r\n").encode())
        self.buffer = bytearray()
        while b"\r\n\r\n" not in self.buffer:
            chunk = self.socket.recv(1 << 16)
            if not chunk:
                break
            self.buffer += chunk
        head, _, rest = bytes(self.buffer).partition(b"\r\n\r\n")
        self.buffer = bytearray(rest)
        found = re.match(rb"HTTP/1\.1 (\d{3})", head)
        self.status = int(found.group(1)) if found else None

    def send(self, payload, opcode=1, fin=True, masked=True, length=None):
        """Sends one frame; `length` announces another length than the payload's."""
        if isinstance(payload, str):
            payload = payload.encode()
        length = len(payload) if length is None else length
        header = bytes([(0x80 if fin else 0) | opcode])
        mask_bit = 0x80 if masked else 0
        if length < 126:
            header += bytes([mask_bit | length])
        elif length < 1 << 16:
            header += bytes([mask_bit | 126]) + struct.pack("!H", length)
        else:
            header += bytes([mask_bit | 127]) + struct.pack("!Q", length)
        if masked:
            mask = os.urandom(4)
            header += mask
            key = (mask * (len(payload) // 4 + 1))[:len(payload)]
            payload = (int.from_bytes(payload, "big") ^ int.from_bytes(key, "big")).to_bytes(len(payload), "big")
        self.socket.sendall(header + payload)

    def send_json(self, **members):
        self.send(json.dumps(members))

    def _fill(self, count, deadline):
        while len(self.buffer) < count:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return False
            self.socket.settimeout(remaining)
            try:
                chunk = self.socket.recv(1 << 16)
            except socket.timeout:
                return False
            if not chunk:
                raise ConnectionError("closed by the server")
            self.buffer += chunk
        return True

    def receive(self, timeout=DEADLINE):
        """The next frame as (opcode, payload), or None when none arrives in time."""
        deadline = time.monotonic() + timeout
        if not self._fill(2, deadline):
            return None
        length = self.buffer[1] & 0x7F
        start = 2
        if length == 126:
            if not self._fill(4, deadline):
                return None
            length, start = struct.unpack("!H", self.buffer[2:4])[0], 4
        elif length == 127:
            if not self._fill(10, deadline):
                return None
            length, start = struct.unpack("!Q", self.buffer[2:10])[0], 10
        if not self._fill(start + length, deadline):
            return None
        opcode = self.buffer[0] & 0x0F
        payload = bytes(self.buffer[start:start + length])
        del self.buffer[:start + length]
        return opcode, payload

    def texts(self, quiet=0.5, limit=DEADLINE):
        """Every text frame that arrives until none has come for `quiet` seconds, for at most `limit` seconds."""
        frames = []
        end = time.monotonic() + limit
        while time.monotonic() < end and (frame := self.receive(quiet)) is not None:
            if frame[0] == 1:
                frames.append(frame[1].decode())
        return frames

    def closed_by_server(self, timeout=DEADLINE):
        """Whether the server ends the connection (close frame or end of stream) within the timeout."""
        deadline = time.monotonic() + timeout
        try:
            while (frame := self.receive(max(0.0, deadline - time.monotonic()))) is not None:
                if frame[0] == 8:
                    return True
        except (ConnectionError, OSError):
            return True
        return False

    def close(self):
        self.socket.close()
