"""MCAP recordings as an independent reader (@mcap/core from npm) sees them: CRCs,
summary, statistics and every message against its channel's JSON Schema."""

import json
import os
import pathlib
import re
import shutil
import subprocess
import urllib.request

import numpy
import pytest

import velmor
import velmor_driver_simulated as vds

HERE = pathlib.Path(__file__).parent
TOPICS = ("/velmor/scene", "/velmor/joint_states", "/velmor/commands", "/velmor/events", "/velmor/io")


def read(path, *options):
    finished = subprocess.run(["node", str(HERE / "read_mcap.mjs"), str(path), *options], capture_output=True,
                              text=True, timeout=600, cwd=HERE)
    assert finished.returncode == 0, finished.stderr
    return json.loads(finished.stdout)


@pytest.fixture(scope="module", autouse=True)
def node_packages():
    if shutil.which("node") is None or shutil.which("zstd") is None:
        pytest.skip("needs node and the zstd command")
    if not (HERE / "node_modules" / "@mcap" / "core").is_dir():
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--no-package-lock"], cwd=HERE, check=True,
                       capture_output=True)


@pytest.fixture
def driver():
    planner = velmor.Planner(velmor.Environment(velmor.robots.UR5e()))
    made = vds.SimulatedDriver(planner)
    made.time_speed = 0.0
    made.create_io("gripper", 0)
    yield made
    made.disconnect()


def run(driver, goal, cycles=None):
    """Moves to `goal` and back; with `cycles`, plays that many cycles of one long motion."""
    driver.add_event(vds.Trigger.Time() > 0.1, lambda time: driver.set_digital_output("gripper", 1))
    if cycles:
        trajectory = velmor.Trajectory([0.0, cycles * 0.004], [[0.0] * 6] * 2, [[0.0] * 6] * 2, [[0.0] * 6] * 2)
        assert driver.run(trajectory) == vds.Result.Success
    else:
        assert driver.move_to(goal) == vds.Result.Success
    driver.set_digital_output("gripper", 0)
    driver.sleep(0.1)
    assert driver.move_to([0.0] * 6) == vds.Result.Success
    driver.mark("back home")


def expected(recording):
    return {"/velmor/scene": 1, "/velmor/joint_states": recording.cycle_count(),
            "/velmor/tool_pose": recording.cycle_count(),
            "/velmor/commands": len(recording.commands), "/velmor/events": len(recording.events),
            "/velmor/io": len(recording.io), "/velmor/marks": len(recording.marks),
            "/velmor/waits": len(recording.waits)}


@pytest.mark.parametrize("how, cycles", [("saved", None), ("saved uncompressed", None), ("streamed", None),
                                         ("streamed", 1_000_000)])
def test_every_channel_and_message_count_is_right(driver, tmp_path, how, cycles):
    path = tmp_path / "run.mcap"
    compression = "none" if "uncompressed" in how else "zstd"
    with driver.record(path if how == "streamed" else None) as recording:
        run(driver, [0.4, -0.3, 0.5, 0.2, -0.2, 0.3], cycles)
    if how != "streamed":
        recording.save(path, compression=compression)
    counts = expected(recording)
    assert counts["/velmor/joint_states"] >= (cycles or 100) and counts["/velmor/io"] == 2
    assert counts["/velmor/marks"] == counts["/velmor/waits"] == 1
    found = read(path)
    assert found["errors"] == []
    assert found["indexed"]["statistics"] == counts == found["indexed"]["messages"]
    assert found["stream"] == {"messages": counts, "done": True}
    # The last tool pose is where the last joint state puts the tool.
    last = found["indexed"]["last"]
    tcp = velmor.robots.UR5e().calculate_tcp(last["/velmor/joint_states"]["position"])
    assert last["/velmor/joint_states"]["name"] == [f"joint{j}" for j in range(1, 7)]
    (pose,) = last["/velmor/tool_pose"]["poses"]
    assert [pose["position"][axis] for axis in "xyz"] == pytest.approx(tcp.translation(), abs=1e-12)
    assert rotation_of(pose["orientation"]) == pytest.approx(numpy.array(tcp.rotation()), abs=1e-12)


def rotation_of(q):
    """The rotation matrix of a unit quaternion {x, y, z, w}."""
    x, y, z, w = q["x"], q["y"], q["z"], q["w"]
    return numpy.array([[1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
                        [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
                        [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)]])


def test_a_file_cut_short_gives_its_complete_chunks(driver, tmp_path):
    path = tmp_path / "run.mcap"
    with driver.record(path) as recording:
        run(driver, None, 100_000)
    whole = path.read_bytes()
    cut = tmp_path / "cut.mcap"
    cut.write_bytes(whole[:len(whole) // 2])
    found = read(cut, "--stream-only")
    assert found["errors"] == [] and not found["stream"]["done"]
    recovered = found["stream"]["messages"]["/velmor/joint_states"]
    loaded = vds.Recording.load(cut)
    assert 0 < recovered == loaded.cycle_count() < recording.cycle_count()


def replay_of(program, path):
    """The /replay.json that velmor-mirava --replay serves for `path`."""
    argv = [program, "--address", "127.0.0.1:0", "--replay", str(path)]
    with subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True) as server:
        try:
            port = next(found[1] for line in server.stdout
                        if (found := re.search(r"at http://127\.0\.0\.1:(\d+)/", line)))
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/replay.json", timeout=30) as response:
                return json.loads(response.read())
        finally:
            server.terminate()


def test_mirava_replays_mcap_as_json_lines(driver, tmp_path):
    program = os.environ.get("VELMOR_MIRAVA_PROGRAM")
    if not program:
        pytest.skip("VELMOR_MIRAVA_PROGRAM names no velmor-mirava program")
    with driver.record() as recording:
        run(driver, [0.4, -0.3, 0.5, 0.2, -0.2, 0.3])
    replays = []
    for name in ("run.jsonl", "run.mcap"):
        recording.save(tmp_path / name)
        replays.append(replay_of(program, tmp_path / name))
    assert replays[0].pop("file") == "run.jsonl" and replays[1].pop("file") == "run.mcap"
    assert replays[0] == replays[1] and replays[0]["cycles"] == recording.cycle_count()
