#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <velmor/drivers/events.hpp>
#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/faults/safety_limits.hpp>
#include <velmor/drivers/result.hpp>
#include <velmor/motion/robot.hpp>
#include <velmor/motion/state.hpp>
#include <velmor/motion/trajectory.hpp>

#include "safety_recovery.hpp"

namespace velmor::drivers {

//! What a fault check sees of one control cycle: the context of triggers and the commanded state.
struct CycleView {
    const std::shared_ptr<velmor::Robot>& robot;
    //! Playback position on the trajectory [s].
    double trajectory_time;
    //! Commanded joint positions [rad] or [m].
    const std::vector<double>& position;
    //! Commanded joint velocities [rad/s] or [m/s].
    const std::vector<double>& velocity;
    const velmor::Trajectory& trajectory;
};

//! The simulated controller's faults: the active fault, a fault injected for the
//! running motion, faults armed with a trigger, and the safety limits watched in
//! every cycle, with the way back within them once a safety fault was cleared.
//! `check` decides which fault, if any, strikes in a cycle; what the strike does to
//! the motion is its caller's business.
//!
//! Injecting, arming, clearing and the limits may come from any thread; `check`
//! and `has_work` belong to the thread that runs the control cycles. `mutex`
//! guards what callers hand to the cycles (a pending strike, newly armed faults,
//! the count of clears), the safety limits and the recovery. The active fault and the flags that
//! tell a cycle whether there is anything to check are atomic, so that a cycle
//! with nothing to check takes no lock and a script thread reads the fault freely.
class FaultMonitor {
public:
    //! A fault waiting for its trigger.
    struct ArmedFault {
        Fault fault;
        Trigger trigger;
    };

    //! Watches `robot`, whose driven joints have `joint_limits`.
    FaultMonitor(std::shared_ptr<velmor::Robot> robot, std::vector<velmor::JointLimits> joint_limits);

    //! The active fault; empty when there is none.
    [[nodiscard]] std::optional<Fault> active() const;
    //! The refusal of every motion command while a fault is active: the fault's result.
    [[nodiscard]] std::optional<Result> refusal() const;
    //! Makes `fault` the active fault; with `during_motion` the next check strikes with it.
    void inject(Fault fault, bool during_motion);
    //! Arms `fault` to strike in the first checked cycle that makes `trigger` hold.
    void arm(Fault fault, Trigger trigger);
    //! Acknowledges the active fault and drops a pending strike and every armed fault;
    //! a SafetyViolation leaves the robot recovering.
    //! Returns the disarmed faults, to be let go of once the caller holds no lock:
    //! their triggers may hold on to script objects.
    [[nodiscard]] std::vector<ArmedFault> clear();
    //! Ends a lost connection, active or still to strike.
    void mend_connection();
    //! Drops a strike still pending: it came too late for the motion before the one starting now.
    void drop_pending_strike();

    //! The safety limits watched in every cycle.
    [[nodiscard]] SafetyLimits safety_limits() const;
    //! Watches `limits` from the next check on.
    void set_safety_limits(const SafetyLimits& limits);
    //! Whether any safety limit is watched.
    [[nodiscard]] bool watching_safety() const { return watching.load(std::memory_order_relaxed); }
    //! How the state breaks a watched limit, for the log; empty when it keeps them all.
    [[nodiscard]] std::optional<std::string> safety_violation(const std::vector<double>& position,
                                                              const std::vector<double>& velocity) const;

    //! The refusal of a motion that would start in a state beyond the watched limits, logged.
    [[nodiscard]] std::optional<Result> start_refusal(const std::vector<double>& position,
                                                      const std::vector<double>& velocity) const;
    //! The refusal of a motion along `trajectory`, whose states `narrow` makes the
    //! driven robot's, logged: while recovering, one that carries the robot farther
    //! beyond a limit anywhere along it (then the cycles follow it from its start);
    //! otherwise one that starts beyond the limits.
    [[nodiscard]] std::optional<Result> start_refusal(const velmor::Trajectory& trajectory,
                                                      const std::function<void(velmor::State&)>& narrow);
    //! Whether the robot is on its way back within the limits after a SafetyViolation
    //! was cleared: motions may then start beyond the limits but must never carry it
    //! farther beyond any of them, until it is within them all.
    [[nodiscard]] bool recovering() const;

    //! Whether a cycle has anything to check: news from callers, safety limits or armed faults.
    [[nodiscard]] bool has_work() const;
    //! The fault that strikes in `cycle`, if any: one injected during the motion, else
    //! (while no fault is active) a broken safety limit (while recovering: a limit the
    //! robot went farther beyond), else the earliest armed fault
    //! whose trigger holds, which is disarmed. A trigger that throws is disarmed and its
    //! error passed on.
    std::optional<Fault> check(const CycleView& cycle);

private:
    std::optional<Fault> take_news();
    std::optional<std::string> cycle_violation(const std::vector<double>& position, const std::vector<double>& velocity);
    std::optional<Fault> fire_armed_fault(const CycleView& cycle);

    static constexpr int no_fault_code {-1};

    const std::shared_ptr<velmor::Robot> robot;
    const std::vector<velmor::JointLimits> joint_limits;

    std::atomic<int> active_code {no_fault_code};
    // Set under `mutex` when a caller left something for the next check.
    std::atomic<bool> news {false};
    std::atomic<bool> watching {false};

    mutable std::mutex mutex;
    // Under `mutex`.
    std::optional<Fault> pending_strike;
    std::vector<ArmedFault> new_armed_faults;
    std::uint64_t clear_count {0};
    SafetyLimits limits;
    SafetyRecovery recovery;
    // Where the state measured last lies beyond the limits; kept to reuse its capacity.
    std::vector<double> excess;

    // Owned by the thread that runs the cycles: the armed faults taken over, and the clears seen.
    std::vector<ArmedFault> armed_faults;
    std::uint64_t clears_seen {0};
    // Also the cycles' own: the limits and whether the robot recovers, as of the last news,
    // so that a cycle that checks the limits outside a recovery takes no lock.
    SafetyLimits cycle_limits;
    bool cycle_recovering {false};
};

}  // namespace velmor::drivers
