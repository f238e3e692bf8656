// Command execution of the simulated driver: the hand-over of commands to the
// control loop and the loop itself.
//
// The hand-over is exact because `running` only changes under `command_mutex`:
// a command that finds the driver running completes the current promise and
// leaves a pending command, and a loop that wants to end takes the lock, looks
// for such a pending command (then it goes on instead), completes its promise
// and clears `running` in one step. After that last locked step a thread that
// ran the cycle touches no member, so a command that waits for it under the
// lock is never waiting for the lock itself.
//
// One cycle body, run_cycle, serves the loop thread and the stepping callers
// (simulated_driver_stepping.cpp); whichever runs it owns the loop's state for
// that cycle, and at most one runs at a time.
#include <velmor/drivers/simulated_driver.hpp>

#include <chrono>
#include <csignal>
#include <iostream>
#include <string>
#include <type_traits>
#include <utility>

#include <velmor/join.hpp>

#include "cycle_pacer.hpp"
#include "deferred_search.hpp"
#include "ready_future.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

namespace {

constexpr double resume_start_scale = 1e-9;
constexpr double resume_duration = 0.7;  // [s]

}  // namespace

std::shared_future<Result> SimulatedDriver::run_async(const velmor::Trajectory& trajectory) {
    return run_command_async(TrajectoryCommand {trajectory});
}

std::shared_future<Result> SimulatedDriver::move_to_async(const Goal& goal, bool ignore_collisions) {
    return run_command_async(PointCommand {goal, ignore_collisions});
}

std::shared_future<Result> SimulatedDriver::move_along_async(const std::string& name, const std::optional<Goal>& goal,
                                                             bool ignore_collisions) {
    return run_command_async(MotionCommand {name, goal, ignore_collisions});
}

std::shared_future<Result> SimulatedDriver::blend_into_async(const velmor::Trajectory& trajectory, double duration) {
    return run_command_async(BlendIntoCommand {trajectory, duration});
}

std::shared_future<Result> SimulatedDriver::stop_async(bool fast_stop) {
    std::lock_guard lock(command_mutex);
    if (const auto refusal = fault_refusal()) {
        return ready_future(*refusal);
    }
    if (!running) {
        return ready_future(get_run_result());
    }
    return run_command_locked(StopCommand {fast_stop});
}

std::shared_future<Result> SimulatedDriver::resume_async() {
    std::lock_guard lock(command_mutex);
    if (running) {
        return ready_future(get_run_result());
    }
    if (const auto refusal = fault_refusal()) {
        return ready_future(*refusal);
    }
    // Nothing was ever played: there is no motion to go on with.
    if (current_trajectory.empty()) {
        return ready_future(Result::Error);
    }
    {
        std::lock_guard state_lock(state_mutex);
        // The resumed motion starts where the robot stands.
        if (safety_violation(current_state.position, current_state.velocity)) {
            return ready_future(Result::ErrorControllerSafetyViolation);
        }
    }
    time_scaler.set_scale(resume_start_scale);
    time_scaler.move_scale_linearly_to(speed, resume_duration);
    collect_finished_loop();
    auto future = replace_command_promise();
    recorder.on_resume_started();
    start_loop();
    return future;
}

std::shared_future<Result> SimulatedDriver::run_command_async(const Command& command) {
    std::lock_guard lock(command_mutex);
    return run_command_locked(command);
}

std::shared_future<Result> SimulatedDriver::run_command_locked(const Command& command) {
    if (!connected) {
        return ready_future(Result::ErrorControllerConnection);
    }
    if (const auto refusal = fault_refusal()) {
        return ready_future(*refusal);
    }
    if (running) {
        // A motion that a fault struck keeps the fault's result, even when the fault
        // was cleared while the robot came to rest and this command takes over.
        complete_command(struck_fault                                        ? fault_result(*struck_fault)
                         : std::holds_alternative<StopCommand>(command) ? Result::ErrorTrajectoryAborted
                                                                        : get_run_result());
        auto future = replace_command_promise();
        recorder.on_command_started(command);
        pending_command = command;
        has_new_command.exchange(true);
        return future;
    }

    collect_finished_loop();
    auto future = replace_command_promise();
    recorder.on_command_started(command);
    RobotState state;
    {
        std::lock_guard state_lock(state_mutex);
        state = current_state;
    }
    velmor::Trajectory planned;
    try {
        if (!calculate_trajectory(command, planned, state)) {
            complete_command(Result::ErrorTrajectoryDidNotUpdate);
            return future;
        }
    } catch (...) {
        complete_command(Result::Error);
        throw;
    }
    // Refused, the trajectory is not kept: resume() goes on with the motion before it.
    if (const auto refusal = start_refusal(planned)) {
        complete_command(*refusal);
        return future;
    }
    current_trajectory = std::move(planned);
    time_scaler.set_trajectory(&current_trajectory);
    recorder.on_trajectory_planned(current_trajectory.duration());
    start_loop();
    return future;
}

std::shared_future<Result> SimulatedDriver::replace_command_promise() {
    command_promise = std::promise<Result>();
    command_promise_done = false;
    return command_promise.get_future().share();
}

void SimulatedDriver::complete_command(const Result& result) {
    if (!command_promise_done) {
        // Recorded before the waiter wakes, which may stop the recording at once.
        recorder.on_command_finished(result);
        command_promise.set_value(result);
        command_promise_done = true;
    }
}

void SimulatedDriver::start_loop() {
    running = true;
    // A motion starts only while no fault is active: a strike still pending came
    // too late for the motion before and belongs to no motion.
    pending_strike.reset();
    struck_fault.reset();
    holding = false;
    cycle_counter = 0;
    if (!stepping) {
        launch_loop_thread();
    }
}

void SimulatedDriver::launch_loop_thread() {
    // Counted from here, under the lock, so that the count is back to 0 by the time
    // anybody sees the motion's result.
    enter_cycles();
    loop_thread_active = true;
    try {
        control_loop = std::async(std::launch::async, &SimulatedDriver::run_loop_thread, this);
    } catch (...) {
        loop_thread_active = false;
        leave_cycles();
        stop_running();
        complete_command(Result::Error);
        throw;
    }
}

void SimulatedDriver::collect_finished_loop() {
    if (!control_loop.valid()) {
        return;
    }
    try {
        control_loop.get();
    } catch (...) {
        loop_error = std::current_exception();
    }
}

void SimulatedDriver::wait_for_loop_end() {
    std::future<void> loop;
    {
        std::lock_guard lock(command_mutex);
        loop = std::move(control_loop);
    }
    if (loop.valid()) {
        loop.wait();
    }
}

void SimulatedDriver::end_loop() {
    has_new_command = false;
    holding = false;
    if (loop_thread_active) {
        loop_thread_active = false;
        leave_cycles();
    }
    stop_running();
}

void SimulatedDriver::enter_cycles() {
    const int loops = active_loops.fetch_add(1) + 1;
    int most = most_active_loops.load();
    while (loops > most && !most_active_loops.compare_exchange_weak(most, loops)) {
    }
}

void SimulatedDriver::leave_cycles() {
    active_loops.fetch_sub(1);
}

void SimulatedDriver::run_loop_thread() {
    try {
        run_command();
    } catch (...) {
        // Leave the driver usable: the pending command fails, and the error
        // stays in the loop's future for disconnect() to rethrow.
        search->cancel();
        std::lock_guard lock(command_mutex);
        end_loop();
        complete_command(Result::Error);
        throw;
    }
}

void SimulatedDriver::run_command() {
    CyclePacer pacer;
    while (run_cycle()) {
        if (stepping && hand_over_to_stepping()) {
            return;
        }
        pacer.pause(delta_time / time_speed.load(), pacing.load());
    }
}

bool SimulatedDriver::hand_over_to_stepping() {
    std::lock_guard lock(command_mutex);
    if (!stepping) {
        return false;
    }
    loop_thread_active = false;
    leave_cycles();
    return true;
}

bool SimulatedDriver::run_cycle(const std::function<void()>& observe) {
    const ControlCycle cycle;
    if (global_signal_status.load() == SIGINT) {
        search->cancel();
        std::lock_guard lock(command_mutex);
        on_motion_did_finish();
        end_loop();
        return false;
    }
    take_over_pending_command();
    TimeScaler::StepOutcome outcome = step_state();
    if (faults_to_check()) {
        outcome = check_faults(outcome);
    }
    record_cycle(outcome);
    if (log_stream || log_motions) {
        print_cycle_lines();
    }
    if (has_mirava) {
        send_to_mirava();
    }
    if (has_events()) {
        check_for_events(time_scaler.get_trajectory_time(), cycle_position);
    }
    if (observe) {
        observe();
    }
    if (finish_cycle(outcome, search->pending())) {
        // A search still running belonged to the motion that ended (a pause's standstill).
        search->cancel();
        return false;
    }
    return true;
}

TimeScaler::StepOutcome SimulatedDriver::step_state() {
    std::lock_guard lock(state_mutex);
    const TimeScaler::StepOutcome outcome = time_scaler.next(current_state);
    slice_state_offset(current_state);
    cycle_position = current_state.position;
    cycle_velocity = current_state.velocity;
    return outcome;
}

void SimulatedDriver::record_cycle(TimeScaler::StepOutcome outcome) {
    // Most cycles are not recorded; on_cycle checks again under the lock, so a cycle
    // racing the start of a recording is at worst left out of it.
    if (!recorder.is_recording()) {
        return;
    }
    std::lock_guard lock(state_mutex);
    recorder.on_cycle(current_state, time_scaler.get_scale(), outcome != TimeScaler::StepOutcome::Moving);
}

void SimulatedDriver::send_to_mirava() {
    if (cycle_counter % mirava_update_interval == 0) {
        if (const auto client = get_mirava()) {
            client->set_joint_position(cycle_position, nullptr);
        }
    }
    ++cycle_counter;
}

bool SimulatedDriver::finish_cycle(TimeScaler::StepOutcome outcome, bool searching) {
    if (outcome == TimeScaler::StepOutcome::Moving ||
        (searching && outcome == TimeScaler::StepOutcome::Finished)) {
        return false;
    }
    std::lock_guard lock(command_mutex);
    if (outcome == TimeScaler::StepOutcome::Finished) {
        // The pause lost to the end of its trajectory, even when a new command
        // carries the motion on.
        end_outrun_pause();
    }
    if (has_new_command) {
        // A command arrived in this very cycle; the next cycle takes it over.
        return false;
    }
    // The loop counts as ended before its caller can see the result.
    end_loop();
    if (outcome == TimeScaler::StepOutcome::Finished) {
        on_motion_did_finish();
    }
    if (struck_fault) {
        complete_command(fault_result(*struck_fault));
    } else if (outcome == TimeScaler::StepOutcome::Finished) {
        complete_command(get_run_result());
    } else {
        complete_command(Result::ErrorTrajectoryAborted);
    }
    return true;
}

void SimulatedDriver::print_cycle_lines() const {
    const std::string position = velmor::join(cycle_position, 4);
    if (log_stream) {
        std::cout << "position=[" + position + "]" << std::endl;
    }
    if (log_motions) {
        const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
        std::cout << "[velmor.driver.log_motion] step=" + std::to_string(now) + " | desired_position=[" + position + "]"
                  << std::endl;
    }
}

}  // namespace velmor::drivers
