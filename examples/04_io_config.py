"""Simulated I/O from a configuration file, watched in the I/O signal viewer.

The JSON file maps signal names to integer default values and creates one
digital signal per entry. Analog signals and descriptions come from Signal
objects. With serve_io_viewer the driver serves a page on port 8679 that shows
every signal; a person can set and toggle the digital ones there.

Run from the repository root after building:
    PYTHONPATH=build/python python3 examples/04_io_config.py
then open the printed address while the script runs. The script waits for open
pages to close before it ends. Set VELMOR_EXAMPLE_TIME_SPEED (default 1.0) to
shorten the time it keeps the viewer up.
"""

import os
import pathlib
import time

import velmor
from velmor_driver_simulated import SimulatedDriver

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))
WATCH_TIME = 10.0  # seconds the viewer stays up at time speed 1
CONFIG = pathlib.Path(__file__).with_name("io_config.json")

driver = SimulatedDriver(velmor.Planner(velmor.robots.UR5e()), serve_io_viewer=True)
print("I/O signal viewer: http://localhost:8679/")

# One digital signal per member of the file; any os.PathLike or str will do.
driver.load_io_config_from_file(CONFIG)

# Signals with a description, and analog ones (a float value), from code.
Signal = SimulatedDriver.Signal
driver.load_io_config([
    Signal("vacuum", 0, "Suction cup valve"),
    Signal("pressure", 0.8, "Air pressure [MPa]"),
    Signal("temperature", 21.5, "Cell temperature [°C]"),
])

names = ["conveyor_running", "door_closed", "emergency_stop", "gripper", "part_present", "vacuum"]
print("digital inputs:", {name: driver.get_digital_input(name) for name in names})
# Analog signals are shown in the viewer only: the digital accessors refuse them.
print("pressure as a digital input:", driver.get_digital_input("pressure"))

# Outputs written by the script appear at once on every open page.
driver.set_digital_output("gripper", 1)
print("gripper:", driver.get_digital_input("gripper"))

# Report what a person changes in the viewer while it is up.
seen = {name: driver.get_digital_input(name) for name in names}
deadline = time.monotonic() + WATCH_TIME / TIME_SPEED
print(f"watching the inputs for {WATCH_TIME / TIME_SPEED:.1f} s; toggle some in the viewer")
while time.monotonic() < deadline:
    for name in names:
        value = driver.get_digital_input(name)
        if value != seen[name]:
            print(f"  {name}: {seen[name]} -> {value}")
            seen[name] = value
    time.sleep(0.05)

print("closing the viewer (waits for open pages to close)")
driver.disconnect()
del driver  # the driver's I/O controller closes the viewer here
