// A command that finds the driver running completes the current promise and leaves
// a pending command; a loop that wants to end takes the motion lock, looks for such
// a pending command (then it goes on instead), completes its promise and clears
// `running` in one step. That is what makes the hand-over exact.
//
// A direct motion handed to a running loop is planned and checked in the cycle the
// command arrives in, well within the cycle's time; a search around obstacles would
// take longer, so it runs beside the loop while the current motion plays on, and its
// result takes over at a cycle boundary.
#include "command_planner.hpp"

#include <string>
#include <utility>

#include <velmor/drivers/simulated_driver.hpp>

#include "drivers/control_loop/control_loop.hpp"
#include "drivers/mirror/mirava_mirror.hpp"
#include "drivers/ready_future.hpp"
#include "drivers/recording/recorder.hpp"
#include "plan_failure.hpp"

namespace velmor::drivers {

namespace {

constexpr double resume_start_scale = 1e-9;
constexpr double resume_duration = 0.7;  // [s]

}  // namespace

CommandPlanner::CommandPlanner(SimulatedDriver& driver) : driver(driver), rest(driver) {}

std::shared_future<Result> CommandPlanner::run(const Command& command) {
    std::lock_guard lock(mutex);
    return run_locked(command);
}

std::shared_future<Result> CommandPlanner::stop(bool fast_stop) {
    std::lock_guard lock(mutex);
    if (const auto refusal = driver.faults->refusal()) {
        return ready_future(*refusal);
    }
    if (!driver.running) {
        return ready_future(driver.get_run_result());
    }
    return run_locked(StopCommand {fast_stop});
}

std::shared_future<Result> CommandPlanner::resume() {
    std::lock_guard lock(mutex);
    if (driver.running) {
        return ready_future(driver.get_run_result());
    }
    if (const auto refusal = driver.faults->refusal()) {
        return ready_future(*refusal);
    }
    // Nothing was ever played: there is no motion to go on with.
    if (driver.current_trajectory.empty()) {
        return ready_future(Result::Error);
    }
    {
        std::lock_guard state_lock(driver.state_mutex);
        // The resumed motion starts where the robot stands.
        if (driver.faults->safety_violation(driver.current_state.position, driver.current_state.velocity)) {
            return ready_future(Result::ErrorControllerSafetyViolation);
        }
    }
    {
        // The ramp up replaces a pause ramp that an ended trajectory left to the next one.
        std::lock_guard pause_lock(driver.pause_mutex);
        driver.time_scaler.set_scale(resume_start_scale);
        driver.time_scaler.move_scale_linearly_to(driver.speed, resume_duration);
        driver.is_pausing = false;
    }
    driver.loop->collect_finished();
    auto future = replace_promise();
    driver.recorder.on_resume_started();
    start_motion();
    return future;
}

std::shared_future<Result> CommandPlanner::run_locked(const Command& command) {
    if (!driver.connected) {
        return ready_future(Result::ErrorControllerConnection);
    }
    if (const auto refusal = driver.faults->refusal()) {
        return ready_future(*refusal);
    }
    if (driver.running) {
        // A motion that a fault struck keeps the fault's result, even when the fault
        // was cleared while the robot came to rest and this command takes over.
        complete(struck_result                                  ? *struck_result
                 : std::holds_alternative<StopCommand>(command) ? Result::ErrorTrajectoryAborted
                                                                : driver.get_run_result());
        auto future = replace_promise();
        driver.recorder.on_command_started(command);
        driver.pending_command = command;
        driver.has_new_command.exchange(true);
        return future;
    }

    driver.loop->collect_finished();
    auto future = replace_promise();
    driver.recorder.on_command_started(command);
    RobotState state;
    {
        std::lock_guard state_lock(driver.state_mutex);
        state = driver.current_state;
    }
    velmor::Trajectory planned;
    try {
        if (!driver.calculate_trajectory(command, planned, state, nullptr, &plan_failure)) {
            plan_failure = tell_plan_failure(std::move(plan_failure));
            complete(Result::ErrorTrajectoryDidNotUpdate);
            return future;
        }
    } catch (...) {
        complete(Result::Error);
        throw;
    }
    // Refused, the trajectory is not kept: resume() goes on with the motion before it.
    if (const auto refusal = start_refusal(planned)) {
        complete(*refusal);
        return future;
    }
    adopt_trajectory(std::move(planned), Origin::Command);
    start_motion();
    return future;
}

void CommandPlanner::adopt_trajectory(velmor::Trajectory trajectory, Origin origin) {
    driver.current_trajectory = std::move(trajectory);
    driver.time_scaler.set_trajectory(&driver.current_trajectory);
    if (origin == Origin::Command) {
        driver.recorder.on_trajectory_planned(driver.current_trajectory.duration());
    }
}

std::shared_future<Result> CommandPlanner::replace_promise() {
    promise = std::promise<Result>();
    promise_done = false;
    return promise.get_future().share();
}

void CommandPlanner::complete(const Result& result) {
    if (!promise_done) {
        // Recorded before the waiter wakes, which may stop the recording at once.
        driver.recorder.on_command_finished(result, std::exchange(plan_failure, {}));
        promise.set_value(result);
        promise_done = true;
    }
}

void CommandPlanner::start_motion() {
    driver.running = true;
    // A motion starts only while no fault is active: a strike still pending came
    // too late for the motion before and belongs to no motion.
    driver.faults->drop_pending_strike();
    struck_result.reset();
    hold = false;
    driver.mirror->restart();
    driver.loop->start();
}

void CommandPlanner::end_motion() {
    driver.has_new_command = false;
    hold = false;
    driver.loop->end();
    driver.stop_running();
}

void CommandPlanner::fail() {
    // The way around obstacles that a search would bring belongs to the failed command.
    search.cancel();
    end_motion();
    complete(Result::Error);
}

void CommandPlanner::interrupt() {
    search.cancel();
    std::lock_guard lock(mutex);
    driver.on_motion_did_finish();
    end_motion();
}

bool CommandPlanner::finish_cycle(TimeScaler::StepOutcome outcome) {
    if (outcome == TimeScaler::StepOutcome::Moving ||
        (search.pending() && outcome == TimeScaler::StepOutcome::Finished)) {
        return false;
    }
    {
        std::lock_guard lock(mutex);
        if (outcome == TimeScaler::StepOutcome::Finished) {
            // The pause lost to the end of its trajectory, even when a new command
            // carries the motion on.
            driver.end_outrun_pause();
        }
        if (driver.has_new_command) {
            // A command arrived in this very cycle; the next cycle takes it over.
            return false;
        }
        // The loop counts as ended before its caller can see the result.
        end_motion();
        if (outcome == TimeScaler::StepOutcome::Finished) {
            driver.on_motion_did_finish();
        }
        if (struck_result) {
            complete(*struck_result);
        } else if (outcome == TimeScaler::StepOutcome::Finished) {
            complete(driver.get_run_result());
        } else {
            complete(Result::ErrorTrajectoryAborted);
        }
    }
    // A search still running belonged to the motion that ended (a pause's standstill).
    search.cancel();
    return true;
}

void CommandPlanner::take_over_pending_command() {
    if (search.due()) {
        RobotState state;
        {
            std::lock_guard lock(driver.state_mutex);
            state = driver.current_state;
        }
        if (auto around = search.take(state)) {
            adopt_trajectory(std::move(*around), Origin::Command);
        }
    }
    // Read before it is taken: most cycles have no new command, and a read costs less than an exchange.
    if (!driver.has_new_command.load() || !driver.has_new_command.exchange(false)) {
        return;
    }
    Command command;
    {
        std::lock_guard lock(mutex);
        command = driver.pending_command;
        // The command starts a motion of its own: a fault that struck the one before is not its fault.
        struck_result.reset();
    }
    hold = false;
    RobotState state;
    {
        std::lock_guard lock(driver.state_mutex);
        state = driver.current_state;
    }
    // A newer command replaces the one a search was running for.
    search.cancel();
    velmor::Trajectory planned;
    std::string failure;
    switch (driver.calculate_direct_trajectory(command, planned, state, &failure)) {
    case SimulatedDriver::DirectPlanning::Planned: {
        std::lock_guard lock(mutex);
        // Refused, the command ends at once and the motion it was to replace plays on.
        if (const auto refusal = start_refusal(planned)) {
            complete(*refusal);
            break;
        }
        adopt_trajectory(std::move(planned), Origin::Command);
        break;
    }
    case SimulatedDriver::DirectPlanning::Failed: {
        std::string reason = tell_plan_failure(std::move(failure));
        std::lock_guard lock(mutex);
        // Unless a newer command has completed this one's future already.
        plan_failure = driver.has_new_command ? std::string() : std::move(reason);
        break;
    }
    case SimulatedDriver::DirectPlanning::SearchNeeded:
        start_search(command);
        break;
    }
}

void CommandPlanner::start_search(const Command& command) {
    RobotState handover = predict_state(driver.current_trajectory, driver.time_scaler.get_trajectory_time(),
                                        driver.time_scaler.get_scale(), driver.delta_time, DeferredSearch::lead_cycles);
    driver.slice_state_offset(handover);
    search.start(
        [&driver = driver, command](const RobotState& from,
                                    const std::atomic<bool>& cancel) -> std::optional<velmor::Trajectory> {
            velmor::Trajectory around;
            if (driver.calculate_trajectory(command, around, from, &cancel)) {
                return around;
            }
            return std::nullopt;
        },
        std::move(handover));
}

}  // namespace velmor::drivers
