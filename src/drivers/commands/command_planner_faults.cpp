// How the command planner answers faults and failed events: the fault takes effect
// under the motion lock, the motion it strikes comes to rest along the planner's stop
// (or stands at once where none can be planned), and its command reports the fault.
#include "command_planner.hpp"

#include <string>
#include <utility>

#include <velmor/drivers/simulated_driver.hpp>
#include <velmor/log/log.hpp>

#include "drivers/control_loop/control_loop.hpp"

namespace velmor::drivers {

namespace {

void warn_of_fault(const std::string& message) {
    velmor::log::log_<velmor::log::Level::Warn>("driver", message);
}

}  // namespace

void CommandPlanner::inject_fault(Fault fault) {
    std::lock_guard lock(mutex);
    activate_fault(fault, driver.running);
}

std::vector<FaultMonitor::ArmedFault> CommandPlanner::clear_fault() {
    std::lock_guard lock(mutex);
    return driver.faults->clear();
}

void CommandPlanner::set_connected(bool connected) {
    std::lock_guard lock(mutex);
    driver.connected = connected;
    if (connected) {
        // A lost connection that has not struck the motion yet is mended along with it.
        driver.faults->mend_connection();
    }
}

void CommandPlanner::activate_fault(Fault fault, bool strike_later) {
    driver.faults->inject(fault, strike_later);
    if (fault == Fault::ConnectionLost) {
        driver.connected = false;
    }
    if (!driver.running) {
        // Nothing moves, so nothing strikes that would tell of the fault later.
        warn_of_fault("The controller reports " + std::string(fault_name(fault)) + ": " +
                      fault_result(fault).description);
    }
}

std::optional<Result> CommandPlanner::start_refusal(const velmor::Trajectory& trajectory) const {
    if (!driver.faults->watching_safety() || trajectory.empty()) {
        return std::nullopt;
    }
    return driver.faults->start_refusal(trajectory, [this](velmor::State& state) { driver.slice_state_offset(state); });
}

TimeScaler::StepOutcome CommandPlanner::strike(Fault fault, TimeScaler::StepOutcome outcome) {
    {
        std::lock_guard lock(mutex);
        activate_fault(fault, false);
        struck_result = fault_result(fault);
        // A command handed over in this cycle is not taken over: it ends with the fault.
        driver.has_new_command = false;
    }
    warn_of_fault("The controller stops the motion: " + std::string(fault_name(fault)) + ", " +
         fault_result(fault).description);
    // The way around obstacles that a search would bring belongs to the struck command.
    search.cancel();
    hold = fault == Fault::Hold;
    if (fault == Fault::EStop) {
        freeze();
        return TimeScaler::StepOutcome::Finished;
    }
    if (fault == Fault::Hold) {
        keep_holding();
        return outcome;
    }
    if (!plan_fault_stop()) {
        freeze();
        return TimeScaler::StepOutcome::Finished;
    }
    return outcome;
}

void CommandPlanner::keep_holding() {
    // A speed change during the hold would carry the robot on: the ramp starts again.
    if (driver.faults->active() == Fault::Hold && !driver.is_pausing && !driver.is_paused()) {
        static_cast<void>(driver.pause_async());
    }
}

void CommandPlanner::freeze() {
    // The robot stays where it stopped: resuming finds nothing left to play.
    adopt_trajectory(rest.stand_still(), Origin::Fault);
}

bool CommandPlanner::plan_fault_stop() {
    auto stop = rest.stop_from_current_state();
    if (!stop) {
        return false;
    }
    adopt_trajectory(std::move(*stop), Origin::Fault);
    return true;
}

TimeScaler::StepOutcome CommandPlanner::fail_in_cycle(std::exception_ptr error) {
    // Let go of once the lock is released: a script's error takes the interpreter lock to go.
    std::exception_ptr replaced;
    {
        std::lock_guard lock(mutex);
        struck_result = Result::Error;
        // A command handed over in this cycle is not taken over: it ends with the failure.
        driver.has_new_command = false;
        replaced = driver.loop->keep_error(std::move(error));
    }
    {
        // A pause under way ends with the failed motion: the next one runs at the set speed.
        std::lock_guard pause_lock(driver.pause_mutex);
        if (driver.is_pausing.exchange(false)) {
            driver.time_scaler.stop_scale_movement();
            driver.time_scaler.set_scale(driver.speed);
        }
    }
    search.cancel();
    hold = false;
    if (!plan_fault_stop()) {
        freeze();
        return TimeScaler::StepOutcome::Finished;
    }
    return TimeScaler::StepOutcome::Moving;
}

}  // namespace velmor::drivers
