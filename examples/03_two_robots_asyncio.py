"""Two simulated robots driven at the same time with asyncio.

Every asynchronous driver command returns a future that can be awaited, so one
coroutine per robot runs its own program while the event loop interleaves them.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/03_two_robots_asyncio.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time.
"""

import asyncio
import os
import time

import velmor
from velmor_driver_simulated import Result, SimulatedDriver

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))


def make_driver() -> SimulatedDriver:
    """A robot with its own planner and driver."""
    driver = SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
    driver.time_speed = TIME_SPEED
    return driver


async def program(name: str, driver: SimulatedDriver, points: list[list[float]]) -> int:
    """Moves through the points one after the other; returns how many succeeded."""
    started = time.monotonic()
    succeeded = 0
    for point in points:
        # move_to_async plans at once and returns a FutureResult; awaiting it
        # lets the other robot's coroutine run until this motion has ended.
        result = await driver.move_to_async(point)
        print(f"{time.monotonic() - started:6.2f} s  {name}: {result.description}")
        succeeded += result == Result.Success
    return succeeded


async def main() -> None:
    left, right = make_driver(), make_driver()
    left_points = [[0.5, -0.5, 0.8, 0.0, 0.5, 0.0], [1.0, -0.2, 0.4, 0.3, 0.2, 0.5], [0.0] * 6]
    right_points = [[-0.4, -0.8, 1.2, 0.0, -0.5, 0.0], [0.0] * 6]
    # A blocking call such as move_to would hold up the event loop; the futures
    # do not, so both programs make progress at the same time.
    counts = await asyncio.gather(program("left ", left, left_points), program("right", right, right_points))
    print(f"left moved {counts[0]} times, right {counts[1]} times")
    left.disconnect()
    right.disconnect()
    if list(counts) != [len(left_points), len(right_points)]:
        raise SystemExit("a motion failed")


asyncio.run(main())
