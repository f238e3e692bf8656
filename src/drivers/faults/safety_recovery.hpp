#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velmor::drivers {

//! The way back within the safety limits once a safety fault has been cleared, as
//! a controller allows it: the robot may move only so that none of the amounts by
//! which it lies beyond a limit (see measure_excess) grows, until it is within them
//! all. Not synchronised: its owner guards it.
class SafetyRecovery {
public:
    //! For a robot of `joints` joints.
    explicit SafetyRecovery(std::size_t joints);

    //! Whether the robot is on its way back.
    [[nodiscard]] bool active() const { return recovering; }
    //! Starts the way back; the first state followed is where it starts from.
    void begin();
    //! Ends the way back.
    void end();
    //! Starts again from `excess`, where a motion starts.
    void restart_from(const std::vector<double>& excess);
    //! Follows the robot to a state that lies `excess` beyond the limits. How an amount
    //! grew, for the log, when one did; empty otherwise, keeping the least amounts seen.
    [[nodiscard]] std::optional<std::string> follow(const std::vector<double>& excess);
    //! Whether every amount has come down to 0 along the way.
    [[nodiscard]] bool within() const;

private:
    [[nodiscard]] std::string name_of(std::size_t measure) const;

    std::size_t joints;
    bool recovering {false};
    // The least amount of each measure along the way; empty until the first state.
    std::vector<double> least;
};

}  // namespace velmor::drivers
