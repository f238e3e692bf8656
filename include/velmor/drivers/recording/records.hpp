#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <velmor/drivers/result.hpp>
#include <velmor/drivers/signal_value.hpp>

namespace velmor::drivers {

//! One command given to the driver while recording, with the time it took.
//! Simulated times are the driver's simulated clock and wall-clock times count,
//! both from the start of the recording.
struct CommandRecord {
    //! Position among the recording's commands, from 0.
    std::uint64_t index {0};
    //! "run", "move_to", "move_along", "blend_into", "stop" or "resume".
    std::string kind;
    //! The command's arguments in short.
    std::string arguments;
    //! Duration of the trajectory planned for it [s]; empty when none was planned.
    std::optional<double> planned_duration;
    //! Simulated time when it was given [s].
    double start_time {0.0};
    //! Wall-clock time when it was given [s].
    double start_wall_time {0.0};
    //! Simulated time when its result was set [s]; empty when the recording ended first.
    std::optional<double> end_time;
    //! Wall-clock time when its result was set [s]; empty when the recording ended first.
    std::optional<double> end_wall_time;
    //! Its result; empty when the recording ended first or the command got none.
    std::optional<Result> result;
    //! Why its trajectory could not be planned; empty when it was, or when no plan was needed.
    std::optional<std::string> plan_failure;
};

//! One event whose trigger held.
struct EventRecord {
    //! Position of the event in the order of add_event calls since the driver was made, from 0.
    std::uint64_t event {0};
    //! Simulated time of the cycle in which it fired [s].
    double time {0.0};
    //! Wall-clock time at which it fired [s].
    double wall_time {0.0};
    //! Time along the trajectory given to its action [s].
    double trajectory_time {0.0};
    //! Index of the command being executed; empty when none.
    std::optional<std::uint64_t> command;
};

//! One change of a simulated I/O signal's value.
struct IoRecord {
    //! Name of the signal.
    std::string name;
    //! Value before the change; empty when the change created the signal.
    std::optional<SignalValue> old_value;
    //! Value after the change.
    SignalValue new_value;
    //! Who changed it.
    IoSource source {IoSource::Script};
    //! The device that changed it, when the source is a device; else empty.
    std::string device;
    //! Simulated time of the change [s].
    double time {0.0};
    //! Wall-clock time of the change [s].
    double wall_time {0.0};
};

//! A point on the clock that the program marked, e.g. "part 3 placed".
struct MarkRecord {
    //! Longest label [bytes].
    static constexpr std::size_t max_label_bytes = 1024;

    //! The program's label, UTF-8.
    std::string label;
    //! Simulated time of the mark [s].
    double time {0.0};
    //! Wall-clock time of the mark [s].
    double wall_time {0.0};
};

//! A dwell of the program, or a wait of it for a condition, on the simulated clock.
struct WaitRecord {
    //! "dwell" or "wait".
    std::string kind;
    //! The condition waited for as text; empty for a dwell.
    std::string condition;
    //! Simulated time when it began [s].
    double start_time {0.0};
    //! Wall-clock time when it began [s].
    double start_wall_time {0.0};
    //! Simulated time when it ended [s]; empty when the recording ended first.
    std::optional<double> end_time;
    //! Wall-clock time when it ended [s]; empty when it is not known.
    std::optional<double> end_wall_time;
    //! For a wait: whether its condition held (false: it timed out); empty for a dwell
    //! or a wait that had not ended.
    std::optional<bool> held;
};

}  // namespace velmor::drivers
