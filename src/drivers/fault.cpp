#include <velmor/drivers/fault.hpp>

namespace velmor::drivers {

Result fault_result(Fault fault) {
    switch (fault) {
    case Fault::ControllerError:
        return Result::ErrorController;
    case Fault::EStop:
        return Result::ErrorControllerEStopActive;
    case Fault::SafetyViolation:
        return Result::ErrorControllerSafetyViolation;
    case Fault::Alarm:
        return Result::ErrorControllerAlarmActive;
    case Fault::NotInAutoMode:
        return Result::ErrorControllerNotInAutoMode;
    case Fault::NotInRemoteMode:
        return Result::ErrorControllerNotInRemoteMode;
    case Fault::Hold:
        return Result::ErrorControllerInHoldState;
    case Fault::MotorsDisabled:
        return Result::ErrorControllerEnableMotors;
    case Fault::ProgramStopped:
        return Result::ErrorControllerProgramStopped;
    case Fault::StopFailed:
        return Result::ErrorControllerSendingStop;
    case Fault::ConnectionLost:
        return Result::ErrorControllerConnection;
    }
    return Result::ErrorController;
}

ControllerStatus fault_status(Fault fault) {
    return fault == Fault::ConnectionLost ? ControllerStatus::Failure : ControllerStatus::Alarm;
}

std::string_view fault_name(Fault fault) {
    switch (fault) {
    case Fault::ControllerError:
        return "ControllerError";
    case Fault::EStop:
        return "EStop";
    case Fault::SafetyViolation:
        return "SafetyViolation";
    case Fault::Alarm:
        return "Alarm";
    case Fault::NotInAutoMode:
        return "NotInAutoMode";
    case Fault::NotInRemoteMode:
        return "NotInRemoteMode";
    case Fault::Hold:
        return "Hold";
    case Fault::MotorsDisabled:
        return "MotorsDisabled";
    case Fault::ProgramStopped:
        return "ProgramStopped";
    case Fault::StopFailed:
        return "StopFailed";
    case Fault::ConnectionLost:
        return "ConnectionLost";
    }
    return "ControllerError";
}

}  // namespace velmor::drivers
