#pragma once

#include <velmor/drivers/description.hpp>

namespace velmor::drivers {

//! State of the robot controller. Constants are inline variables, as for Result.
struct ControllerStatus : Description<int> {
    static const ControllerStatus Ready;
    static const ControllerStatus NotReady;
    static const ControllerStatus Busy;
    static const ControllerStatus Alarm;
    static const ControllerStatus Failure;
    static const ControllerStatus Unknown;
};

inline const ControllerStatus ControllerStatus::Ready {{1, "Ready"}};
inline const ControllerStatus ControllerStatus::NotReady {{-1, "Not Ready"}};
inline const ControllerStatus ControllerStatus::Busy {{-2, "Busy"}};
inline const ControllerStatus ControllerStatus::Alarm {{-3, "Alarm"}};
inline const ControllerStatus ControllerStatus::Failure {{-4, "Failure"}};
inline const ControllerStatus ControllerStatus::Unknown {{-5, "Unknown"}};

}  // namespace velmor::drivers
