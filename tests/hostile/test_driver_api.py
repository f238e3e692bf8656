"""Hostile and careless use of the driver API.

Each attack runs as a script in a child interpreter under a memory cap and a
deadline; the child must end normally, having checked the expected outcome
itself, and print "ok" last. A hang, a crash or runaway memory fails the test.
"""

import resource
import subprocess
import sys
import textwrap

import pytest

MEMORY_CAP = 768 * 1024 * 1024  # [bytes] of address space; a driver at work needs about 200 MiB
DEADLINE = 60  # [s]

PRELUDE = """
import random, threading, time
import velmor
import velmor_driver_simulated as vds
from velmor_driver_simulated import Result, Trigger

ZERO = [0.0] * 6
GOAL = [0.4, -0.3, 0.5, 0.2, -0.2, 0.3]
arm = velmor.robots.UR5e()
planner = velmor.Planner(velmor.Environment(arm))
driver = vds.SimulatedDriver(planner)
driver.time_speed = 0.0

def plan(start, goal):
    return planner.plan(velmor.LowLevelMotion(arm, "", velmor.Waypoint(start), velmor.Waypoint(goal)))

def close(a, b, tolerance=1e-6):
    return len(a) == len(b) and all(abs(x - y) <= tolerance for x, y in zip(a, b))

def eventually(condition, timeout=10.0):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, "condition not reached in time"
        time.sleep(0.001)

def raises(error_type, text, call):
    try:
        call()
    except error_type as error:
        assert text in str(error), str(error)
        return
    raise AssertionError(f"no {error_type.__name__} naming {text!r}")
"""


def _cap_memory():
    resource.setrlimit(resource.RLIMIT_AS, (MEMORY_CAP, MEMORY_CAP))


def attack(script):
    """Runs `script` after the prelude in a capped child interpreter and checks that it ends well."""
    # One write, on a line of its own: the log's thread writes to the same stream and
    # may come between two writes of print().
    source = PRELUDE + textwrap.dedent(script) + '\nimport os, sys\nsys.stdout.flush()\nos.write(1, b"\\nok\\n")\n'
    try:
        finished = subprocess.run([sys.executable, "-c", source], preexec_fn=_cap_memory, capture_output=True,
                                  text=True, timeout=DEADLINE)
    except subprocess.TimeoutExpired as expired:
        pytest.fail(f"no end within {DEADLINE} s:\n{expired.stderr}")
    assert finished.returncode == 0, f"exit {finished.returncode}:\n{finished.stderr}"
    # Log lines are printed by a thread of their own and may come after the script's own "ok".
    assert "ok" in finished.stdout.splitlines(), finished.stdout + finished.stderr


# Each event fails its motion; disconnect() then reports the failure once, and
# the driver goes on, also after disconnecting and reconnecting.
@pytest.mark.parametrize("trigger, action, error, text", [
    ("Trigger.Time() > 0.1", "driver.disconnect()", "RuntimeError", "disconnect from the script"),
    ("Trigger.Time() > 0.1", "driver.stop()", "RuntimeError", "use stop_async()"),
    ("Trigger.Time() > 0.1", "driver.pause()", "RuntimeError", "use pause_async()"),
    ("Trigger.Time() > 0.1", "driver.resume()", "RuntimeError", "use resume_async()"),
    ("Trigger.Time() > 0.1", "driver.move_to(ZERO)", "RuntimeError", "use move_to_async()"),
    ("Trigger.Time() > 0.1", "driver.run(plan(ZERO, GOAL))", "RuntimeError", "use run_async()"),
    ("Trigger.Time() > 0.1", "driver.pause_async().get()", "RuntimeError", "keep the future"),
    ("Trigger.Time() > 0.1", "driver.pause_async().wait()", "RuntimeError", "keep the future"),
    ("Trigger.Time() > 0.1", "1 / 0", "ZeroDivisionError", "division by zero"),
    ("Trigger.JointPosition(dof=9) > 0.0", "None", "IndexError", ""),
], ids=["disconnect", "stop", "pause", "resume", "move_to", "run", "future_get", "future_wait",
        "action_raises", "trigger_raises"])
def test_a_failing_event_fails_its_motion_once(trigger, action, error, text):
    attack(f"""
        driver.add_event({trigger}, lambda time: {action})
        assert driver.move_to(GOAL) == Result.Error
        assert driver.is_connected and not driver.is_running
        assert close(driver.current_state.velocity, ZERO, 1e-9)
        assert driver.move_to(ZERO) == Result.Success
        raises({error}, {text!r}, driver.disconnect)
        assert driver.disconnect() and driver.reconnect()
        assert driver.move_to(GOAL) == Result.Success and close(driver.current_joint_position, GOAL)
    """)


# Inside an action only a wait on its own driver's loop is refused: reconnecting,
# building a driver and commanding another one, waits included, work there.
@pytest.mark.parametrize("action", [
    "driver.reconnect()",
    "vds.SimulatedDriver(planner).move_to(ZERO)",
    "other.move_to_async(GOAL).get(timeout=30)",
], ids=["reconnect", "construct_and_command", "wait_on_another_driver"])
def test_what_cannot_deadlock_works_inside_an_action(action):
    attack(f"""
        other = vds.SimulatedDriver(planner)
        other.time_speed = 0.0
        done = []
        driver.add_event(Trigger.Time() > 0.1, lambda time: done.append({action}))
        assert driver.move_to(GOAL) == Result.Success and len(done) == 1, done
        assert done[0] and driver.is_connected
    """)


# A future's get() and wait() take a timeout of wall-clock seconds, and a wait on a
# stepping driver steps it. At time_speed 1e-13 a cycle waits 4e10 s: changing the
# speed back or disconnecting lets the motion end.
@pytest.mark.parametrize("setup, goes_on", [
    ("driver.time_speed = 1e-13", "driver.time_speed = 1.0"),
    ("driver.time_speed = 1e-13; driver.pacing = vds.Pacing.FixedRate", "driver.time_speed = 1.0"),
    ("driver.time_speed = 1e-13", "assert driver.disconnect()"),
    ("driver.stepping = True", "pass"),
], ids=["speed_back", "speed_back_fixed_rate", "disconnect", "stepping"])
def test_futures_wait_with_a_timeout_and_step_a_stepping_driver(setup, goes_on):
    attack(f"""
        {setup}
        motion = driver.move_to_async(GOAL)
        raises(TimeoutError, "not done within", lambda: motion.get(timeout=0.0))
        assert motion.wait(timeout=0.05 if not driver.stepping else 0) is False
        {goes_on}
        assert motion.get() == Result.Success and motion.wait(timeout=1) is True
        assert close(driver.current_joint_position, GOAL)
    """)


def test_commands_handed_over_from_actions_take_effect():
    attack("""
        stops = []
        driver.add_event(Trigger.Time() > 0.3, lambda time: stops.append(driver.stop_async()))
        assert driver.move_to(GOAL) == Result.ErrorTrajectoryAborted
        eventually(lambda: stops)
        assert stops[0].get() == Result.Success and not close(driver.current_joint_position, GOAL)
        moves = []
        driver.add_event(Trigger.Time() > 0.1, lambda time: moves.append(driver.move_to_async(ZERO)))
        assert driver.move_to(GOAL) == Result.Success
        eventually(lambda: moves)
        assert moves[0].get() == Result.Success and close(driver.current_joint_position, ZERO)
    """)


def test_the_interpreter_ends_while_an_action_returns_from_the_driver():
    # The window is short: the action's thread takes the interpreter lock back
    # just as the script ends. Several runs make missing it unlikely.
    for _ in range(8):
        attack("""
            driver.add_event(Trigger.Time() > 0.3, lambda time: driver.stop_async())
            assert driver.move_to(GOAL) == Result.ErrorTrajectoryAborted
            del driver
        """)


@pytest.mark.parametrize("value", ["float('nan')", "float('inf')", "-float('inf')"])
def test_a_start_state_that_is_not_finite_is_refused(value):
    attack(f"""
        for joint in range(6):
            start = [0.1] * 6
            start[joint] = {value}
            raises(RuntimeError, f"joint '{{joint}}' is", lambda: driver.set_current_joint_position(start))
            assert driver.current_joint_position == ZERO
        assert driver.move_to(GOAL) == Result.Success and close(driver.current_joint_position, GOAL)
    """)


@pytest.mark.parametrize("scale", [1e-15, 3e-15, 4e-15, 3e-16, 1e-300])
def test_pause_at_a_tiny_speed_scale_returns_a_bool(scale):
    attack(f"""
        driver.time_speed = 1.0
        motion = driver.move_to_async(GOAL)
        deadline = time.monotonic() + 10
        while not driver.is_running:
            assert time.monotonic() < deadline
        driver.speed = {scale}
        assert driver.pause() is True and driver.is_paused
        assert motion.get() == Result.ErrorTrajectoryAborted
        driver.time_speed = 0.0
        driver.speed = 1.0
        assert driver.resume() == Result.Success and close(driver.current_joint_position, GOAL)
    """)


def test_a_pause_in_the_last_cycles_of_a_motion_completes_and_the_next_continues_its_ramp():
    attack("""
        for cycle in (1, 2):
            seen = []
            pauses = []
            def at_the_end(time, cycle=cycle):
                seen.append(time)
                return len(seen) == cycle
            ends = Trigger.TimeToGoal() <= 0.0
            driver.add_event(ends, lambda time: None)
            driver.add_event(ends, lambda time: pauses.append(driver.pause_async()))
            if cycle == 2:
                driver.add_event(ends, lambda time: None)
            start = list(driver.current_joint_position)
            target = ZERO if close(start, GOAL) else GOAL
            assert driver.run(plan(start, target)) == Result.Success
            assert pauses[0].get() is False and not driver.is_paused
            back = ZERO if target == GOAL else GOAL
            assert driver.move_to(back) == Result.ErrorTrajectoryAborted and driver.is_paused
            assert driver.resume() == Result.Success and close(driver.current_joint_position, back)
    """)


def test_pauses_racing_the_end_of_motions_always_complete():
    attack("""
        random.seed(13)
        target = GOAL
        for attempt in range(120):
            target = ZERO if target == GOAL else GOAL
            motion = driver.move_to_async(target)
            time.sleep(random.uniform(0.0, 0.01))
            if driver.pause_async().get():
                driver.speed = 1.0
                assert driver.resume() in (Result.Success, Result.ErrorTrajectoryAborted)
            else:
                assert motion.get() == Result.Success and not driver.is_paused
                # The outrun pause's ramp would carry on into the next motion; a new speed ends it.
                driver.speed = 1.0
            assert driver.move_to(target) == Result.Success, attempt
            assert close(driver.current_joint_position, target)
    """)


def test_the_last_reference_dropped_inside_a_control_cycle_ends_the_driver():
    attack("""
        def started():
            held = vds.SimulatedDriver(planner)
            held.time_speed = 0.0
            held.add_event(Trigger.Time() > 1e9, lambda time: held.set_digital_output("x", 1))
            return held.move_to_async(GOAL)
        assert started().get() == Result.Success
        del driver
    """)
