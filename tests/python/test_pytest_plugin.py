"""The pytest plugin, run by pytester on a sample folder of robot tests."""

import pytest

import velmor_driver_simulated as vds

SAMPLE = '''
import pytest
from velmor_driver_simulated import Result, Trigger

GOAL = [0.4, -0.3, 0.5, 0.2, -0.2, 0.3]

def test_passes(velmor_driver):
    assert velmor_driver.stepping and velmor_driver.time_speed == 0
    assert velmor_driver.move_to(GOAL) == Result.Success

@pytest.mark.velmor(robot="UR5E", stepping=False, io_config={"gripper": 0})
def test_fails(velmor_driver):
    assert not velmor_driver.stepping
    assert velmor_driver.move_to(GOAL) == Result.Success
    assert velmor_driver.get_digital_input("gripper") == 1

def test_action_error(velmor_driver):
    def broken_gripper(time):
        raise ValueError("the gripper broke")
    velmor_driver.add_event(Trigger.Time() > 0.1, broken_gripper)
    velmor_driver.move_to(GOAL)
'''


@pytest.mark.parametrize("mode, saved", [
    ("failed", ["test_action_error", "test_fails"]),
    ("all", ["test_action_error", "test_fails", "test_passes"]),
    ("none", []),
])
def test_recordings_are_saved_by_mode_and_named_in_the_report(pytester, mode, saved):
    pytester.makepyfile(test_cell=SAMPLE)
    result = pytester.runpytest_subprocess("-p", "velmor_tools.pytest_plugin", "-p", "no:cacheprovider",
                                           "--strict-markers", f"--velmor-record={mode}", "--velmor-record-dir=runs")
    # The action's error fails the test at teardown, where the driver disconnects.
    result.assert_outcomes(passed=2, failed=1, errors=1)
    result.stdout.fnmatch_lines(["*ValueError: the gripper broke*"])
    folder = pytester.path / "runs"
    files = sorted(path.name for path in folder.iterdir()) if folder.exists() else []
    assert files == [f"test_cell.py_{name}{suffix}" for name in saved for suffix in (".jsonl", ".mcap")]
    if mode != "failed":
        return
    result.stdout.fnmatch_lines(["*velmor recording*", f"saved to {folder}/test_cell.py_test_fails.jsonl"])
    for suffix in (".jsonl", ".mcap"):
        recording = vds.Recording.load(str(folder / f"test_cell.py_test_fails{suffix}"))
        assert [command.result for command in recording.commands] == [vds.Result.Success]
        assert len(recording.times) > 100

