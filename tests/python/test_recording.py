"""Recordings from scripts: the Python surface, the report, the figure and the
velmor-report command line."""

import json
import math
import struct
import subprocess
import sys
import textwrap

import numpy
import pytest

import velmor

import velmor_driver_simulated as vds
from velmor_driver_simulated import Recording, Result, Trigger
from velmor_tools import report as reports
from conftest import GOAL

ZERO = [0.0] * 6
DT = 0.004


@pytest.fixture
def recorded(driver):
    """Two motions at time_speed 0, with an event that sets an output and a script I/O change."""
    driver.time_speed = 0.0
    driver.create_io("gripper", 0)
    with driver.record() as recording:
        driver.add_event(Trigger.Time() > 0.3, lambda time: driver.set_digital_output("gripper", 1))
        assert recording.is_running
        assert driver.move_to(GOAL) == Result.Success
        driver.set_digital_output("gripper", 0)
        assert driver.move_to(ZERO) == Result.Success
    return recording


def test_arrays_and_records_describe_the_run(recorded):
    assert not recorded.is_running
    cycles = recorded.cycle_count()
    assert len(recorded) == cycles > 100
    for name in ("times", "wall_times", "scales"):
        assert getattr(recorded, name).shape == (cycles,)
    for name in ("positions", "velocities", "accelerations"):
        assert getattr(recorded, name).shape == (cycles, 6)
    assert numpy.allclose(numpy.diff(recorded.times), DT)
    assert numpy.all(numpy.diff(recorded.wall_times) >= 0)
    halfway = int(numpy.argmax(recorded.cycle_commands == 1))
    assert numpy.allclose(recorded.positions[halfway - 1], GOAL)
    assert numpy.allclose(recorded.positions[-1], ZERO)
    assert [c.kind for c in recorded.commands] == ["move_to", "move_to"]
    assert all(c.result == Result.Success for c in recorded.commands)
    assert [(e.event, e.command) for e in recorded.events] == [(0, 0)]
    assert [(c.name, c.old_value, c.new_value, c.source) for c in recorded.io] == [
        ("gripper", 0, 1, vds.IoSource.Script), ("gripper", 1, 0, vds.IoSource.Script)]
    assert recorded.header["robot"] == "ur5e" and len(recorded.header["limits"]) == 6


def test_report_durations_match_the_motions(recorded):
    rows = reports.command_times(recorded)
    for row, command in zip(rows, recorded.commands):
        # Whole cycles of the planned duration, then the cycle on the last sample and the one that finds it done.
        cycles = math.ceil(command.planned_duration / DT - 1e-9) + 2
        assert row["executed"] == pytest.approx(cycles * DT)
        assert row["result"] == "Success"
    assert rows[0]["waiting"] is None and rows[1]["waiting"] >= 0.0
    totals = reports.totals(recorded)
    assert totals["motion"] == pytest.approx(len(recorded) * DT)
    assert totals["cycle_time"] == pytest.approx(totals["motion"] + totals["waiting"])
    text = recorded.report()
    assert "Recording of ur5e (6 joints, delta_time 4 ms)" in text
    assert f"{rows[1]['executed']:.3f} s" in text and "Cycle time: " in text


def test_saved_and_loaded_recordings_are_equal(recorded, tmp_path):
    recorded.save(tmp_path / "run.jsonl")
    loaded = Recording.load(tmp_path / "run.jsonl")
    for name in ("times", "wall_times", "scales", "cycle_commands", "positions", "velocities", "accelerations"):
        assert numpy.array_equal(getattr(loaded, name), getattr(recorded, name)), name
    assert [repr(c) for c in loaded.commands] == [repr(c) for c in recorded.commands]
    assert [(c.name, c.new_value, c.time) for c in loaded.io] == [(c.name, c.new_value, c.time) for c in recorded.io]
    recorded.save(str(tmp_path / "run.csv"))
    lines = (tmp_path / "run.csv").read_text().splitlines()
    assert len(lines) == len(recorded) + 1 and lines[0].startswith("time,wall_time,scale,command,position_1")


COLUMNS = ("times", "wall_times", "scales", "cycle_commands", "positions", "velocities", "accelerations")


def assert_same_run(loaded, recording, cycles=None):
    """Every column bit for bit (of the first `cycles` cycles), and every record."""
    for name in COLUMNS:
        mine, theirs = getattr(loaded, name), getattr(recording, name)[:cycles]
        assert mine.tobytes() == theirs.tobytes(), name
    if cycles is None:
        assert loaded.header == recording.header
        for kind in ("commands", "events", "io"):
            assert [repr(r) for r in getattr(loaded, kind)] == [repr(r) for r in getattr(recording, kind)], kind


@pytest.mark.parametrize("how", ["zstd", "none", "streamed"])
def test_mcap_round_trip_keeps_every_bit_and_is_told_by_its_magic(recorded, driver, tmp_path, how):
    path = tmp_path / "run.MCAP"
    if how == "streamed":
        driver.time_speed = 0.0
        with driver.record(path, compression="none") as recorded:
            driver.add_event(Trigger.Time() > 0.2, lambda time: driver.set_digital_output("gripper", 1))
            assert driver.move_to(GOAL) == Result.Success
        assert len(recorded.io) == 1 and len(recorded.events) == 1
    else:
        recorded.save(path, compression=how)
    assert path.read_bytes()[:8] == b"\x89MCAP0\r\n"
    assert_same_run(Recording.load(path), recorded)
    renamed = path.rename(tmp_path / "run.jsonl")
    assert_same_run(Recording.load(renamed), recorded)
    with pytest.raises(ValueError, match="zstd.*none"):
        recorded.save(path, compression="lz4")


@pytest.mark.parametrize("suffix", ["jsonl", "mcap"])
def test_recordings_keep_the_obstacles_around_the_robot(driver, planner, tmp_path, suffix):
    post = velmor.Cylinder(radius=0.05, length=0.6, frame=velmor.Frame(0.5, 0.3, 0.3))
    planner.environment.add_obstacle("post", post)
    driver.time_speed = 0.0
    with driver.record() as recording:
        assert driver.move_to(GOAL) == Result.Success
    first = tmp_path / f"run.{suffix}"
    recording.save(first)
    # Read back and written again: the scene passes through the reader as well.
    again = tmp_path / "again.jsonl"
    Recording.load(first).save(again)
    scene = json.loads(again.read_text().splitlines()[0])["scene"]
    assert [(o["name"], o["shape"], o["radius"], o["length"]) for o in scene["obstacles"]] == [
        ("post", "cylinder", 0.05, 0.6)]


def test_mcap_cut_short_loads_its_complete_chunks_with_a_warning(driver, tmp_path, capfd):
    driver.time_speed = 0.0
    path = tmp_path / "run.mcap"
    with driver.record(path) as recording:
        driver.run(velmor.Trajectory([0.0, 200.0], [ZERO, ZERO], [ZERO, ZERO], [ZERO, ZERO]))
    total, whole = recording.cycle_count(), path.read_bytes()  # read back while the file is whole
    for size in (len(whole) // 3, len(whole) // 2):
        path.write_bytes(whole[:size])
        loaded = Recording.load(path)
        vds.flush_log()  # the warning is printed by the log's own thread
        assert "is cut short" in capfd.readouterr().out
        assert 0 < loaded.cycle_count() < total
        assert_same_run(loaded, recording, loaded.cycle_count())


def test_plot_writes_a_png(recorded, tmp_path):
    path = tmp_path / "run.png"
    recorded.plot(path)
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    assert width > 600 and height > 600


def test_streamed_recording_is_read_back_from_its_file(driver, tmp_path):
    driver.time_speed = 0.0
    path = tmp_path / "streamed.jsonl"
    with driver.record(path) as recording:
        driver.move_to(GOAL)
        with pytest.raises(RuntimeError, match="still running"):
            recording.positions
        with pytest.raises(RuntimeError, match="running already"):
            driver.record()
    assert recording.stream_path == str(path)
    assert numpy.allclose(recording.positions[-1], GOAL)
    assert [c.kind for c in recording.commands] == ["move_to"]


def test_arrays_and_plot_name_the_debian_package_without_numpy(tmp_path):
    script = textwrap.dedent(f"""
        import sys
        sys.modules["numpy"] = None
        import velmor
        import velmor_driver_simulated as vds
        driver = vds.SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
        driver.time_speed = 0.0
        with driver.record() as recording:
            driver.move_to([0.1] * 6)
        print(recording.report().splitlines()[0])
        for attempt in (lambda: recording.positions, lambda: recording.plot({str(tmp_path / "x.png")!r})):
            try:
                attempt()
            except ImportError as error:
                print(error)
    """)
    finished = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    lines = finished.stdout.splitlines()
    assert lines[0].startswith("Recording of ur5e")
    assert len(lines) == 3 and all("apt-get install python3-numpy" in line for line in lines[1:])


def test_report_and_plot_helpers_never_import_the_module(tmp_path):
    """The module imports the helpers for report() and plot(); they work on what
    they are handed, so that the imports form no loop."""
    script = textwrap.dedent(f"""
        import sys
        from velmor_tools import plot, report
        assert "velmor_driver_simulated" not in sys.modules, "importing the helpers imported the module"
        import velmor
        import velmor_driver_simulated as vds
        driver = vds.SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
        driver.time_speed = 0.0
        with driver.record() as recording:
            driver.move_to([0.1] * 6)
        # From here on any import of the module fails.
        sys.modules["velmor_driver_simulated"] = None
        print(report.command_times(recording)[0]["result"])
        plot.plot(recording, {str(tmp_path / "helpers.png")!r})
    """)
    finished = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    assert finished.stdout.splitlines() == ["Success"]
    assert (tmp_path / "helpers.png").stat().st_size > 0


def test_failed_plans_are_recorded_and_reported_with_their_reason(driver, tmp_path):
    driver.time_speed = 0.0
    beyond = [0.0, 0.0, 0.0, 10.0, 0.0, 0.0]
    with driver.record() as recording:
        assert driver.move_to(beyond) == Result.ErrorTrajectoryDidNotUpdate
        running = driver.move_to_async(GOAL)
        driver.move_to_async(beyond).get()  # handed to the running motion, or planned at rest: it fails either way
        running.get()
    failures = [c.plan_failure for c in recording.commands]
    assert failures[1] is None and failures[0] == failures[2] and "Joint 3's goal 10 rad" in failures[0]
    listed = f"Commands whose plan failed:\n  #0 move_to({recording.commands[0].arguments}): {failures[0]}\n  #2 "
    assert listed in recording.report()
    path = tmp_path / "run.jsonl"
    recording.save(path)
    assert [c.plan_failure for c in Recording.load(path).commands] == failures
    # Recordings made before plans gave reasons have no such key.
    lines = [json.loads(line) for line in path.read_text().splitlines()]
    path.write_text("".join(json.dumps({k: v for k, v in line.items() if k != "plan_failure"}) + "\n"
                            for line in lines))
    assert [c.plan_failure for c in Recording.load(path).commands] == [None] * 3


def run_report(*arguments):
    return subprocess.run([sys.executable, "-m", "velmor_tools.report", *map(str, arguments)], capture_output=True,
                          text=True, timeout=60)


def test_command_line_prints_reports_comparisons_and_figures(recorded, driver, tmp_path):
    first = tmp_path / "first.jsonl"
    recorded.save(first)
    with driver.record() as second:
        driver.move_to(GOAL)
    second.save(tmp_path / "second.jsonl")

    printed = run_report(first, "-o", tmp_path / "figure.png")
    assert printed.returncode == 0, printed.stderr
    assert printed.stdout == recorded.report() + f"Figure written to {tmp_path / 'figure.png'}\n"
    assert (tmp_path / "figure.png").read_bytes()[:4] == b"\x89PNG"

    compared = run_report(first, "--compare", tmp_path / "second.jsonl")
    assert compared.returncode == 0, compared.stderr
    difference = second.commands[0].end_time - second.commands[0].start_time - reports.command_times(recorded)[0][
        "executed"]
    # A difference that rounds to zero is printed as +0.000, whatever its sign.
    assert f"{round(difference, 3) + 0.0:+.3f} s" in compared.stdout.splitlines()[2]
    assert "1  move_to" in compared.stdout and "cycle time" in compared.stdout

    missing = run_report(tmp_path / "missing.jsonl")
    assert missing.returncode == 2 and "Could not open the recording" in missing.stderr
