"""The cell's devices on the simulated clock: the same program repeats exactly at any
speed, a device's change is seen in its cycle, and a failing device is reported."""

import importlib.util
import pathlib

import pytest

import velmor
from conftest import GOAL
from velmor_driver_simulated import Callback, Feeder, IoSource, Pulse, Result, SimulatedDriver, Trigger

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "02_pick_and_place.py"


def pick_and_place():
    found = importlib.util.spec_from_file_location("pick_and_place", EXAMPLE)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def run_pick_and_place(time_speed, stepping):
    """Per-part cycle times, the I/O changes and the joint positions of one run."""
    example = pick_and_place()
    driver = SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
    driver.time_speed = 0.0
    driver.stepping = stepping
    try:
        with driver.record() as recording:
            times = example.run_cell(driver, parts=2, time_speed=time_speed)
    finally:
        driver.disconnect()
    changes = [(c.name, c.new_value, c.source, c.device, c.time) for c in recording.io]
    return times, changes, recording.positions.tobytes(), recording.commands, example


def test_pick_and_place_repeats_bit_for_bit_at_any_speed():
    stepped = run_pick_and_place(0.0, True)
    assert run_pick_and_place(0.0, False)[:3] == stepped[:3]
    assert run_pick_and_place(1.0, False)[:3] == stepped[:3]
    times, changes, _, commands, example = stepped
    assert ("gripper_closed", 1, IoSource.Device, "gripper_closed") in [c[:4] for c in changes]
    # The second part was there in time: its cycle is its motions, each to whole cycles
    # (a few more for the first and last sample), and the gripper's two delays.
    motions = [c.planned_duration for c in commands if c.kind == "move_to"][7:13]
    expected = sum(motions) + 2 * example.GRIPPER_DELAY
    assert expected <= times[1] <= expected + len(motions) * 3 * 0.004


def test_a_device_change_is_seen_by_an_event_in_its_cycle(driver):
    driver.time_speed = 0.0
    driver.create_io("part", 0)
    fired = []
    driver.add_event(Trigger.IO("part") == 1, lambda time: fired.append(driver.clock))
    start = driver.clock
    driver.add_device(Feeder("part", first=0.1))
    assert driver.move_to(GOAL) == Result.Success
    # The first cycle that reaches the part's arrival makes it arrive and fires the event.
    assert len(fired) == 1 and 0.1 <= fired[0] - start < 0.1 + driver.delta_time


def test_a_failing_device_is_removed_and_disconnect_raises_its_error(driver):
    driver.time_speed = 0.0
    driver.create_io("beat", 0)

    def broken(clock, io):
        io["beat"] = 1
        raise ValueError("the sensor broke")

    driver.add_device(Pulse("beat", period=0.1, name="heartbeat"))
    driver.add_device(Callback("sensor", period=0.05, function=broken))
    assert [device.name for device in driver.devices()] == ["heartbeat", "sensor"]
    driver.sleep(0.2)
    assert [device.name for device in driver.devices()] == ["heartbeat"]
    with pytest.raises(ValueError, match="the sensor broke"):
        driver.disconnect()
    assert driver.remove_device("heartbeat") and not driver.remove_device("heartbeat")


def test_a_controller_on_its_own_advances_its_devices():
    controller = SimulatedDriver.Controller(serve_io_viewer=False)
    controller.create_io("part", 0)
    controller.add_device(Feeder("part", first=1.0))
    controller.advance(0.5)
    assert controller.get_digital_input("part") == 0
    controller.advance(0.5)
    assert controller.get_digital_input("part") == 1 and controller.clock == 1.0
