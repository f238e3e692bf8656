// Planning of commands that reach a running control loop. A direct motion is planned
// and checked in the cycle the command arrives in, well within the cycle's time; a
// search around obstacles would take longer, so it runs beside the loop while the
// current motion plays on, and its result takes over at a cycle boundary.
#include <velmor/drivers/simulated_driver.hpp>

#include <utility>

#include "deferred_search.hpp"
#include "recording/recorder.hpp"

namespace velmor::drivers {

void SimulatedDriver::take_over_pending_command() {
    if (search->due()) {
        RobotState state;
        {
            std::lock_guard lock(state_mutex);
            state = current_state;
        }
        if (auto around = search->take(state)) {
            current_trajectory = std::move(*around);
            time_scaler.set_trajectory(&current_trajectory);
            recorder.on_trajectory_planned(current_trajectory.duration());
        }
    }
    if (!has_new_command.exchange(false)) {
        return;
    }
    Command command;
    {
        std::lock_guard lock(command_mutex);
        command = pending_command;
        // The command starts a motion of its own: a fault that struck the one before is not its fault.
        struck_fault.reset();
    }
    holding = false;
    RobotState state;
    {
        std::lock_guard lock(state_mutex);
        state = current_state;
    }
    // A newer command replaces the one a search was running for.
    search->cancel();
    velmor::Trajectory planned;
    switch (calculate_direct_trajectory(command, planned, state)) {
    case DirectPlanning::Planned: {
        std::lock_guard lock(command_mutex);
        // Refused, the command ends at once and the motion it was to replace plays on.
        if (const auto refusal = start_refusal(planned)) {
            complete_command(*refusal);
            break;
        }
        current_trajectory = std::move(planned);
        time_scaler.set_trajectory(&current_trajectory);
        recorder.on_trajectory_planned(current_trajectory.duration());
        break;
    }
    case DirectPlanning::Failed:
        break;
    case DirectPlanning::SearchNeeded: {
        RobotState handover = predict_state(current_trajectory, time_scaler.get_trajectory_time(),
                                            time_scaler.get_scale(), delta_time, DeferredSearch::lead_cycles);
        slice_state_offset(handover);
        search->start(
            [this, command](const RobotState& from, const std::atomic<bool>& cancel) -> std::optional<velmor::Trajectory> {
                velmor::Trajectory around;
                if (calculate_trajectory(command, around, from, &cancel)) {
                    return around;
                }
                return std::nullopt;
            },
            std::move(handover));
        break;
    }
    }
}

}  // namespace velmor::drivers
