#include "plan_failure.hpp"

#include <velmor/log/log.hpp>

namespace velmor::drivers {

std::string tell_plan_failure(std::string reason) {
    if (reason.empty()) {
        reason = "The planner gave no reason.";
    }
    velmor::log::log_<velmor::log::Level::Info>("driver", "The command's trajectory could not be planned: " + reason);
    return reason;
}

}  // namespace velmor::drivers
