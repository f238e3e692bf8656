"""Records a short run for the replay test: two motions at time_speed 0, an
event that closes the gripper and a script that opens it again. Writes the
recording and a JSON file of what the replay must show.

    PYTHONPATH=<build>/python python3 make_recording.py <recording.jsonl> <expected.json>
"""

import json
import sys

import velmor
import velmor_driver_simulated as vds

GOAL = [0.6, -1.0, 1.2, -0.4, 0.8, 0.5]


def main(recording_path, expected_path):
    driver = vds.SimulatedDriver(velmor.Planner(velmor.robots.UR5e()))
    driver.time_speed = 0.0
    driver.create_io("gripper", 0)
    with driver.record(recording_path) as recording:
        driver.add_event(vds.Trigger.TimeToGoal() < 0.2, lambda time: driver.set_digital_output("gripper", 1))
        assert driver.move_to(GOAL) == vds.Result.Success
        driver.set_digital_output("gripper", 0)
        assert driver.move_to([0.0] * 6) == vds.Result.Success
    first, second = recording.commands
    expected = {
        "goal_degrees": [round(q * 180 / 3.141592653589793, 1) for q in GOAL],
        "first_end": first.end_time,
        "duration": second.end_time,
        "io": [[change.name, change.new_value, change.time] for change in recording.io],
    }
    with open(expected_path, "w") as file:
        json.dump(expected, file)
    driver.disconnect()


if __name__ == "__main__":
    main(*sys.argv[1:3])
