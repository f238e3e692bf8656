#pragma once

#include <exception>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <velmor/drivers/commands.hpp>
#include <velmor/drivers/faults/fault.hpp>
#include <velmor/drivers/result.hpp>
#include <velmor/drivers/time_scaler.hpp>
#include <velmor/motion/trajectory.hpp>

#include "deferred_search.hpp"
#include "rest_planner.hpp"
#include "drivers/faults/fault_monitor.hpp"

namespace velmor::drivers {

class SimulatedDriver;

//! Turns the simulated driver's commands into motions: plans them (a search around
//! obstacles beside the running motion), hands them to the control loop, adopts their
//! trajectories, stops a motion that a fault strikes and completes the commands' futures.
//!
//! `mutex` is the driver's motion lock. It serialises the commands, the faults and
//! the hand-over to the control loop: the driver's `running` and pending command,
//! the promise of the command being executed and the fault that struck its motion
//! change only under it. It is never held while sleeping or planning on the loop.
//! The search and whether a Hold keeps the motion on its way to a standstill belong
//! to the thread that runs the cycles.
class CommandPlanner {
public:
    //! Whose trajectory is adopted: a command's counts as its planned motion in a
    //! recording, a fault's stop does not.
    enum class Origin { Command, Fault };

    explicit CommandPlanner(SimulatedDriver& driver);
    CommandPlanner(const CommandPlanner&) = delete;
    CommandPlanner& operator=(const CommandPlanner&) = delete;

    //! The motion lock.
    [[nodiscard]] std::mutex& motion_mutex() { return mutex; }

    //! Plans `command` and starts its motion, or hands it to the running one.
    std::shared_future<Result> run(const Command& command);
    //! Brings a running motion to rest.
    std::shared_future<Result> stop(bool fast_stop);
    //! Goes on with the last motion from where the robot stands, ramping up to the set speed.
    std::shared_future<Result> resume();

    //! Makes the controller suffer `fault` now; a running motion is struck in its next cycle.
    void inject_fault(Fault fault);
    //! Acknowledges the active fault and disarms the armed ones (see FaultMonitor::clear).
    [[nodiscard]] std::vector<FaultMonitor::ArmedFault> clear_fault();
    //! Connects or disconnects; connecting also ends a lost connection, in one step
    //! with it under the motion lock, which a fault's strike takes too.
    void set_connected(bool connected);

    // The control cycle's part, on the thread that runs it.

    //! Plans the command handed to the running motion, if any, and takes over the
    //! result of a search around obstacles when its hand-over is due.
    void take_over_pending_command();
    //! Whether a Hold keeps the motion on its way to a standstill.
    [[nodiscard]] bool holding() const { return hold; }
    //! Stops the motion that `fault` strikes in this cycle; the cycle's outcome after it.
    TimeScaler::StepOutcome strike(Fault fault, TimeScaler::StepOutcome outcome);
    //! Stops the motion whose event failed in this cycle with `error`, along the planner's
    //! stop from the current state; its command ends with Result::Error once the robot
    //! stands, and `error` is kept for disconnect. The cycle's outcome after it.
    TimeScaler::StepOutcome fail_in_cycle(std::exception_ptr error);
    //! Keeps a Hold's pause ramp going while the fault is active.
    void keep_holding();
    //! Whether the motion ends with this cycle, then completing its command. With
    //! `outcome` Finished a motion waiting for a search's result holds at its end.
    bool finish_cycle(TimeScaler::StepOutcome outcome);
    //! Ends the motion at once, as an interrupt of the program does.
    void interrupt();
    //! Ends the motion and fails its command with Result::Error. Needs the motion lock.
    void fail();

private:
    std::shared_future<Result> run_locked(const Command& command);
    // Makes `trajectory` the one the time scaler plays.
    void adopt_trajectory(velmor::Trajectory trajectory, Origin origin);
    void start_motion();
    void end_motion();
    std::shared_future<Result> replace_promise();
    void complete(const Result& result);
    // Makes `fault` active, striking the running motion later with `strike_later`.
    void activate_fault(Fault fault, bool strike_later);
    // The refusal of a trajectory that starts beyond the safety limits; empty when it may go ahead.
    [[nodiscard]] std::optional<Result> start_refusal(const velmor::Trajectory& trajectory) const;
    void freeze();
    bool plan_fault_stop();
    void start_search(const Command& command);

    SimulatedDriver& driver;
    const RestPlanner rest;

    std::mutex mutex;
    // Under `mutex`.
    std::promise<Result> promise;
    bool promise_done {false};
    // What a fault or a failed event that struck the motion makes its command report.
    std::optional<Result> struck_result;
    // Why the command of `promise` could not be planned (a running motion goes on
    // without it); recorded, and cleared, when it completes.
    std::string plan_failure;

    // Owned by the thread that runs the cycles.
    bool hold {false};
    DeferredSearch search;
};

}  // namespace velmor::drivers
