#pragma once

#include <atomic>
#include <cstddef>
#include <future>
#include <mutex>
#include <optional>

#include <velmor/motion/state.hpp>
#include <velmor/motion/trajectory.hpp>

namespace velmor::drivers {

//! Plays a trajectory back one control cycle at a time at a changeable speed.
//!
//! The control loop calls `next` once per cycle; other threads may change the
//! speed meanwhile: `scale` is atomic and the ramp with its promise sit behind a
//! small lock that `next` takes once per cycle.
class TimeScaler {
public:
    //! Result of one step.
    enum class StepOutcome : int {
        //! Playback continues.
        Moving = 0,
        //! The scale is 0 or less after this step: standing still on the path.
        Standstill = 1,
        //! The trajectory had already ended before this step; the state holds its last sample.
        Finished = 2,
    };

    //! A linear change of the scale on the elapsed-time axis.
    struct MoveScaleLinearly {
        //! Start on the elapsed-time axis [s].
        double start_time;
        //! End on the elapsed-time axis [s].
        double end_time;
        //! Scale at `start_time`.
        double start_scale;
        //! Scale at `end_time`.
        double end_scale;

        //! Writes the scale at `time`; false once the ramp is over (then `scale_out` is `end_scale`).
        bool operator()(double time, double& scale_out) const;
    };

    //! Where playback stands on a trajectory.
    struct Playhead {
        //! Time on the trajectory's own axis [s].
        double time {0.0};
        //! The sample at or before `time`; the trajectory's size once it has been played to its end.
        std::size_t index {0};
    };

    //! The playhead that playing `trajectory` up to `time` [s] leaves.
    [[nodiscard]] static Playhead locate(const velmor::Trajectory& trajectory, double time);
    //! One cycle of playback at a steady `scale`, as `next` plays it: writes the state at
    //! `playhead` into `state` (not its time) and moves the playhead on by `scale` cycles of
    //! `delta_time` [s]. False when the trajectory had ended before: `state` then holds its
    //! last sample (is left as it is for an empty trajectory).
    static bool play(const velmor::Trajectory& trajectory, Playhead& playhead, double scale, double delta_time,
                     velmor::State& state);

    //! Lowest scale; values below are clamped.
    std::atomic<double> min_scale {0.0};
    //! Highest scale; values above are clamped.
    std::atomic<double> max_scale {1.0};

    //! A scaler for cycles of `delta_time` [s].
    explicit TimeScaler(double delta_time);

    //! Current time-scale factor.
    [[nodiscard]] double get_scale() const;
    //! Sets the scale at once, clamped to [min_scale, max_scale]; ignores NaN and infinities.
    void set_scale(double value);

    //! Starts playing `trajectory` (not owned) from its beginning; the scale and an
    //! active ramp stay, the ramp rebased onto the new time origin.
    void set_trajectory(const velmor::Trajectory* trajectory);

    //! Ramps the scale linearly to `target` over `duration` [s] of control time.
    //! Returns the future of the ramp's promise: true when the ramp reaches its
    //! end, false when the trajectory ends first, broken when a newer ramp
    //! replaces it. When the scale is already at `target`, `duration` < 0, or
    //! either is not finite, no ramp starts (an active one is dropped, its future
    //! yielding false) and the returned future is invalid.
    std::shared_future<bool> move_scale_linearly_to(double target, double duration);
    //! Drops the active ramp, leaving the scale where it is; the dropped ramp's future yields false.
    void stop_scale_movement();
    //! Tells the waiter of the active ramp that its trajectory ended first (its future
    //! yields false); the ramp stays, for a following trajectory to continue. Whether
    //! a ramp is active.
    bool report_outrun_ramp();
    //! Whether a ramp is active.
    [[nodiscard]] bool is_ramping() const;

    //! Writes this cycle's state into `state` and advances one cycle.
    //! Throws VelmorError (module "time-scaler") without a trajectory or with a negative scale.
    //! An empty trajectory is finished at once and leaves `state` as it is.
    StepOutcome next(velmor::State& state);

    //! Playback position on the trajectory's own time axis [s].
    [[nodiscard]] double get_trajectory_time() const;
    //! Control time since `set_trajectory` [s].
    [[nodiscard]] double get_elapsed_time() const;

private:
    // Held by next for the whole cycle and by every call that touches the ramp
    // or the playback position, so a speed change lands between two cycles.
    mutable std::mutex ramp_mutex;
    // Written under ramp_mutex; the two times are atomic so that the getters need no lock.
    const velmor::Trajectory* trajectory {nullptr};
    std::size_t sample_index {0};
    std::atomic<double> trajectory_time {0.0};
    std::atomic<double> elapsed_time {0.0};

    std::optional<MoveScaleLinearly> ramp;
    std::atomic<double> scale {1.0};
    std::promise<bool> ramp_done;

    double delta_time;

    // Ends the active ramp early; its future yields false. Needs ramp_mutex.
    void drop_ramp();
};

}  // namespace velmor::drivers
