#include <velmor/drivers/faults/fault.hpp>

#include <array>
#include <cstddef>

namespace velmor::drivers {

namespace {

struct FaultEntry {
    std::string_view name;
    const Result& result;
};

// In the order of the enumerators.
const auto faults = std::to_array<FaultEntry>({
    {"ControllerError", Result::ErrorController},
    {"EStop", Result::ErrorControllerEStopActive},
    {"SafetyViolation", Result::ErrorControllerSafetyViolation},
    {"Alarm", Result::ErrorControllerAlarmActive},
    {"NotInAutoMode", Result::ErrorControllerNotInAutoMode},
    {"NotInRemoteMode", Result::ErrorControllerNotInRemoteMode},
    {"Hold", Result::ErrorControllerInHoldState},
    {"MotorsDisabled", Result::ErrorControllerEnableMotors},
    {"ProgramStopped", Result::ErrorControllerProgramStopped},
    {"StopFailed", Result::ErrorControllerSendingStop},
    {"ConnectionLost", Result::ErrorControllerConnection},
});
static_assert(std::tuple_size_v<decltype(faults)> == static_cast<std::size_t>(Fault::ConnectionLost) + 1, "one entry per fault");

const FaultEntry& entry(Fault fault) {
    return faults.at(static_cast<std::size_t>(fault));
}

}  // namespace

Result fault_result(Fault fault) {
    return entry(fault).result;
}

ControllerStatus fault_status(Fault fault) {
    return fault == Fault::ConnectionLost ? ControllerStatus::Failure : ControllerStatus::Alarm;
}

std::string_view fault_name(Fault fault) {
    return entry(fault).name;
}

}  // namespace velmor::drivers
