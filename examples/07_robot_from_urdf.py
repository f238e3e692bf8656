"""A robot of your own, read from its description (URDF).

The seven-axis arm of motion/robots/seven_axis.urdf (a redundant arm of this
project's own design, its gripper colliding as the box around its STL mesh)
goes around a post standing between two stations, then moves its tool down a
straight line. The run is recorded and saved as JSON Lines.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/07_robot_from_urdf.py
Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to run faster than real time, and
VELMOR_EXAMPLE_OUTPUT to the folder the recording goes to (default: a new
temporary folder).
"""

import os
import pathlib
import tempfile

import velmor
from velmor_driver_simulated import Result, SimulatedDriver

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))
HERE = pathlib.Path(__file__).resolve().parent
# In the source tree, and where an installation puts the examples and the descriptions.
DESCRIPTIONS = [HERE.parent / "motion" / "robots", HERE.parents[2] / "velmor-simulated-driver" / "robots"]

# Joint positions [rad] of the two stations, on either side of the post.
LEFT = [0.9, 0.7, 0.0, 1.1, 0.0, 1.2, 0.0]
RIGHT = [-0.9, 0.7, 0.0, 1.1, 0.0, 1.2, 0.0]


def description() -> pathlib.Path:
    """The seven-axis arm's description, from the source tree or the installation."""
    for folder in DESCRIPTIONS:
        if (folder / "seven_axis.urdf").is_file():
            return folder / "seven_axis.urdf"
    raise SystemExit("seven_axis.urdf not found; run from the repository or an installation")


def check(result: Result) -> None:
    """Stops the program when a motion did not succeed."""
    if result != Result.Success:
        raise SystemExit(f"motion failed: {result.description}")


def make_planner(arm: velmor.RobotArm) -> velmor.Planner:
    """The arm with a post in front of it, between the two stations."""
    environment = velmor.Environment(arm)
    environment.add_obstacle("post", velmor.Box(size=[0.12, 0.12, 0.46], frame=velmor.Frame(0.68, 0.0, 0.23)))
    return velmor.Planner(environment)


def main() -> None:
    # Acceleration and jerk limits are not in the description: one value for every joint.
    arm = velmor.robots.from_urdf(description(), max_acceleration=4.0, max_jerk=20.0)
    planner = make_planner(arm)
    through = [(a + b) / 2 for a, b in zip(LEFT, RIGHT)]
    hit = planner.check_collision(through)
    print(f"{arm.name}: {arm.degrees_of_freedom} joints; halfway on the direct way, "
          f"{hit.link_name if hit else 'nothing'} touches {hit.obstacle if hit else 'nothing'}")

    driver = SimulatedDriver(planner)
    driver.time_speed = TIME_SPEED
    folder = pathlib.Path(os.environ.get("VELMOR_EXAMPLE_OUTPUT") or tempfile.mkdtemp(prefix="velmor_07_"))
    try:
        with driver.record() as recording:
            check(driver.move_to(LEFT))
            check(driver.move_to(RIGHT))  # goes around the post
            # Straight down by 0.15 m, the tool keeping its orientation.
            down = velmor.Frame(0.0, 0.0, -0.15) * arm.calculate_tcp(driver.current_joint_position)
            planner.add_motion(velmor.LinearMotion(arm, "down", None, velmor.CartesianWaypoint(down),
                                                   max_tool_speed=0.2))
            check(driver.move_along("down"))
    finally:
        driver.disconnect()
    reached = arm.calculate_tcp(driver.current_joint_position).translation()
    print(f"tool at ({reached[0]:.3f}, {reached[1]:.3f}, {reached[2]:.3f}) m")
    path = folder / "07_robot_from_urdf.jsonl"
    recording.save(path)
    print(recording.report(), end="")
    print(f"done: around the post and down a straight line, {len(recording.times)} cycles saved to {path}")


if __name__ == "__main__":
    main()
