// The simulated driver's clock, its dwells and waits, and the marks a program sets on it.
#include <velmor/drivers/simulated_driver.hpp>

#include <atomic>
#include <limits>
#include <memory>
#include <string>

#include <velmor/common/utf8_text.hpp>
#include <velmor/velmor_error.hpp>

#include "clock/clock_waits.hpp"
#include "clock/simulated_clock.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

double SimulatedDriver::clock() const {
    return simulated_clock->now();
}

void SimulatedDriver::sleep(double seconds) {
    refuse_inside_control_cycle("sleep", "dwell with sleep_async() or after the motion");
    auto record = recorder.begin_wait("dwell", "");
    waits->dwell(seconds);
    if (record) {
        recorder.end_wait(std::move(*record), std::nullopt);
    }
}

std::shared_future<bool> SimulatedDriver::sleep_async(double seconds) {
    auto record = recorder.begin_wait("dwell", "");
    auto answer = waits->dwell_async(seconds);
    if (record) {
        recorder.end_wait_later(std::move(*record), answer, std::make_shared<std::atomic<double>>(0.0), seconds);
    }
    return answer;
}

bool SimulatedDriver::wait_for(const Trigger& condition, std::optional<double> timeout) {
    refuse_inside_control_cycle("wait_for", "wait with wait_for_async() or use an event's trigger");
    auto record = recorder.begin_wait("wait", condition.to_string());
    const bool held = waits->wait([this, &condition] { return holds_now(condition); }, timeout);
    if (record) {
        recorder.end_wait(std::move(*record), held);
    }
    return held;
}

std::shared_future<bool> SimulatedDriver::wait_for_async(const Trigger& condition, std::optional<double> timeout) {
    auto record = recorder.begin_wait("wait", condition.to_string());
    // The clock when the condition held, for the recording: the future tells only whether it did.
    auto held_at = std::make_shared<std::atomic<double>>(std::numeric_limits<double>::quiet_NaN());
    auto answer = waits->wait_async(
        [this, condition, held_at] {
            const bool held = holds_now(condition);
            if (held) {
                held_at->store(simulated_clock->now());
            }
            return held;
        },
        timeout);
    if (record) {
        recorder.end_wait_later(std::move(*record), answer, std::move(held_at), timeout);
    }
    return answer;
}

bool SimulatedDriver::holds_now(const Trigger& condition) {
    const SignalReader signals(read_signal);
    return condition(robot, 0.0, get_current_joint_position(), velmor::Trajectory());
}

void SimulatedDriver::mark(const std::string& label) {
    if (label.size() > MarkRecord::max_label_bytes) {
        throw VelmorError("driver", "A mark's label holds at most " + std::to_string(MarkRecord::max_label_bytes) +
                                        " bytes; this one has " + std::to_string(label.size()) + ".");
    }
    if (!is_utf8(label)) {
        throw VelmorError("driver", "A mark's label must be UTF-8 text; got '" + as_utf8(label) + "'.");
    }
    recorder.on_mark(label);
}

}  // namespace velmor::drivers
