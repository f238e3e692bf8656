#include "cycle_lines.hpp"

#include <chrono>
#include <iostream>
#include <string>

#include <velmor/join.hpp>

namespace velmor::drivers {

void print_cycle_lines(const std::vector<double>& position, bool log_stream, bool log_motions) {
    const std::string joined = velmor::join(position, 4);
    if (log_stream) {
        std::cout << "position=[" + joined + "]" << std::endl;
    }
    if (log_motions) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        std::cout << "[velmor.driver.log_motion] step=" + std::to_string(now) + " | desired_position=[" + joined + "]"
                  << std::endl;
    }
}

}  // namespace velmor::drivers
