#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include <velmor/drivers/robot_state.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

//! A search around obstacles that the control loop started for a new command. It
//! runs on a thread of its own while the loop keeps playing the current motion, from
//! the state that motion will have reached after `lead_cycles` more cycles; at the
//! start of the cycle after those the loop takes the result over. Used only by the
//! thread that runs the cycles: the loop thread, or a stepping caller.
class DeferredSearch {
public:
    //! What searches: from a state, giving up once the flag is set.
    using Search = std::function<std::optional<velmor::Trajectory>(const RobotState&, const std::atomic<bool>&)>;

    //! Cycles the current motion plays on while a search runs (0.2 s at 4 ms); the loop
    //! waits at the hand-over only for a search that takes longer.
    static constexpr std::size_t lead_cycles = 50;

    DeferredSearch() = default;
    //! Cancels a running search and waits for every search to end.
    ~DeferredSearch();
    DeferredSearch(const DeferredSearch&) = delete;
    DeferredSearch& operator=(const DeferredSearch&) = delete;

    //! Starts `search` from `handover` (the state after lead_cycles cycles), replacing
    //! a search still running, which is cancelled.
    void start(Search search, RobotState handover);
    //! Whether a search waits for its hand-over.
    [[nodiscard]] bool pending() const { return result.valid(); }
    //! Counts the start of a cycle; whether a search's hand-over is due in it.
    bool due();
    //! At a due hand-over: waits for the search and returns its trajectory, unless it found
    //! none or the loop's state `current` is not the state it started from.
    std::optional<velmor::Trajectory> take(const RobotState& current);
    //! Cancels a running search; it ends on its own thread soon after.
    void cancel();

private:
    std::shared_ptr<std::atomic<bool>> cancelled;
    std::future<std::optional<velmor::Trajectory>> result;
    // Cancelled searches not yet seen to end.
    std::vector<std::future<std::optional<velmor::Trajectory>>> retired;
    RobotState from;
    std::size_t cycles_left {0};
};

//! The state in which playing `trajectory` from `trajectory_time` [s] at a steady `scale`
//! ends its `cycles`-th cycle of `delta_time` [s]: the time scaler's own cycles, played ahead.
RobotState predict_state(const velmor::Trajectory& trajectory, double trajectory_time, double scale,
                         double delta_time, std::size_t cycles);

}  // namespace velmor::drivers
