#pragma once

#include <velmor/drivers/description.hpp>

namespace velmor::drivers {

//! Outcome of one driver command; a success exactly when `value` > 0.
//! The constants are inline variables: each exists once in the process and is
//! initialised before any later static of a translation unit that includes this header.
struct Result : Description<int> {
    static const Result Success;
    static const Result Error;
    static const Result ErrorStartPositionDeviation;
    static const Result ErrorTrajectoryDidNotUpdate;
    static const Result ErrorReachGoalTimeout;
    static const Result ErrorCommandAlreadyInProgress;
    static const Result ErrorTrajectoryAborted;
    static const Result ErrorController;
    static const Result ErrorControllerEStopActive;
    static const Result ErrorControllerSafetyViolation;
    static const Result ErrorControllerAlarmActive;
    static const Result ErrorControllerNotInAutoMode;
    static const Result ErrorControllerNotInRemoteMode;
    static const Result ErrorControllerInHoldState;
    static const Result ErrorControllerEnableMotors;
    static const Result ErrorControllerProgramStopped;
    static const Result ErrorControllerSendingStop;
    static const Result ErrorControllerConnection;
};

inline const Result Result::Success {{1, "Finished successfully."}};
inline const Result Result::Error {{-1, "General error."}};
inline const Result Result::ErrorStartPositionDeviation {
    {-100, "The start position of the trajectory deviates from the current robot's position."}};
inline const Result Result::ErrorTrajectoryDidNotUpdate {{-101, "Failed to calculate the trajectory update."}};
inline const Result Result::ErrorReachGoalTimeout {{-102, "Waiting to reach goal position has timed out."}};
inline const Result Result::ErrorCommandAlreadyInProgress {{-103, "Another command is already in progress."}};
inline const Result Result::ErrorTrajectoryAborted {{-104, "Trajectory was aborted by a stop command."}};
inline const Result Result::ErrorController {{-200, "General error on the controller"}};
inline const Result Result::ErrorControllerEStopActive {{-201, "E-Stop is active on the controller."}};
inline const Result Result::ErrorControllerSafetyViolation {{-202, "Safety violation occured on the controller."}};
inline const Result Result::ErrorControllerAlarmActive {{-203, "An alarm is active on the controller."}};
inline const Result Result::ErrorControllerNotInAutoMode {{-204, "Controller is not in automatic mode."}};
inline const Result Result::ErrorControllerNotInRemoteMode {
    {-205, "Controller not in a remote mode for external control."}};
inline const Result Result::ErrorControllerInHoldState {{-206, "Controller is in a hold state."}};
inline const Result Result::ErrorControllerEnableMotors {{-207, "The robot's motors are not enabled."}};
inline const Result Result::ErrorControllerProgramStopped {{-208, "Controller program stopped unexpectedly."}};
inline const Result Result::ErrorControllerSendingStop {{-209, "Failed to send the stop command to the controller."}};
inline const Result Result::ErrorControllerConnection {{-210, "No connection to controller."}};

}  // namespace velmor::drivers
