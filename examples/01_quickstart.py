"""Quickstart: plan and run motions, read their results, change the speed,
pause and resume.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/01_quickstart.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time.
"""

import os
import time

# The motion module comes first: it registers the robots, planners and
# trajectories that the driver module accepts.
import velmor
from velmor_driver_simulated import Result, SimulatedDriver

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))

HOME = [0.0, 0.0, 0.0, 0.0, 0.0, 0.0]
READY = [0.0, -1.2, 1.4, -0.2, 1.57, 0.0]  # [rad], one entry per joint
OUT = [1.2, -0.8, 1.0, -0.2, 1.57, 0.6]


def plan(start: list[float], goal: list[float]) -> velmor.Trajectory:
    """A rest-to-rest trajectory; the planner gives None when it finds none."""
    planned = planner.plan(velmor.LowLevelMotion(robot, "out", velmor.Waypoint(start), velmor.Waypoint(goal)))
    if planned is None:
        raise SystemExit(f"no trajectory from {start} to {goal}")
    return planned


def wait_for_progress(driver: SimulatedDriver, trajectory: velmor.Trajectory, fraction: float) -> None:
    """Waits until the robot has covered `fraction` of joint 0's travel."""
    start, goal = trajectory.front().position[0], trajectory.back().position[0]
    while driver.is_running:
        if abs(driver.current_joint_position[0] - start) >= fraction * abs(goal - start):
            return
        time.sleep(0.001)


# 1. A robot, a planner for it and a driver. The simulated robot starts at rest
#    in the all-zero joint position.
robot = velmor.robots.UR5e()
planner = velmor.Planner(robot)
driver = SimulatedDriver(planner)
driver.time_speed = TIME_SPEED  # simulated seconds per wall-clock second
print(f"Connected: {driver.is_connected}, {driver.degrees_of_freedom} joints, "
      f"control interval {driver.delta_time} s")

# 2. Move to a joint position. The plain call waits and returns a Result.
result = driver.move_to(READY)
print(f"move_to READY: {result.description} (success: {result == Result.Success})")

# 3. Plan a trajectory yourself and run it; trajectories are plain values you
#    can inspect, save and run later.
trajectory = plan(READY, OUT)
print(f"Planned {trajectory!r}")
print(f"run: {driver.run(trajectory).description}, now at {[round(q, 3) for q in driver.current_joint_position]}")

# 4. Named motions live in the planner; move_along plans and runs them.
planner.add_motion(velmor.Motion(robot, "back_home", None, HOME))
print(f"move_along 'back_home': {driver.move_along('back_home').description}")

# 5. Asynchronous commands return a future at once. Here the robot is paused
#    a third of the way: the running command ends as aborted, and resume()
#    finishes the rest of the trajectory.
trajectory = plan(HOME, OUT)
future = driver.run_async(trajectory)
wait_for_progress(driver, trajectory, 1 / 3)
print(f"pause: {driver.pause()}, paused: {driver.is_paused}, running command: {future.get().description}")
print(f"resume: {driver.resume().description}")

# 6. The speed factor scales the playback: ramp down to half speed over 0.2 s,
#    or set it at once through the property.
driver.set_speed(speed=0.5, duration=0.2)
started = time.monotonic()
driver.move_to(HOME)
print(f"move_to HOME at half speed took {time.monotonic() - started:.2f} s of wall-clock time")
driver.speed = 1.0

# 7. A trajectory that does not start where the robot stands is refused with
#    an error result, not an exception.
wrong_start = plan(READY, HOME)
print(f"run from a wrong start: {driver.run(wrong_start).description}")

driver.disconnect()
