"""Pick and place: a cycle that waits for a part at the pick station, closes
the gripper with an event shortly before the robot arrives there, carries the
part over and opens the gripper shortly before it arrives at the place station.

The part sensor is a digital input; a feeder thread plays the conveyor and sets
it a moment after the previous part was taken.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/02_pick_and_place.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time.
"""

import os
import threading
import time
from typing import Callable

import velmor
from velmor_driver_simulated import Result, SimulatedDriver, Trigger

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))
CYCLES = 2
FEED_DELAY = 0.5  # simulated seconds from taking a part to the next one arriving

# Joint positions [rad] of the two stations and of the points above them.
ABOVE_PICK = [0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PICK = [0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
ABOVE_PLACE = [-0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PLACE = [-0.6, -1.1, 1.8, -2.3, -1.57, 0.0]


def check(result: Result) -> None:
    """Stops the program when a motion did not succeed."""
    if result != Result.Success:
        raise SystemExit(f"motion failed: {result.description}")


def feeder(driver: SimulatedDriver, stop: threading.Event) -> None:
    """Puts a new part on the sensor FEED_DELAY after the last one was taken."""
    while not stop.is_set():
        if driver.get_digital_input("part_present") == 0:
            if stop.wait(FEED_DELAY / TIME_SPEED):
                return
            driver.set_digital_output("part_present", 1)
            print("  feeder: a new part has arrived")
        time.sleep(0.01 / TIME_SPEED)


def wait_for_input(driver: SimulatedDriver, name: str, value: int, timeout: float = 10.0) -> None:
    deadline = time.monotonic() + timeout
    while driver.get_digital_input(name) != value:
        if time.monotonic() > deadline:
            raise SystemExit(f"input '{name}' did not become {value}")
        time.sleep(0.005)


def set_gripper(driver: SimulatedDriver, closed: bool) -> Callable[[float], None]:
    """An event action: runs on the control-loop thread with the simulated time [s]."""
    def action(time: float) -> None:
        driver.set_digital_output("gripper", 1 if closed else 0)
        print(f"  event at t={time:.2f} s: gripper {'closed' if closed else 'opened'}")
    return action


planner = velmor.Planner(velmor.robots.UR5e())
driver = SimulatedDriver(planner)
driver.time_speed = TIME_SPEED

# The cell's I/O: an output for the gripper, an input for the part sensor.
driver.create_io("gripper", 0)
driver.create_io("part_present", 0)

stop_feeder = threading.Event()
feeder_thread = threading.Thread(target=feeder, args=(driver, stop_feeder))
feeder_thread.start()

try:
    check(driver.move_to(ABOVE_PICK))
    for cycle in range(1, CYCLES + 1):
        print(f"cycle {cycle}: waiting for a part")
        wait_for_input(driver, "part_present", 1)

        # Events belong to the next motion and fire at most once, when their
        # trigger holds: here 0.1 s before the motion reaches its goal.
        driver.add_event(Trigger.TimeToGoal() < 0.1, set_gripper(driver, closed=True))
        check(driver.move_to(PICK))
        assert driver.get_digital_input("gripper") == 1
        driver.set_digital_output("part_present", 0)  # the part has left the sensor
        print(f"cycle {cycle}: picked")

        check(driver.move_to(ABOVE_PICK))
        check(driver.move_to(ABOVE_PLACE))
        driver.add_event(Trigger.TimeToGoal() < 0.1, set_gripper(driver, closed=False))
        check(driver.move_to(PLACE))
        assert driver.get_digital_input("gripper") == 0
        print(f"cycle {cycle}: placed")
        check(driver.move_to(ABOVE_PLACE))
        check(driver.move_to(ABOVE_PICK))
finally:
    stop_feeder.set()
    feeder_thread.join()
    driver.disconnect()
print(f"done: {CYCLES} parts moved")
