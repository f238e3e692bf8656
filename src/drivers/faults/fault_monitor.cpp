// The loop learns of faults injected during a motion through `pending_strike`;
// armed faults are handed over like events, so that their triggers run without
// any lock held.
#include "fault_monitor.hpp"

#include <iterator>
#include <utility>

#include <velmor/log/log.hpp>

#include "safety_check.hpp"

namespace velmor::drivers {

namespace {

void warn(const std::string& message) {
    velmor::log::log_<velmor::log::Level::Warn>("driver", message);
}

}  // namespace

FaultMonitor::FaultMonitor(std::shared_ptr<velmor::Robot> robot, std::vector<velmor::JointLimits> joint_limits)
    : robot(std::move(robot)), joint_limits(std::move(joint_limits)), recovery(this->joint_limits.size()) {}

std::optional<Fault> FaultMonitor::active() const {
    const int code = active_code.load();
    if (code == no_fault_code) {
        return std::nullopt;
    }
    return static_cast<Fault>(code);
}

std::optional<Result> FaultMonitor::refusal() const {
    if (const auto fault = active()) {
        return fault_result(*fault);
    }
    return std::nullopt;
}

void FaultMonitor::inject(Fault fault, bool during_motion) {
    std::lock_guard lock(mutex);
    active_code = static_cast<int>(fault);
    if (during_motion) {
        pending_strike = fault;
        news = true;
    }
}

void FaultMonitor::arm(Fault fault, Trigger trigger) {
    ArmedFault armed {fault, std::move(trigger)};
    std::lock_guard lock(mutex);
    new_armed_faults.push_back(std::move(armed));
    news = true;
}

std::vector<FaultMonitor::ArmedFault> FaultMonitor::clear() {
    std::vector<ArmedFault> disarmed;
    std::lock_guard lock(mutex);
    if (active_code == static_cast<int>(Fault::SafetyViolation) && watching) {
        // The robot may stand beyond the limits that struck it: it must be able to come back.
        recovery.begin();
    }
    active_code = no_fault_code;
    pending_strike.reset();
    disarmed.swap(new_armed_faults);
    ++clear_count;
    news = true;
    return disarmed;
}

void FaultMonitor::mend_connection() {
    std::lock_guard lock(mutex);
    if (active_code == static_cast<int>(Fault::ConnectionLost)) {
        active_code = no_fault_code;
    }
    if (pending_strike == Fault::ConnectionLost) {
        pending_strike.reset();
    }
}

void FaultMonitor::drop_pending_strike() {
    std::lock_guard lock(mutex);
    pending_strike.reset();
}

SafetyLimits FaultMonitor::safety_limits() const {
    std::lock_guard lock(mutex);
    return limits;
}

void FaultMonitor::set_safety_limits(const SafetyLimits& new_limits) {
    std::lock_guard lock(mutex);
    limits = new_limits;
    watching = new_limits.any();
    if (!watching) {
        recovery.end();
    }
    news = true;
}

std::optional<std::string> FaultMonitor::safety_violation(const std::vector<double>& position,
                                                          const std::vector<double>& velocity) const {
    if (!watching) {
        return std::nullopt;
    }
    std::lock_guard lock(mutex);
    return find_safety_violation(limits, joint_limits, *robot, position, velocity);
}

std::optional<Result> FaultMonitor::start_refusal(const std::vector<double>& position,
                                                  const std::vector<double>& velocity) const {
    if (const auto violation = safety_violation(position, velocity)) {
        warn("The motion is refused, as it would start beyond the safety limits: " + *violation);
        return Result::ErrorControllerSafetyViolation;
    }
    return std::nullopt;
}

std::optional<Result> FaultMonitor::start_refusal(const velmor::Trajectory& trajectory,
                                                  const std::function<void(velmor::State&)>& narrow) {
    velmor::State state = trajectory.front();
    narrow(state);
    std::optional<std::string> farther;
    {
        std::lock_guard lock(mutex);
        if (recovery.active()) {
            SafetyRecovery trial = recovery;
            measure_excess(limits, joint_limits, *robot, state.position, state.velocity, excess);
            trial.restart_from(excess);
            const std::vector<double> start = excess;
            for (std::size_t i = 1; i < trajectory.size() && !farther; ++i) {
                state = trajectory.at(i);
                narrow(state);
                measure_excess(limits, joint_limits, *robot, state.position, state.velocity, excess);
                farther = trial.follow(excess);
            }
            if (!farther) {
                recovery.restart_from(start);
                return std::nullopt;
            }
        }
    }
    if (farther) {
        warn("The motion is refused, as it would carry the robot farther beyond the safety limits: " + *farther);
        return Result::ErrorControllerSafetyViolation;
    }
    return start_refusal(state.position, state.velocity);
}

bool FaultMonitor::recovering() const {
    std::lock_guard lock(mutex);
    return recovery.active();
}

bool FaultMonitor::has_work() const {
    return news.load(std::memory_order_relaxed) || watching.load(std::memory_order_relaxed) || !armed_faults.empty();
}

std::optional<Fault> FaultMonitor::check(const CycleView& cycle) {
    std::optional<Fault> fault;
    if (news) {
        fault = take_news();
    }
    if (!fault && active_code == no_fault_code) {
        if (const auto violation = cycle_violation(cycle.position, cycle.velocity)) {
            warn("The motion broke a safety limit: " + *violation);
            fault = Fault::SafetyViolation;
        }
    }
    if (!fault && !armed_faults.empty() && active_code == no_fault_code) {
        fault = fire_armed_fault(cycle);
    }
    return fault;
}

std::optional<std::string> FaultMonitor::cycle_violation(const std::vector<double>& position,
                                                         const std::vector<double>& velocity) {
    if (!watching) {
        return std::nullopt;
    }
    // A recovery begins, and limits change, only with news, which the check takes first.
    if (!cycle_recovering) {
        return find_safety_violation(cycle_limits, joint_limits, *robot, position, velocity);
    }
    std::lock_guard lock(mutex);
    if (!recovery.active()) {
        cycle_recovering = false;
        return find_safety_violation(limits, joint_limits, *robot, position, velocity);
    }
    measure_excess(limits, joint_limits, *robot, position, velocity, excess);
    auto farther = recovery.follow(excess);
    if (!farther && recovery.within()) {
        recovery.end();
        cycle_recovering = false;
    }
    return farther;
}

std::optional<Fault> FaultMonitor::take_news() {
    std::lock_guard lock(mutex);
    news = false;
    cycle_limits = limits;
    cycle_recovering = recovery.active();
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

std::optional<Fault> FaultMonitor::fire_armed_fault(const CycleView& cycle) {
    for (auto armed = armed_faults.begin(); armed != armed_faults.end(); ++armed) {
        bool holds {false};
        try {
            holds = armed->trigger(cycle.robot, cycle.trajectory_time, cycle.position, cycle.trajectory);
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

}  // namespace velmor::drivers
