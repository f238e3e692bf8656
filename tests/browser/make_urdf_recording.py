"""Records a run of the seven-axis arm read from its robot description, beside an
obstacle, for the robot page test. Writes the recording and a JSON file of what
the page must show.

    PYTHONPATH=<build>/python python3 make_urdf_recording.py <robots-dir> <recording.jsonl> <expected.json>
"""

import json
import pathlib
import sys

import velmor
import velmor_driver_simulated as vds

GOAL = [0.8, 0.6, 0.0, 0.9, 0.0, 0.5, 0.0]


def main(robots, recording_path, expected_path):
    robot = velmor.robots.from_urdf(pathlib.Path(robots) / "seven_axis.urdf")
    planner = velmor.Planner(robot)
    planner.environment.add_obstacle("post", velmor.Cylinder(radius=0.05, length=0.6, frame=velmor.Frame(0.5, -0.4, 0.3)))
    driver = vds.SimulatedDriver(planner)
    driver.time_speed = 0.0
    with driver.record(recording_path) as recording:
        assert driver.move_to(GOAL) == vds.Result.Success
        assert driver.move_to([0.0] * 7) == vds.Result.Success
    first, second = recording.commands
    expected = {
        "goal_degrees": [round(q * 180 / 3.141592653589793, 1) for q in GOAL],
        "first_end": first.end_time,
        "duration": second.end_time,
        "obstacles": ["post"],
    }
    with open(expected_path, "w") as file:
        json.dump(expected, file)
    driver.disconnect()


if __name__ == "__main__":
    main(*sys.argv[1:4])
