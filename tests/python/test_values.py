"""The module object and its value types: Result, ControllerStatus, triggers, actions."""

import pytest

import velmor_driver_simulated as vds
from velmor_driver_simulated import ControllerStatus, Result, Trigger

RESULT_CONSTANTS = [
    ("Success", 1, "Finished successfully."),
    ("Error", -1, "General error."),
    ("ErrorStartPositionDeviation", -100,
     "The start position of the trajectory deviates from the current robot's position."),
    ("ErrorTrajectoryDidNotUpdate", -101, "Failed to calculate the trajectory update."),
    ("ErrorReachGoalTimeout", -102, "Waiting to reach goal position has timed out."),
    ("ErrorCommandAlreadyInProgress", -103, "Another command is already in progress."),
    ("ErrorTrajectoryAborted", -104, "Trajectory was aborted by a stop command."),
    ("ErrorController", -200, "General error on the controller"),
    ("ErrorControllerEStopActive", -201, "E-Stop is active on the controller."),
    ("ErrorControllerSafetyViolation", -202, "Safety violation occured on the controller."),
    ("ErrorControllerAlarmActive", -203, "An alarm is active on the controller."),
    ("ErrorControllerNotInAutoMode", -204, "Controller is not in automatic mode."),
    ("ErrorControllerNotInRemoteMode", -205, "Controller not in a remote mode for external control."),
    ("ErrorControllerInHoldState", -206, "Controller is in a hold state."),
    ("ErrorControllerEnableMotors", -207, "The robot's motors are not enabled."),
    ("ErrorControllerProgramStopped", -208, "Controller program stopped unexpectedly."),
    ("ErrorControllerSendingStop", -209, "Failed to send the stop command to the controller."),
    ("ErrorControllerConnection", -210, "No connection to controller."),
]

STATUS_CONSTANTS = [
    ("Ready", 1, "Ready"), ("NotReady", -1, "Not Ready"), ("Busy", -2, "Busy"),
    ("Alarm", -3, "Alarm"), ("Failure", -4, "Failure"), ("Unknown", -5, "Unknown"),
]


def test_module_attributes():
    assert vds.__name__ == "velmor_driver_simulated"
    assert vds.__doc__ == "Velmor Driver for Simulated Robots."
    assert vds.__version__ == "0.0.30"


def test_value_classes_have_no_docstring_and_no_constructor():
    for cls in (Result, ControllerStatus, vds.FutureResult, vds.FutureBool, vds.RobotState, Trigger, Trigger.Value):
        assert cls.__doc__ is None, cls
        with pytest.raises(TypeError, match="No constructor defined!"):
            cls()


@pytest.mark.parametrize("name,value,text", RESULT_CONSTANTS)
def test_result_constants_carry_value_text_and_docstring(name, value, text):
    constant = getattr(Result, name)
    assert constant.value == value
    assert constant.description == text
    assert Result.__dict__[name].__doc__ == text
    assert repr(constant) == f"[{value}] {text}"
    assert bool(constant) is (name == "Success")


def test_result_constants_are_registered_in_order():
    names = [name for name in Result.__dict__ if not name.startswith("_") and name not in ("value", "description")]
    assert names == [name for name, _, _ in RESULT_CONSTANTS]


def test_result_constants_refer_to_one_native_object():
    assert Result.Success is Result.Success


def test_result_constants_are_read_only():
    with pytest.raises(AttributeError):
        Result.Success.value = 5
    with pytest.raises(AttributeError):
        Result.Success = Result.Error


def test_result_text_form_of_negative_value():
    assert repr(Result.ErrorControllerConnection) == "[-210] No connection to controller."
    assert repr(Result.Success) == "[1] Finished successfully."


def test_results_compare_by_value():
    assert Result.Error > Result.ErrorController
    assert Result.ErrorController < Result.Error
    assert Result.Success >= Result.Success and Result.Success <= Result.Success
    assert Result.Success == Result.Success
    assert Result.Success != Result.Error
    assert not (Result.Success == Result.Error)


def test_result_comparison_with_foreign_values():
    assert (Result.Success == 1) is False
    assert (Result.Success != 1) is True
    assert (Result.Success == ControllerStatus.Ready) is False
    for compare in (lambda: Result.Success < 1, lambda: Result.Success >= 1, lambda: 1 > Result.Success):
        with pytest.raises(TypeError):
            compare()


def test_results_and_statuses_are_unhashable():
    assert Result.__hash__ is None
    with pytest.raises(TypeError):
        hash(Result.Success)
    with pytest.raises(TypeError):
        {Result.Success}
    with pytest.raises(TypeError):
        {ControllerStatus.Ready: 1}


@pytest.mark.parametrize("name,value,text", STATUS_CONSTANTS)
def test_controller_status_constants(name, value, text):
    status = getattr(ControllerStatus, name)
    assert (status.value, status.description, repr(status)) == (value, text, text)
    assert ControllerStatus.__dict__[name].__doc__ == text
    assert bool(status) is (name == "Ready")


def test_controller_status_comparisons():
    assert ControllerStatus.Ready > ControllerStatus.Unknown
    assert ControllerStatus.Busy == ControllerStatus.Busy
    assert (ControllerStatus.Ready == 1) is False
    with pytest.raises(TypeError):
        ControllerStatus.Ready < 1


def test_trigger_values_compare_into_triggers():
    value = Trigger.JointPosition(dof=0)
    assert isinstance(value, Trigger.Value)
    for trigger in (value >= 0.5, value > 0.5, value < 0.5, value <= 0.5, 0.5 < value,
                    Trigger.Time() > 1.0, Trigger.TimeToGoal() < 0.5, Trigger.TCPPosition(axis=2) > 0.1):
        assert isinstance(trigger, Trigger)
    assert isinstance((value > 0.5) & (Trigger.Time() > 1.0), Trigger)
    assert isinstance((value > 0.5) | (Trigger.Time() > 1.0), Trigger)


def test_trigger_operators_are_plain_methods():
    with pytest.raises(TypeError):
        Trigger.Time() > "one"
    with pytest.raises(TypeError):
        (Trigger.Time() > 1.0) & 1
    with pytest.raises(TypeError):
        Trigger.JointPosition(dof=-1)
    with pytest.raises(TypeError):
        Trigger.JointPosition(joint=0)


def test_action_is_built_from_a_callable():
    assert isinstance(vds.Action(method=lambda time: None), vds.Action)
    with pytest.raises(TypeError):
        vds.Action(method=5)


def test_module_registration_order():
    names = [name for name in vars(vds) if not name.startswith("__")]
    assert names == ["Result", "FutureResult", "FutureBool", "ControllerStatus", "RobotState", "Trigger", "Action",
                     "Driver", "SimulatedDriver", "IoSource", "CommandRecord", "EventRecord", "IoRecord", "MarkRecord",
                     "WaitRecord", "Recording", "Fault", "Pacing", "SafetyLimits", "DeviceIo", "Device", "Follow",
                     "Pulse", "ZoneSensor", "Feeder", "Callback", "log_to_python", "flush_log"]
    assert list(vars(vds)).index("__doc__") < list(vars(vds)).index("__version__") < list(vars(vds)).index("Result")
