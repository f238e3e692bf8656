"""Pick and place on the simulated clock, with the cell's devices.

The gripper's "closed" feedback follows its command 50 ms later (a Follow device),
and parts arrive on a sensor from a Feeder and leave when the gripper takes them.
The program waits for both with wait_for and a timeout, as it would on a real
controller, and prints each part's cycle time on the simulated clock: motion,
device delays and waiting for parts, whatever the wall clock did meanwhile.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/02_pick_and_place.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time (0: as
fast as the machine goes) and VELMOR_EXAMPLE_STEPPING=1 to step the control loop:
the cycle times come out the same to the last digit.
"""

import os
from typing import List

import velmor
from velmor_driver_simulated import Feeder, Follow, Result, SimulatedDriver, Trigger

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))
STEPPING = os.environ.get("VELMOR_EXAMPLE_STEPPING", "0") == "1"
PARTS = 2
GRIPPER_DELAY = 0.05  # [s] from the gripper's command to its feedback
FEED_EVERY = 4.0  # [s] between two parts arriving

# Joint positions [rad] of the two stations and of the points above them.
ABOVE_PICK = [0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PICK = [0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
ABOVE_PLACE = [-0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PLACE = [-0.6, -1.1, 1.8, -2.3, -1.57, 0.0]


def check(result: Result) -> None:
    """Stops the program when a motion did not succeed."""
    if result != Result.Success:
        raise SystemExit(f"motion failed: {result.description}")


def grip(driver: SimulatedDriver, closed: bool) -> None:
    """Commands the gripper and waits for its feedback, at most half a second."""
    driver.set_digital_output("gripper", int(closed))
    if not driver.wait_for(Trigger.IO("gripper_closed") == int(closed), timeout=0.5):
        raise SystemExit("the gripper did not answer")


def set_up_cell(driver: SimulatedDriver, parts: int) -> None:
    """The cell's signals and the devices behind them."""
    direction = SimulatedDriver.Direction
    driver.create_io("gripper", 0, direction=direction.Output)
    driver.create_io("gripper_closed", 0, direction=direction.Input)
    driver.create_io("part_present", 0, direction=direction.Input)
    driver.add_device(Follow("gripper", "gripper_closed", delay=GRIPPER_DELAY))
    driver.add_device(Feeder("part_present", first=0.5, every=FEED_EVERY, count=parts, taken_by="gripper"))


def run_cell(driver: SimulatedDriver, parts: int = PARTS, time_speed: float = TIME_SPEED) -> List[float]:
    """Sets the cell up and moves `parts` parts at `time_speed`; the cycle time [s] of each
    on the simulated clock."""
    driver.time_speed = 0.0  # setting up takes no simulated time
    set_up_cell(driver, parts)
    driver.time_speed = time_speed
    check(driver.move_to(ABOVE_PICK))
    cycle_times = []
    start = driver.clock
    for part in range(1, parts + 1):
        if not driver.wait_for(Trigger.IO("part_present") == 1, timeout=10.0):
            raise SystemExit(f"part {part} never came")
        check(driver.move_to(PICK))
        grip(driver, closed=True)
        for station in (ABOVE_PICK, ABOVE_PLACE, PLACE):
            check(driver.move_to(station))
        grip(driver, closed=False)
        for station in (ABOVE_PLACE, ABOVE_PICK):
            check(driver.move_to(station))
        # In a recording, the report gives each marked interval's motion, waits and dwells.
        driver.mark(f"part {part} placed")
        end = driver.clock
        cycle_times.append(end - start)
        start = end
        print(f"part {part}: cycle time {cycle_times[-1]:.3f} s on the simulated clock")
    return cycle_times


if __name__ == "__main__":
    driver = SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
    driver.stepping = STEPPING
    try:
        times = run_cell(driver)
    finally:
        driver.disconnect()
    print("cycle times [s]: " + ", ".join(repr(time) for time in times))
    print(f"done: {len(times)} parts moved")
