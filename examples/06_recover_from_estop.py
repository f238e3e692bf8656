"""Recovering from an E-Stop: a program's error handling, rehearsed.

The simulated controller is made to suffer an emergency stop halfway through a
motion. The program sees the motion end with the E-Stop's result, finds the
controller in alarm and every further motion refused, acknowledges the fault
(as an operator resets a real controller), backs off to a safe position and
carries on with its work.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/06_recover_from_estop.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time.
"""

import os

import velmor
from velmor_driver_simulated import ControllerStatus, Fault, Result, SimulatedDriver, Trigger

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))

SAFE = [0.0, -1.2, 1.4, -0.2, 1.57, 0.0]  # [rad], one entry per joint
STATIONS = [[1.0, -0.9, 1.2, -0.3, 1.57, 0.4], [-1.0, -0.9, 1.2, -0.3, 1.57, -0.4]]


def move(driver: SimulatedDriver, goal: list[float]) -> Result:
    """Moves to `goal`, and on a controller fault recovers and tries once more."""
    result = driver.move_to(goal)
    if result == Result.Success:
        return result
    # 1. A motion that ends with a controller result: find out what happened.
    fault = driver.active_fault
    print(f"motion ended with {result!r}; controller: {driver.controller_status!r}, fault: {fault}")
    if fault is None or driver.controller_status != ControllerStatus.Alarm:
        raise SystemExit("unexpected failure")
    # 2. Nothing moves until the fault is acknowledged.
    assert driver.move_to(SAFE) == fault.result
    # 3. Acknowledge it, back off from where the robot stopped, then try again.
    driver.clear_fault()
    print(f"fault cleared, stopped at {[round(q, 3) for q in driver.current_joint_position]}")
    if driver.move_to(SAFE) != Result.Success:
        raise SystemExit("could not back off to the safe position")
    return driver.move_to(goal)


robot = velmor.robots.UR5e()
planner = velmor.Planner(robot)
driver = SimulatedDriver(planner)
driver.time_speed = TIME_SPEED
driver.move_to(SAFE)

# The E-Stop strikes 0.5 s into the next motion, in the control cycle in which
# the trigger first holds: the robot stands at once.
driver.inject_fault(Fault.EStop, Trigger.Time() > 0.5)

done = 0
for station in STATIONS:
    if move(driver, station) != Result.Success or move(driver, SAFE) != Result.Success:
        raise SystemExit("the program could not recover")
    done += 1
print(f"recovered: {done} stations served, controller {driver.controller_status!r}")
driver.disconnect()
