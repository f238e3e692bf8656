"""Cycle times per marked interval on the simulated clock: the report's figures
against independently known durations, its JSON form, and two runs compared."""

import json
import math
import subprocess
import sys

import pytest

from conftest import GOAL, rest_to_rest
from velmor_driver_simulated import Recording, Trigger
from velmor_tools import intervals as cycles
from velmor_tools import report as reports

DT = 0.004


def pick(driver, stepping):
    """A motion to GOAL and back, a dwell of 0.25 s and a wait that times out after 0.5 s, marked "part 1";
    then a dwell of 0.125 s marked "part 2"."""
    driver.time_speed = 0.0
    driver.stepping = stepping
    driver.create_io("part", 0)
    with driver.record() as recording:
        for goal in (GOAL, [0.0] * 6):
            motion = driver.move_to_async(goal)
            while stepping and driver.step(cycles=100):
                pass
            motion.get()
        driver.sleep(0.25)
        assert not driver.wait_for(Trigger.IO("part") == 1, timeout=0.5)
        driver.mark("part 1")
        driver.sleep(0.125)
        driver.mark("part 2")
    return recording


@pytest.mark.parametrize("stepping", [True, False], ids=["stepping", "time_speed_0"])
def test_marked_intervals_add_up_planned_motions_dwells_and_waits(driver, planner, robot, stepping, tmp_path):
    recording = pick(driver, stepping)
    planned = rest_to_rest(planner, robot, [0.0] * 6, GOAL).duration
    # Each motion: whole cycles of its planned duration, the cycle on its last sample and the one that finds it done.
    motion = 2 * (math.ceil(planned / DT - 1e-9) + 2) * DT
    first, second = cycles.intervals(recording)
    assert (first["label"], second["label"]) == ("part 1", "part 2")
    assert first["motion"] == pytest.approx(motion, abs=1e-9)
    assert (first["dwell"], first["waiting"], first["idle"]) == pytest.approx((0.25, 0.5, 0.0), abs=1e-9)
    assert first["cycle_time"] == pytest.approx(motion + 0.75, abs=1e-9)
    assert first["waits"] == [{"condition": "io('part') == 1", "held": False, "seconds": pytest.approx(0.5)}]
    assert (second["cycle_time"], second["dwell"], second["motion"]) == pytest.approx((0.125, 0.125, 0.0))
    text = recording.report()
    assert "Cycle times per mark" in text and f"{motion + 0.75:.3f} s" in text
    assert "io('part') == 1  0.500 s, timed out" in text
    recording.plot(tmp_path / "shaded.png")
    assert (tmp_path / "shaded.png").read_bytes()[:4] == b"\x89PNG"


def test_json_report_and_comparison_of_two_runs(driver, tmp_path):
    paths = []
    for stepping in (False, True):
        paths.append(tmp_path / f"run_{stepping}.jsonl")
        pick(driver, stepping).save(paths[-1])
    run = [sys.executable, "-m", "velmor_tools.report", paths[0]]
    printed = subprocess.run(run + ["--format", "json"], capture_output=True, text=True, timeout=60)
    assert printed.returncode == 0, printed.stderr
    data = json.loads(printed.stdout)
    assert [row["label"] for row in data["intervals"]] == ["part 1", "part 2"]
    assert data["totals"] == pytest.approx(cycles.interval_totals(cycles.intervals(Recording.load(paths[0]))))

    compared = subprocess.run(run + ["--compare", paths[1], "-o", tmp_path / "both.png"], capture_output=True,
                              text=True, timeout=60)
    assert compared.returncode == 0, compared.stderr
    # Stepping and time_speed 0 give the same cycle time to the bit.
    assert "0  part 1" in compared.stdout and "+0.000 s" in compared.stdout.splitlines()[2]
    assert (tmp_path / "both.png").read_bytes()[:4] == b"\x89PNG"
