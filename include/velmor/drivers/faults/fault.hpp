#pragma once

#include <string_view>

#include <velmor/drivers/controller_status.hpp>
#include <velmor/drivers/result.hpp>

namespace velmor::drivers {

//! A controller fault that a simulated driver can be made to suffer, one per
//! controller result code. While a fault is active the controller refuses motions
//! with the fault's result until the fault is cleared.
enum class Fault : int {
    //! A general controller error (Result::ErrorController).
    ControllerError,
    //! The emergency stop: the robot stands at once (Result::ErrorControllerEStopActive).
    EStop,
    //! A safety limit was broken (Result::ErrorControllerSafetyViolation).
    SafetyViolation,
    //! An alarm (Result::ErrorControllerAlarmActive).
    Alarm,
    //! The controller left automatic mode (Result::ErrorControllerNotInAutoMode).
    NotInAutoMode,
    //! The controller left remote mode (Result::ErrorControllerNotInRemoteMode).
    NotInRemoteMode,
    //! A hold: the robot slows to a standstill on its path and may resume once
    //! cleared (Result::ErrorControllerInHoldState).
    Hold,
    //! The motors were switched off (Result::ErrorControllerEnableMotors).
    MotorsDisabled,
    //! The controller's program stopped (Result::ErrorControllerProgramStopped).
    ProgramStopped,
    //! Stop commands fail (Result::ErrorControllerSendingStop).
    StopFailed,
    //! The connection to the controller broke; reconnect() restores it
    //! (Result::ErrorControllerConnection).
    ConnectionLost,
};

//! The result that commands report while `fault` is active.
Result fault_result(Fault fault);

//! The controller's status while `fault` is active: Failure for a lost connection, else Alarm.
ControllerStatus fault_status(Fault fault);

//! The fault's name, as written above ("EStop").
std::string_view fault_name(Fault fault);

}  // namespace velmor::drivers
