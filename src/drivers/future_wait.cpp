#include "future_wait.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

// Far enough to never come, near enough that a time point this far ahead cannot overflow.
constexpr double longest_timeout {1e9};  // [s], about 32 years

}  // namespace

VelmorError timed_out(double timeout) {
    return VelmorError("driver", "The command was not done within the timeout of " + std::to_string(timeout) +
                                     " s; it goes on.");
}

std::optional<std::chrono::steady_clock::time_point> deadline_after(std::optional<double> timeout) {
    if (!timeout) {
        return std::nullopt;
    }
    if (std::isnan(*timeout)) {
        throw VelmorError("driver", "The timeout must be a number of seconds or None, not 'nan'.");
    }
    if (*timeout >= longest_timeout) {
        return std::nullopt;
    }
    const auto now = std::chrono::steady_clock::now();
    const std::chrono::duration<double> wait {std::max(*timeout, 0.0)};
    return now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(wait);
}

}  // namespace velmor::drivers
