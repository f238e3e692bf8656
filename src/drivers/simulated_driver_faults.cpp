// Injected controller faults and safety limits of the simulated driver: the
// operations that inject, report and clear them, and what a control cycle does
// when one strikes.
//
// A fault strikes in a cycle, after the cycle's state is computed and before
// anything sees it (recording, Mirava, events), so that an E-Stop's standstill
// is what every observer gets in that cycle. The loop learns of faults injected
// now through `pending_strike`; armed faults are handed over like events, so that
// their triggers run without any lock held.
#include <velmor/drivers/simulated_driver.hpp>

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

#include "deferred_search.hpp"
#include "safety_check.hpp"

namespace velmor::drivers {

namespace {

void warn(const std::string& message) {
    velmor::log::log_<velmor::log::Level::Warn>("driver", message);
}

}  // namespace

void SimulatedDriver::inject_fault(Fault fault) {
    std::lock_guard lock(command_mutex);
    activate_fault(fault);
    if (running) {
        pending_strike = fault;
        fault_news = true;
    }
}

void SimulatedDriver::inject_fault(Fault fault, const Trigger& trigger) {
    ArmedFault armed {fault, trigger};
    std::lock_guard lock(command_mutex);
    new_armed_faults.push_back(std::move(armed));
    fault_news = true;
}

std::optional<Fault> SimulatedDriver::get_active_fault() const {
    const int code = active_fault_code.load();
    if (code == no_fault_code) {
        return std::nullopt;
    }
    return static_cast<Fault>(code);
}

void SimulatedDriver::clear_fault() {
    std::vector<ArmedFault> disarmed;
    std::lock_guard lock(command_mutex);
    active_fault_code = no_fault_code;
    pending_strike.reset();
    disarmed.swap(new_armed_faults);
    ++clear_count;
    fault_news = true;
}

ControllerStatus SimulatedDriver::get_controller_status() {
    const auto fault = get_active_fault();
    return fault ? fault_status(*fault) : ControllerStatus::Unknown;
}

SafetyLimits SimulatedDriver::get_safety_limits() const {
    std::lock_guard lock(safety_mutex);
    return safety_limits;
}

void SimulatedDriver::set_safety_limits(const SafetyLimits& limits) {
    std::lock_guard lock(safety_mutex);
    safety_limits = limits;
    watching_safety = limits.any();
}

void SimulatedDriver::activate_fault(Fault fault) {
    active_fault_code = static_cast<int>(fault);
    if (fault == Fault::ConnectionLost) {
        connected = false;
    }
    if (!running) {
        // Nothing moves, so nothing strikes that would tell of the fault later.
        warn("The controller reports " + std::string(fault_name(fault)) + ": " + fault_result(fault).description);
    }
}

std::optional<Result> SimulatedDriver::fault_refusal() const {
    if (const auto fault = get_active_fault()) {
        return fault_result(*fault);
    }
    return std::nullopt;
}

std::optional<Result> SimulatedDriver::start_refusal(const velmor::Trajectory& trajectory) const {
    if (!watching_safety || trajectory.empty()) {
        return std::nullopt;
    }
    velmor::State first = trajectory.front();
    slice_state_offset(first);
    if (const auto violation = safety_violation(first.position, first.velocity)) {
        warn("The motion is refused, as it would start beyond the safety limits: " + *violation);
        return Result::ErrorControllerSafetyViolation;
    }
    return std::nullopt;
}

std::optional<std::string> SimulatedDriver::safety_violation(const std::vector<double>& position,
                                                             const std::vector<double>& velocity) const {
    if (!watching_safety) {
        return std::nullopt;
    }
    std::lock_guard lock(safety_mutex);
    return find_safety_violation(safety_limits, joint_limits, *robot, position, velocity);
}

bool SimulatedDriver::faults_to_check() const {
    return fault_news.load(std::memory_order_relaxed) || watching_safety.load(std::memory_order_relaxed) ||
           holding || !armed_faults.empty();
}

TimeScaler::StepOutcome SimulatedDriver::check_faults(TimeScaler::StepOutcome outcome) {
    std::optional<Fault> fault;
    if (fault_news) {
        fault = take_fault_news();
    }
    if (!fault && active_fault_code == no_fault_code) {
        if (const auto violation = safety_violation(cycle_position, cycle_velocity)) {
            warn("The motion broke a safety limit: " + *violation);
            fault = Fault::SafetyViolation;
        }
    }
    if (!fault && active_fault_code == no_fault_code) {
        fault = fire_armed_fault();
    }
    if (fault) {
        return strike(*fault, outcome);
    }
    if (holding) {
        keep_holding();
    }
    return outcome;
}

std::optional<Fault> SimulatedDriver::take_fault_news() {
    std::lock_guard lock(command_mutex);
    fault_news = false;
    if (clears_seen != clear_count) {
        clears_seen = clear_count;
        armed_faults.clear();
    }
    if (!new_armed_faults.empty()) {
        armed_faults.insert(armed_faults.end(), std::make_move_iterator(new_armed_faults.begin()),
                            std::make_move_iterator(new_armed_faults.end()));
        new_armed_faults.clear();
    }
    return std::exchange(pending_strike, std::nullopt);
}

std::optional<Fault> SimulatedDriver::fire_armed_fault() {
    const double time = time_scaler.get_trajectory_time();
    for (auto armed = armed_faults.begin(); armed != armed_faults.end(); ++armed) {
        bool holds {false};
        try {
            holds = armed->trigger(robot, time, cycle_position, current_trajectory);
        } catch (...) {
            // A failing trigger would fail again in every later cycle and motion.
            armed_faults.erase(armed);
            throw;
        }
        if (holds) {
            const Fault fault = armed->fault;
            armed_faults.erase(armed);
            return fault;
        }
    }
    return std::nullopt;
}

TimeScaler::StepOutcome SimulatedDriver::strike(Fault fault, TimeScaler::StepOutcome outcome) {
    {
        std::lock_guard lock(command_mutex);
        activate_fault(fault);
        struck_fault = fault;
        // A command handed over in this cycle is not taken over: it ends with the fault.
        has_new_command = false;
    }
    warn("The controller stops the motion: " + std::string(fault_name(fault)) + ", " +
         fault_result(fault).description);
    // The way around obstacles that a search would bring belongs to the struck command.
    search->cancel();
    holding = fault == Fault::Hold;
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

void SimulatedDriver::keep_holding() {
    // A speed change during the hold would carry the robot on: the ramp starts again.
    if (active_fault_code == static_cast<int>(Fault::Hold) && !is_pausing && !is_paused()) {
        static_cast<void>(pause_async());
    }
}

void SimulatedDriver::freeze() {
    std::fill(cycle_velocity.begin(), cycle_velocity.end(), 0.0);
    {
        std::lock_guard lock(state_mutex);
        std::fill(current_state.velocity.begin(), current_state.velocity.end(), 0.0);
        std::fill(current_state.acceleration.begin(), current_state.acceleration.end(), 0.0);
    }
    // The robot stays where it stopped: resuming finds nothing left to play.
    const std::vector<std::vector<double>> rest {std::vector<double>(cycle_position.size(), 0.0)};
    current_trajectory = velmor::Trajectory({0.0}, {cycle_position}, rest, rest);
    time_scaler.set_trajectory(&current_trajectory);
}

bool SimulatedDriver::plan_fault_stop() {
    RobotState state;
    {
        std::lock_guard lock(state_mutex);
        state = current_state;
    }
    velmor::Trajectory stop;
    try {
        if (!calculate_trajectory(StopCommand {true}, stop, state)) {
            warn("No stop could be planned from the current state; the robot stands at once.");
            return false;
        }
    } catch (const VelmorError& error) {
        warn(std::string("No stop could be planned from the current state (") + error.what() +
             "); the robot stands at once.");
        return false;
    }
    current_trajectory = std::move(stop);
    time_scaler.set_trajectory(&current_trajectory);
    return true;
}

}  // namespace velmor::drivers
