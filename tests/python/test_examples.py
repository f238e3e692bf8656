"""Every example script runs to completion on its own, at a high time speed.
The examples that serve the viewer use port 8679; they run one after another."""

import os
import pathlib
import subprocess
import sys

import pytest

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
TIME_LIMIT = 120.0  # [s] per example, on a loaded machine

# A line each example prints only when its program went as intended.
EXPECTED_OUTPUT = {
    "01_quickstart.py": "run from a wrong start: ",
    "02_pick_and_place.py": "done: 2 parts moved",
    "03_two_robots_asyncio.py": "left moved 3 times, right 2 times",
    "04_io_config.py": "gripper: 1",
    "05_faster_than_real_time.py": "40 motions: ",
    "06_recover_from_estop.py": "recovered: 2 stations served",
    "07_robot_from_urdf.py": "done: around the post and down a straight line",
    "demo.py": "[demo] done: 2 parts moved",
}


def example_scripts():
    return sorted(EXAMPLES.glob("*.py"))


def test_the_numbered_examples_and_the_demo_are_present():
    names = [script.name for script in example_scripts()]
    assert [name[:3] for name in names if name[0].isdigit()] == ["01_", "02_", "03_", "04_", "05_", "06_", "07_"]
    assert "demo.py" in names
    assert sorted(EXPECTED_OUTPUT) == names


# The demo's Mirava program would take a port that other tests may use; its
# figure goes to the test's own folder.
ARGUMENTS = {"demo.py": ["--cycles", "2", "--no-mirava", "--plot", "{folder}/demo_run.png"]}


@pytest.mark.parametrize("script", example_scripts(), ids=lambda script: script.name)
def test_example_runs_to_completion(script, tmp_path):
    environment = dict(os.environ, VELMOR_EXAMPLE_TIME_SPEED="20", VELMOR_EXAMPLE_OUTPUT=str(tmp_path))
    arguments = [argument.format(folder=tmp_path) for argument in ARGUMENTS.get(script.name, [])]
    finished = subprocess.run([sys.executable, str(script), *arguments], cwd=EXAMPLES.parent, env=environment,
                              capture_output=True, text=True, timeout=TIME_LIMIT)
    assert finished.returncode == 0, finished.stdout + finished.stderr
    assert "Traceback" not in finished.stderr
    assert EXPECTED_OUTPUT[script.name] in finished.stdout, finished.stdout
    if script.name == "demo.py":
        assert "Cycle time: " in finished.stdout
        assert (tmp_path / "demo_run.png").read_bytes()[:4] == b"\x89PNG"
    if script.name == "07_robot_from_urdf.py":
        assert "touches post" in finished.stdout, "the direct way must be blocked for the example to show anything"
        assert (tmp_path / "07_robot_from_urdf.jsonl").stat().st_size > 0
