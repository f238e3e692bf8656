"""Injected faults, safety limits, stepping and pacing as scripts see them."""

import pytest

import velmor

from velmor_driver_simulated import ControllerStatus, Fault, Pacing, Result, SafetyLimits, Trigger
from conftest import GOAL, close

RESULTS = {
    "ControllerError": Result.ErrorController, "EStop": Result.ErrorControllerEStopActive,
    "SafetyViolation": Result.ErrorControllerSafetyViolation, "Alarm": Result.ErrorControllerAlarmActive,
    "NotInAutoMode": Result.ErrorControllerNotInAutoMode, "NotInRemoteMode": Result.ErrorControllerNotInRemoteMode,
    "Hold": Result.ErrorControllerInHoldState, "MotorsDisabled": Result.ErrorControllerEnableMotors,
    "ProgramStopped": Result.ErrorControllerProgramStopped, "StopFailed": Result.ErrorControllerSendingStop,
    "ConnectionLost": Result.ErrorControllerConnection,
}


@pytest.fixture
def stepped(driver):
    driver.stepping = True
    return driver


def test_every_controller_result_has_a_fault():
    assert list(Fault.__members__) == list(RESULTS)
    for name, result in RESULTS.items():
        assert Fault.__members__[name].result == result


@pytest.mark.parametrize("fault", [Fault.EStop, Fault.Hold, Fault.ConnectionLost], ids=str)
def test_a_fault_refuses_motions_until_cleared(stepped, fault):
    assert stepped.active_fault is None and stepped.controller_status == ControllerStatus.Unknown
    stepped.inject_fault(fault=fault)
    assert stepped.active_fault == fault
    assert stepped.controller_status == (ControllerStatus.Failure if fault == Fault.ConnectionLost
                                         else ControllerStatus.Alarm)
    assert stepped.move_to(GOAL) == fault.result and stepped.stop() == fault.result
    if fault == Fault.ConnectionLost:
        assert not stepped.is_connected and stepped.reconnect()
    else:
        stepped.clear_fault()
    assert stepped.active_fault is None
    assert stepped.move_to(GOAL) == Result.Success


def test_a_triggered_fault_ends_the_motion_and_the_recording_shows_it(stepped):
    stepped.inject_fault(Fault.EStop, trigger=Trigger.Time() > 0.2)
    with stepped.record() as recording:
        assert stepped.move_to(GOAL) == Result.ErrorControllerEStopActive
    assert recording.commands[-1].result == Result.ErrorControllerEStopActive
    assert list(recording.velocities[-1]) == [0.0] * 6


def test_step_runs_cycles_and_actions_on_the_calling_thread(stepped):
    fired = []
    stepped.add_event(Trigger.Time() > 0.1, lambda time: fired.append(time))
    motion = stepped.move_to_async(GOAL)
    assert stepped.step() == 1 and stepped.step(cycles=10) == 10
    assert not fired
    assert stepped.step_until(Trigger.TimeToGoal() < 100.0, max_cycles=5) == 1
    assert stepped.step_until(trigger=Trigger.Time() > 1000.0, max_cycles=5) is None
    cycles = stepped.step_until(Trigger.JointPosition(dof=0) > GOAL[0] / 2)
    assert isinstance(cycles, int) and cycles > 0 and fired
    while stepped.step(cycles=100):
        pass
    assert motion.get() == Result.Success and stepped.step() == 0
    assert close(stepped.current_joint_position, GOAL)


def test_step_is_refused_outside_stepping_and_inside_an_action(driver):
    with pytest.raises(RuntimeError, match="stepping"):
        driver.step()
    driver.stepping = True
    refusals = []

    def step_inside(time):
        try:
            driver.step()
        except RuntimeError as error:
            refusals.append(str(error))

    driver.add_event(Trigger.Time() > 0.1, step_inside)
    assert driver.move_to(GOAL) == Result.Success
    assert len(refusals) == 1 and "event action" in refusals[0]


@pytest.mark.parametrize("limits, start", [
    (SafetyLimits(joint_position=True, joint_velocity=True), [7.0] + [0.0] * 5),
    (SafetyLimits(workspace=velmor.Box(size=[0.2, 0.2, 0.2], frame=velmor.Frame.from_translation(3.0, 0.0, 0.0))),
     [0.0] * 6),
], ids=["joints", "workspace"])
def test_safety_limits_refuse_a_start_beyond_them(driver, limits, start):
    default = driver.safety_limits
    assert not default.joint_position and not default.joint_velocity and default.workspace is None
    driver.set_current_joint_position(start)
    driver.safety_limits = limits
    assert (driver.safety_limits.workspace is None) == (limits.workspace is None)
    assert driver.move_to(GOAL) == Result.ErrorControllerSafetyViolation
    assert driver.current_joint_position == start and driver.active_fault is None


@pytest.mark.parametrize("field, value", [("joint_position", True), ("joint_velocity", True),
                                          ("workspace", velmor.Box(size=[1.0, 1.0, 1.0]))])
def test_safety_limits_are_assigned_whole(driver, field, value):
    with pytest.raises(AttributeError, match=r"immutable.*driver\.safety_limits = "):
        setattr(driver.safety_limits, field, value)
    assert getattr(driver.safety_limits, field) in (False, None)
    driver.safety_limits = driver.safety_limits.replace(**{field: value})
    assert getattr(driver.safety_limits, field) not in (False, None)
    with pytest.raises(TypeError, match="joint_position, joint_velocity and workspace"):
        driver.safety_limits.replace(joint_positions=True)


@pytest.mark.parametrize("pacing", [Pacing.PauseAfterWork, Pacing.FixedRate], ids=str)
def test_both_pacings_play_a_motion(driver, pacing):
    assert driver.pacing == Pacing.PauseAfterWork
    driver.pacing = pacing
    assert driver.pacing == pacing
    assert driver.move_to(GOAL) == Result.Success
