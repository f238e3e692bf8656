"""Hostile recording files and paths: deep nesting, absurd sizes and versions, names
that are not UTF-8, a save that runs out of room, and velmor-report's bad inputs."""

import base64
import json
import os
import struct
import subprocess
import sys

import pytest

from conftest import CHILD_DEADLINE, capped, child_environment, run_python

NESTED = "[" * 60_000 + "]" * 60_000
LIMIT = {"min_position": -3.0, "max_position": 3.0, "max_velocity": 2.0, "max_acceleration": 9.0, "max_jerk": 90.0}


def packed(code, values):
    return base64.b64encode(struct.pack(f"<{values}{code}", *range(values))).decode()


def recording_text(header=None, cycles=None, command=None, io=None, count=4):
    """A small whole recording (two joints, or up to 100 as the header says); the dicts
    replace members of its lines, and the value "NESTED" stands for arrays nested 60,000 deep."""
    joints = (header or {}).get("degrees_of_freedom", 2)
    joints = joints if isinstance(joints, int) and 0 < joints <= 100 else 2
    lines = [
        {"type": "header", "format": "velmor-recording", "version": 1, "robot": "r", "environment_robot": "r",
         "joint_offset": 0, "degrees_of_freedom": joints, "delta_time": 0.004, "limits": [LIMIT] * joints,
         "driver_version": "0", "started": "", **(header or {})},
        {"type": "cycles", "count": count, **{key: packed("d", count) for key in ("time", "wall_time", "scale")},
         "command": packed("q", count), **{key: packed("d", count * joints) for key in
                                            ("position", "velocity", "acceleration")}, **(cycles or {})},
        {"type": "command", "index": 0, "kind": "move_to", "arguments": "", "planned_duration": 0.01, "start_time": 0.0,
         "start_wall_time": 0.0, "end_time": 0.012, "end_wall_time": 0.02, "result": None, **(command or {})},
        {"type": "io", "name": "x", "old": 0, "new": 1, "source": "script", "time": 0.004, "wall_time": 0.01,
         **(io or {})},
        {"type": "end", "cycles": count, "commands": 1, "events": 0, "io": 1},
    ]
    return "".join(json.dumps(line).replace('"NESTED"', NESTED) + "\n" for line in lines)


def assert_report_refuses_in_one_line(reason, *arguments):
    finished = subprocess.run([sys.executable, "-m", "velmor_tools.report", *arguments], capture_output=True,
                              timeout=CHILD_DEADLINE, preexec_fn=capped(), env=child_environment())
    lines = finished.stderr.decode().splitlines()
    assert finished.returncode == 2, finished.stderr.decode(errors="replace")
    assert len(lines) == 1 and lines[0].startswith("velmor-report: ") and reason in lines[0], lines
    assert len(lines[0]) < 400, "the reason quotes more than an excerpt"


@pytest.mark.parametrize("lines, reason", [
    (dict(io={"new": "NESTED"}), "nested more than 32 deep"),
    (dict(command={"planned_duration": "NESTED"}), "nested more than 32 deep"),
    (dict(header={"delta_time": "NESTED"}), "nested more than 32 deep"),
    (dict(header={"delta_time": "x" * 100_000}), '"delta_time" is "xxxxx'),
    (dict(header={"delta_time": "nan"}), "not a positive number of seconds"),
    (dict(header={"degrees_of_freedom": 9223372036854775808}), '"degrees_of_freedom" is 9223372036854775808, not'),
    (dict(header={"degrees_of_freedom": 10 ** 12}), '"degrees_of_freedom" is 1000000000000, not'),
    (dict(header={"degrees_of_freedom": 0}), '"degrees_of_freedom" is 0, not a whole number from 1 to 256'),
    (dict(header={"joint_offset": 2 ** 64 - 1}), '"joint_offset" is 18446744073709551615'),
    (dict(header={"version": 4294967296}), "format version is 4294967296"),
    (dict(header={"version": -7}), "format version is -7"),
    (dict(header={"version": "1"}), 'format version is "1"'),
    # Sized from the count first, this chunk would take 2.4 GB.
    (dict(header={"degrees_of_freedom": 100}, cycles={"count": 1_000_000, "time": "A" * 1_000_000}),
     'column "time" does not hold 1000000 values'),
])
def test_hostile_recordings_are_refused_in_one_short_line(tmp_path, lines, reason):
    path = tmp_path / "hostile.jsonl"
    path.write_text(recording_text(**lines))
    good = tmp_path / "good.jsonl"
    good.write_text(recording_text())
    assert_report_refuses_in_one_line(reason, str(path))
    assert_report_refuses_in_one_line(reason, str(good), "--compare", str(path))


def mcap_record(opcode, *fields):
    return struct.pack("<BQ", opcode, sum(map(len, fields))) + b"".join(fields)


def mcap_text(text):
    return struct.pack("<I", len(text)) + text


def mcap_file(message=None, chunk_size=None, compression=b"", stored=None, crc=0, record_length=None):
    """A one-cycle MCAP recording of two joints with its joint state in one chunk; the
    arguments replace the message, the chunk's claimed size, compression, bytes and CRC,
    or the length of the chunk record."""
    header = recording_text().splitlines()[0].encode()
    state = (message if message is not None else json.dumps(
        {"time": 0, "wall_time": 0, "scale": 1, "command": -1, "name": ["a", "b"], "position": [0, 0],
         "velocity": [0, 0], "acceleration": [0, 0]}).encode()).replace(b'"NESTED"', NESTED.encode())
    channels = b"".join(mcap_record(4, struct.pack("<HH", i, i), mcap_text(topic), mcap_text(b"json"), b"\0" * 4)
                        for i, topic in ((1, b"/velmor/scene"), (2, b"/velmor/joint_states")))
    records = b"".join(mcap_record(5, struct.pack("<HIQQ", channel, 0, 0, 0), data)
                       for channel, data in ((1, header), (2, state)))
    stored = records if stored is None else stored
    chunk = mcap_record(6, struct.pack("<QQQI", 0, 0, len(records) if chunk_size is None else chunk_size, crc),
                        mcap_text(compression), struct.pack("<Q", len(stored)), stored)
    if record_length is not None:
        chunk = chunk[:1] + struct.pack("<Q", record_length) + chunk[9:]
    magic = b"\x89MCAP0\r\n"
    return magic + mcap_record(1, mcap_text(b""), mcap_text(b"")) + channels + chunk + mcap_record(15, b"\0" * 4)


def zstd_raw_frame(content, claimed):
    """A zstd frame holding `content` as is, its header claiming `claimed` bytes."""
    return struct.pack("<IBB", 0xFD2FB528, 0x20, claimed) + struct.pack("<I", len(content) << 3 | 1)[:3] + content


@pytest.mark.parametrize("arguments, reason", [
    (dict(message=b'{"time": "NESTED"}'), "nested more than 32 deep"),
    (dict(chunk_size=2 ** 40), "a chunk claims 1099511627776 bytes, more than 67108864"),
    (dict(record_length=2 ** 62), "a record claims 4611686018427387904 bytes"),
    (dict(chunk_size=200, compression=b"zstd", stored=zstd_raw_frame(b"x" * 10, 10)), "does not hold the 200 bytes"),
    (dict(chunk_size=10, compression=b"zstd", stored=zstd_raw_frame(b"x" * 10, 10)), "a record is shorter than its fields"),
    (dict(chunk_size=5), "does not hold the 5 bytes it claims"),
    (dict(compression=b"lz4"), 'compressed with "lz4", which this library does not read'),
    (dict(crc=1234), "CRC does not match"),
    (dict(message=b'{"time": 0, "wall_time": 0, "scale": 1, "command": -1, "position": [1]}'),
     '"position" is not a list of 2 numbers'),
])
def test_hostile_mcap_recordings_are_refused_in_one_short_line(tmp_path, arguments, reason):
    path = tmp_path / "hostile.mcap"
    path.write_bytes(mcap_file(**arguments))
    good = tmp_path / "good.mcap"
    good.write_bytes(mcap_file())
    assert_report_refuses_in_one_line(reason, str(path))
    assert_report_refuses_in_one_line(reason, str(good), "--compare", str(path))


@pytest.mark.parametrize("arguments, reason", [
    (["{good}", "-o", "{folder}/run.xyz"], "cannot draw a figure as '.xyz'"),
    (["{nan_time}", "-o", "{folder}/run.png"], "command 0 has the start time nan"),
    (["{folder}/missing.jsonl"], "Could not open the recording"),
    ([os.fsdecode(b"{folder}/\xff.jsonl")], "\\xff.jsonl"),
    (["{good}", "--bogus"], "unrecognized arguments: --bogus"),
])
def test_velmor_report_refuses_bad_input_in_one_line(tmp_path, arguments, reason):
    (tmp_path / "good.jsonl").write_text(recording_text())
    (tmp_path / "nan.jsonl").write_text(recording_text(command={"start_time": "nan"}))
    files = {"good": tmp_path / "good.jsonl", "nan_time": tmp_path / "nan.jsonl", "folder": tmp_path}
    assert_report_refuses_in_one_line(reason, *(argument.format(**files) for argument in arguments))
    assert not (tmp_path / "run.png").exists()


PATH_SCRIPT = """
import json, os, sys
import velmor, velmor_driver_simulated as vds
arm = velmor.robots.UR5e()
path = os.fsdecode(os.fsencode(sys.argv[1]) + sys.argv[2].encode("latin-1"))  # a byte per character
try:
    outcome = {call}
except RuntimeError as error:
    outcome = str(error)
print(json.dumps({{"outcome": outcome}}))
"""


@pytest.mark.parametrize("call, name, expected", [
    ("vds.Recording.load(path)", "/\xff/r\xfe.jsonl", "/\\xff/r\\xfe.jsonl"),
    ("vds.SimulatedDriver(velmor.Planner(velmor.Environment(arm))).record(path)", "/\xff/r.jsonl", "/\\xff/r.jsonl"),
    ("velmor.Environment(arm).load_scene(path)", "/\xff/s.json", "/\\xff/s.json"),
    # Streamed to such a path, the recording gives it back as os.fsdecode does.
    ("vds.SimulatedDriver(velmor.Planner(velmor.Environment(arm))).record(path).stream_path == path", "/r\xff.jsonl",
     True),
])
def test_paths_that_are_not_utf8_are_named_with_escapes(tmp_path, call, name, expected):
    result = run_python(PATH_SCRIPT.format(call=call), str(tmp_path), name)
    assert expected is True and result["outcome"] is True or expected in str(result["outcome"]), result


@pytest.mark.parametrize("suffix", [".jsonl", ".csv", ".mcap"])
def test_a_save_that_runs_out_of_room_keeps_the_old_file_whole(tmp_path, suffix):
    source, target = tmp_path / "source.jsonl", tmp_path / f"target{suffix}"
    source.write_text(recording_text(count=4000))
    target.write_bytes(b"the old file\n")
    target.chmod(0o640)
    result = run_python("""
import json, resource, sys
import velmor_driver_simulated as vds
recording, (soft, hard) = vds.Recording.load(sys.argv[1]), resource.getrlimit(resource.RLIMIT_FSIZE)
resource.setrlimit(resource.RLIMIT_FSIZE, (4096, hard))
try:
    recording.save(sys.argv[2])
except RuntimeError as failure:
    print(json.dumps({"error": str(failure), "old": open(sys.argv[2], "rb").read().decode()}))
resource.setrlimit(resource.RLIMIT_FSIZE, (soft, hard))
recording.save(sys.argv[2])
""", str(source), str(target))
    assert "Could not write the recording" in result["error"] and result["old"] == "the old file\n", result
    assert sorted(os.listdir(tmp_path)) == ["source.jsonl", target.name]
    assert target.stat().st_mode & 0o777 == 0o640 and target.stat().st_size > 4096
