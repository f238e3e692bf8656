"""A long program simulated faster than real time.

time_speed sets how many simulated seconds pass per wall-clock second; at 0 the
control loop does not sleep between its 4 ms cycles at all, so a program runs
as fast as the machine computes it. Velocities and accelerations stay those of
the planned motion: only the wall-clock pacing changes.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/05_faster_than_real_time.py
"""

import random
import time

import velmor
from velmor_driver_simulated import Result, SimulatedDriver

MOTIONS = 40

robot = velmor.robots.UR5e()
planner = velmor.Planner(robot)
driver = SimulatedDriver(planner)
driver.time_speed = 0.0  # no pause between control cycles

# A reproducible sequence of joint positions [rad] within ±1.5 rad.
generator = random.Random(7)
points = [[generator.uniform(-1.5, 1.5) for _ in range(6)] for _ in range(MOTIONS)]

simulated = 0.0
started = time.monotonic()
for point in points:
    trajectory = planner.plan(velmor.LowLevelMotion(robot, "next", velmor.Waypoint(driver.current_joint_position),
                                                    velmor.Waypoint(point)))
    if trajectory is None or driver.run(trajectory) != Result.Success:
        raise SystemExit("a motion failed")
    simulated += trajectory.duration
wall_clock = time.monotonic() - started

print(f"{MOTIONS} motions: {simulated:.1f} s of simulated time in {wall_clock:.2f} s of wall-clock time "
      f"({simulated / wall_clock:.0f} times real time)")
driver.disconnect()
