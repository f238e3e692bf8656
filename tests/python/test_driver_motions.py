"""Real motions of the simulated driver from scripts, at ten times real time."""

import asyncio
import subprocess
import sys
import textwrap
import threading
import time

import pytest

import velmor
import velmor_driver_simulated as vds
from velmor_driver_simulated import Result, Trigger
from conftest import GOAL, close, rest_to_rest

FAR = [3.0, -2.0, 2.5, 2.5, -2.5, 3.0]
ZERO = [0.0] * 6


def wait_until(condition, timeout=10.0):
    deadline = time.monotonic() + timeout
    while not condition():
        assert time.monotonic() < deadline, "condition not reached in time"
        time.sleep(0.001)


def wait_for_progress(driver, joint_0=0.2):
    """Waits until the running motion has moved joint 0 past `joint_0`."""
    wait_until(lambda: driver.current_joint_position[0] > joint_0)


def test_run_ends_at_the_trajectory_end(driver, planner, robot):
    trajectory = rest_to_rest(planner, robot, ZERO, GOAL)
    assert driver.run(trajectory=trajectory) == Result.Success
    assert close(driver.current_joint_position, GOAL)
    assert not driver.is_running


def test_run_async_reports_run_result(driver, planner, robot):
    driver.run_result = Result.ErrorControllerAlarmActive
    future = driver.run_async(rest_to_rest(planner, robot, ZERO, GOAL))
    assert isinstance(future, vds.FutureResult)
    assert future.get() == Result.ErrorControllerAlarmActive


def test_run_from_a_wrong_start_is_refused(driver, planner, robot):
    assert driver.run(rest_to_rest(planner, robot, GOAL, ZERO)) == Result.ErrorTrajectoryDidNotUpdate


def test_move_to_accepts_every_goal_kind(driver, robot):
    assert driver.move_to(goal=GOAL) == Result.Success
    assert close(driver.current_joint_position, GOAL)
    assert driver.move_to(velmor.Waypoint(ZERO), ignore_collisions=True) == Result.Success
    assert close(driver.current_joint_position, ZERO)
    tcp = robot.calculate_tcp(GOAL)
    assert driver.move_to_async(point=velmor.CartesianWaypoint(tcp, GOAL)).get() == Result.Success
    assert close(robot.calculate_tcp(driver.current_joint_position).to_euler(), tcp.to_euler(), 1e-4)


def test_move_along_a_named_motion(driver, planner, robot):
    planner.add_motion(velmor.Motion(robot, "pick", None, GOAL))
    assert driver.move_along("pick") == Result.Success
    assert close(driver.current_joint_position, GOAL)
    assert driver.move_along_async(name="pick", goal=ZERO, ignore_collisions=False).get() == Result.Success
    assert close(driver.current_joint_position, ZERO)
    assert driver.move_along("unknown") == Result.ErrorTrajectoryDidNotUpdate


def test_move_to_a_robot_map_of_one_arm_of_two():
    left, right = velmor.robots.UR5e(), velmor.robots.UR5e(velmor.Frame(0.0, 1.0, 0.0))
    dual = velmor.robots.DualArm(left, right)
    driver = vds.SimulatedDriver(velmor.Planner(velmor.Environment(dual)), right)
    driver.time_speed = 10.0
    assert driver.degrees_of_freedom == 6
    assert driver.move_to({right: GOAL}) == Result.Success
    assert close(driver.current_joint_position, GOAL)
    driver.disconnect()


def test_blend_into_replaces_the_running_motion(driver, planner, robot):
    first = driver.run_async(rest_to_rest(planner, robot, ZERO, FAR))
    wait_for_progress(driver)
    target = [0.1] * 6
    blend = driver.blend_into_async(trajectory=rest_to_rest(planner, robot, ZERO, target), duration=0.2)
    assert first.get() == Result.Success
    assert blend.get() == Result.Success
    assert close(driver.current_joint_position, target)


def test_stop_defaults_to_a_fast_stop_and_ends_at_rest(driver, planner, robot):
    motion = driver.run_async(rest_to_rest(planner, robot, ZERO, FAR))
    wait_for_progress(driver)
    assert driver.stop() == Result.Success
    assert motion.get() == Result.ErrorTrajectoryAborted
    state = driver.current_state
    assert close(state.velocity, ZERO, 1e-6)
    assert not close(state.position, FAR, 1e-3)


def test_pause_and_resume_end_where_an_unpaused_run_ends(driver, planner, robot):
    trajectory = rest_to_rest(planner, robot, ZERO, FAR)
    motion = driver.run_async(trajectory)
    wait_for_progress(driver)
    assert driver.pause() is True
    assert motion.get() == Result.ErrorTrajectoryAborted
    assert driver.is_paused and not driver.is_running
    paused_at = driver.current_joint_position
    assert not close(paused_at, FAR, 1e-3)
    time.sleep(0.05)
    assert driver.current_joint_position == paused_at
    assert driver.resume() == Result.Success
    assert close(driver.current_joint_position, trajectory.back().position)


def test_speed_ramps_to_its_target(driver, planner, robot):
    motion = driver.run_async(rest_to_rest(planner, robot, ZERO, FAR))
    wait_until(lambda: driver.is_running)
    driver.set_speed(speed=0.5, duration=0.1)
    wait_until(lambda: abs(driver.speed - 0.5) < 1e-9 or not driver.is_running)
    assert driver.speed == pytest.approx(0.5)
    assert motion.get() == Result.Success
    assert close(driver.current_joint_position, FAR)


def test_events_fire_script_actions_while_another_thread_waits(driver, planner, robot):
    fired = []
    driver.add_event(Trigger.Time() > 0.5, lambda time: fired.append(("time", time)))
    driver.add_event(trigger=Trigger.TimeToGoal() < 0.2, action=vds.Action(lambda time: fired.append(("end", time))))
    driver.add_event(Trigger.JointPosition(dof=0) > 10.0, lambda time: fired.append(("never", time)))
    trajectory = rest_to_rest(planner, robot, ZERO, FAR)
    future = driver.run_async(trajectory)
    results = []
    waiter = threading.Thread(target=lambda: results.append(future.get()))
    waiter.start()
    assert future.get() == Result.Success
    waiter.join(timeout=30)
    assert results == [Result.Success]
    assert [kind for kind, _ in fired] == ["time", "end"]
    assert 0.5 < fired[0][1] <= 0.5 + 0.004 + 1e-9
    assert trajectory.duration - 0.2 < fired[1][1] <= trajectory.duration - 0.2 + 0.004 + 1e-9


def test_events_fire_during_a_synchronous_run(driver, planner, robot):
    fired = []
    driver.add_event(Trigger.Time() > 0.1, fired.append)
    assert driver.run(rest_to_rest(planner, robot, ZERO, GOAL)) == Result.Success
    assert len(fired) == 1


def test_two_drivers_run_concurrently_under_asyncio():
    drivers = []
    for _ in range(2):
        arm = velmor.robots.UR5e()
        created = vds.SimulatedDriver(velmor.Planner(velmor.Environment(arm)))
        created.time_speed = 10.0
        drivers.append((created, arm))

    async def both():
        moves = [driver.move_to_async(goal) for (driver, _), goal in zip(drivers, (GOAL, FAR))]
        return await asyncio.gather(*moves)

    assert asyncio.run(both()) == [Result.Success, Result.Success]
    assert close(drivers[0][0].current_joint_position, GOAL)
    assert close(drivers[1][0].current_joint_position, FAR)
    for driver, _ in drivers:
        driver.disconnect()


def test_awaiting_a_running_command_polls_until_it_ends(driver, planner, robot):
    polls = 0

    async def count_polls():
        nonlocal polls
        future = driver.run_async(rest_to_rest(planner, robot, ZERO, GOAL))
        awaited = future.__await__()
        while True:
            try:
                assert next(awaited) is None
                polls += 1
                await asyncio.sleep(0)
            except StopIteration as stop:
                return stop.value

    assert asyncio.run(count_polls()) == Result.Success
    assert polls > 0


def test_an_error_in_an_action_reaches_disconnect(planner, robot):
    driver = vds.SimulatedDriver(planner)
    driver.time_speed = 10.0

    def fail(time):
        raise ValueError(f"action failed at {time:.3f}")

    driver.add_event(Trigger.Time() > 0.1, fail)
    driver.run_async(rest_to_rest(planner, robot, ZERO, GOAL))
    with pytest.raises(ValueError, match="action failed at"):
        driver.disconnect()


def test_a_call_that_waits_for_the_loop_raises_runtime_error_inside_an_action(driver, planner, robot):
    caught = []

    def action(time):
        try:
            driver.move_to(ZERO)
        except RuntimeError as error:
            caught.append(str(error))

    driver.add_event(Trigger.Time() > 0.1, action)
    assert driver.run(rest_to_rest(planner, robot, ZERO, GOAL)) == Result.Success
    assert close(driver.current_joint_position, GOAL)
    assert len(caught) == 1 and "use move_to_async()" in caught[0], caught


def test_destroying_a_driver_with_a_script_action_pending_does_not_hang():
    script = textwrap.dedent("""
        import velmor, velmor_driver_simulated as vds
        arm = velmor.robots.UR5e()
        planner = velmor.Planner(velmor.Environment(arm))
        driver = vds.SimulatedDriver(planner)
        driver.time_speed = 10.0
        fired = []
        driver.add_event(vds.Trigger.TimeToGoal() < 0.1, fired.append)
        driver.move_to_async([0.4, -0.3, 0.5, 0.2, -0.2, 0.3])
        del driver
        assert len(fired) == 1, fired
        print("done")
    """)
    finished = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert finished.returncode == 0, finished.stderr
    assert finished.stdout.strip().endswith("done")
