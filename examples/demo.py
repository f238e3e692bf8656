"""The demo: the built-in arm runs a pick-and-place program in real time while
the I/O signal viewer shows its gripper and part sensor. The arm stands on a
table, and a fixture between the pick and the place station is in the way of
the direct motion: the planner goes around it.

    PYTHONPATH=build/python python3 examples/demo.py [--cycles N | --forever] [--mirava] [--plot PATH]
    velmor-demo [...]    (installed from the wheel)

A conveyor device brings a part to the sensor every 8 simulated seconds, and
the part leaves when the gripper closes on it; toggle "part_present" in the
viewer to feed one yourself. When the velmor-mirava
program was built or installed with the modules, the demo starts it and the robot is also
shown moving in its browser page (--no-mirava leaves it out, --mirava insists).

The run is recorded: at the end the demo prints the cycle-time report and draws
the joint curves to demo_run.png in the current folder (or to --plot PATH).
With --forever the recording is streamed to demo_run.jsonl instead, for
`velmor-report demo_run.jsonl` after Ctrl-C.
"""

import argparse
import os
import pathlib
import socket
import subprocess
import time
from typing import Callable, Optional

import velmor
import velmor_tools.mirava
from velmor_driver_simulated import Feeder, Recording, Result, SafetyLimits, SimulatedDriver, Trigger

TIME_SPEED = float(os.environ.get("VELMOR_EXAMPLE_TIME_SPEED", "1.0"))
FEED_DELAY = 1.5  # simulated seconds until the first part arrives
FEED_EVERY = 8.0  # simulated seconds between two parts
VIEWER_ADDRESS = "http://localhost:8679/"

# Joint positions [rad] of the two stations and of the points above them.
ABOVE_PICK = [0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PICK = [0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
ABOVE_PLACE = [-0.6, -1.3, 1.6, -1.9, -1.57, 0.0]
PLACE = [-0.6, -1.1, 1.8, -2.3, -1.57, 0.0]
# Where the tool may go: above the table's top, up to 1.2 m high.
WORKSPACE = velmor.Box(size=[1.4, 1.6, 1.2], frame=velmor.Frame(-0.35, 0.0, 0.6))


def make_planner() -> velmor.Planner:
    """The arm on a table, with a fixture standing between the two stations."""
    environment = velmor.Environment(velmor.robots.UR5e())
    environment.add_obstacle("table", velmor.Box(size=[1.4, 1.6, 0.04], frame=velmor.Frame(-0.35, 0.0, -0.02)))
    environment.add_obstacle("fixture", velmor.Box(size=[0.12, 0.12, 0.42], frame=velmor.Frame(-0.62, -0.12, 0.21)))
    return velmor.Planner(environment)


def say(text: str) -> None:
    print(f"[demo] {text}", flush=True)


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description="Pick and place with the simulated robot.")
    parser.add_argument("--cycles", type=int, default=3, help="number of parts to move (default 3)")
    parser.add_argument("--forever", action="store_true", help="keep going until Ctrl-C")
    mirava = parser.add_mutually_exclusive_group()
    mirava.add_argument("--mirava", action="store_true", default=None,
                        help="show the robot in the velmor-mirava program built or installed with the modules; "
                             "by default it is shown when that program exists and starts")
    mirava.add_argument("--no-mirava", dest="mirava", action="store_false", help="do not start velmor-mirava")
    parser.add_argument("--plot", default="demo_run.png", metavar="PATH",
                        help="where to draw the recorded run (default demo_run.png)")
    return parser.parse_args()


class MiravaFailed(Exception):
    pass


def start_mirava(program: pathlib.Path, address: str) -> "subprocess.Popen[bytes]":
    """Starts the Mirava program on `address` and waits until it accepts connections."""
    host, port = address.rsplit(":", 1)
    process = subprocess.Popen([str(program), "--address", address], stdout=subprocess.DEVNULL)
    deadline = time.monotonic() + 10.0
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise MiravaFailed(f"{program} ended with exit code {process.returncode}")
        try:
            with socket.create_connection((host, int(port)), timeout=0.2):
                return process
        except OSError:
            time.sleep(0.05)
    process.terminate()
    process.wait()
    raise MiravaFailed(f"{program} did not start listening on {address}")


def start_mirava_if_wanted(wanted: Optional[bool]) -> "tuple[Optional[subprocess.Popen[bytes]], Optional[str]]":
    """The running Mirava program and its address, or None; fails only when Mirava was asked for."""
    if wanted is False:
        return None, None
    try:
        program = velmor_tools.mirava.program()
    except velmor_tools.mirava.MiravaNotFound as error:
        if wanted:
            raise SystemExit(str(error)) from None
        return None, None
    # The driver connects to VELMOR_MIRAVA_ADDRESS, so the program listens there.
    address = os.environ.get("VELMOR_MIRAVA_ADDRESS") or "127.0.0.1:8768"
    try:
        return start_mirava(program, address), address
    except MiravaFailed as error:
        if wanted:
            raise SystemExit(str(error)) from None
        say(f"going on without Mirava: {error}")
        return None, None


def gripper_action(driver: SimulatedDriver, closed: bool) -> Callable[[float], None]:
    def action(time: float) -> None:
        driver.set_digital_output("gripper", 1 if closed else 0)
        say(f"  gripper {'closes' if closed else 'opens'} (t = {time:.2f} s into the motion)")
    return action


def move(driver: SimulatedDriver, goal: list[float], what: str,
         event: Optional[Callable[[float], None]] = None) -> None:
    say(what)
    if event is not None:
        driver.add_event(Trigger.TimeToGoal() < 0.15, event)
    result = driver.move_to(goal)
    if result != Result.Success:
        raise SystemExit(f"motion failed: {result.description}")


def wait_for_part(driver: SimulatedDriver) -> None:
    say("waiting for a part on the sensor")
    driver.wait_for(Trigger.IO("part_present") == 1)


def run_cycle(driver: SimulatedDriver, cycle: int, cycles: Optional[int]) -> None:
    label = f"cycle {cycle}" + (f"/{cycles}" if cycles else "")
    wait_for_part(driver)
    move(driver, PICK, f"{label}: down to the part", gripper_action(driver, closed=True))
    move(driver, ABOVE_PICK, f"{label}: lifting the part")
    move(driver, ABOVE_PLACE, f"{label}: carrying it around the fixture to the place station")
    move(driver, PLACE, f"{label}: setting it down", gripper_action(driver, closed=False))
    move(driver, ABOVE_PLACE, f"{label}: retracting")
    move(driver, ABOVE_PICK, f"{label}: back around the fixture to the pick station")


def show_recording(recording: Recording, plot_path: str) -> None:
    """Prints the cycle-time report and draws the figure of the run."""
    print(recording.report(), end="", flush=True)
    try:
        recording.plot(plot_path)
    except ImportError as error:
        say(f"no figure: {error}")
        return
    say(f"figure of the run: {plot_path}")


def main() -> None:
    arguments = parse_arguments()
    mirava, mirava_address = start_mirava_if_wanted(arguments.mirava)
    try:
        # The driver shows the planner's obstacles in Mirava along with the robot.
        driver = SimulatedDriver(make_planner(), sync_with_mirava=mirava is not None, serve_io_viewer=True)
        driver.time_speed = TIME_SPEED
        # The controller watches the arm's joint limits and the tool's workspace: a motion that left them
        # would stop with a safety violation.
        driver.safety_limits = SafetyLimits(joint_position=True, joint_velocity=True, workspace=WORKSPACE)
        say(f"I/O signal viewer: {VIEWER_ADDRESS}")
        if mirava is not None:
            say(f"robot in Mirava: http://{mirava_address}/")
        driver.load_io_config([
            SimulatedDriver.Signal("gripper", 0, "Gripper closed (output)"),
            SimulatedDriver.Signal("part_present", 0, "Part on the pick sensor (input)"),
        ])

        # The conveyor: a part arrives every FEED_EVERY seconds on the simulated clock and
        # leaves when the gripper closes on it.
        driver.add_device(Feeder("part_present", first=FEED_DELAY, every=FEED_EVERY, taken_by="gripper",
                                 name="conveyor"))
        # A run that goes on for hours is streamed to a file; a finite one stays in memory.
        recording = driver.record("demo_run.jsonl" if arguments.forever else None)
        try:
            move(driver, ABOVE_PICK, "moving above the pick station")
            cycle = 0
            while arguments.forever or cycle < arguments.cycles:
                cycle += 1
                run_cycle(driver, cycle, None if arguments.forever else arguments.cycles)
        finally:
            recording.stop()
            driver.disconnect()
        say(f"done: {cycle} parts moved")
        show_recording(recording, arguments.plot)
        say("closing the viewer (close its page if one is open)")
        del driver
    finally:
        if mirava is not None:
            mirava.terminate()
            mirava.wait()


if __name__ == "__main__":
    main()
