#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <utility>

#include <velmor/drivers/pacing.hpp>
#include <velmor/drivers/time_speed.hpp>

namespace velmor::drivers {

class SimulatedClock;

//! Runs the control cycles of a motion: on a loop thread of its own, paced in
//! wall-clock time, or in stepping mode on the threads that ask for cycles.
//! Whichever runs a cycle owns the motion's state for that cycle, and at most one
//! runs at a time.
//!
//! Two locks order it. `step_mutex`, its own, serialises the stepping callers with
//! each other and with the switch between the modes, so that cycles never overlap:
//! switching on waits for the loop thread to leave the motion at a cycle boundary,
//! switching off starts a loop thread for a motion under way. The owner's motion
//! lock, which also orders the start and end of motions, guards the loop thread's
//! future, the error that ended it and whether it plays the motion, so that a motion
//! that ends and a command that starts the next one see the thread alike.
class ControlLoop {
public:
    //! What the owner gives the loop.
    struct Owner {
        //! The lock that orders the start and end of motions.
        std::mutex& motion_mutex;
        //! Whether a motion runs.
        const std::atomic<bool>& running;
        //! One control cycle; whether the motion goes on. `observe` runs after the
        //! cycle's events, while the cycle still owns the motion's state.
        std::function<bool(const std::function<void()>& observe)> cycle;
        //! Ends the motion and fails its command after its cycles failed or could not
        //! start; called with `motion_mutex` held.
        std::function<void()> fail;
    };
    //! How the free-running loop is paced, and where it counts the threads that run cycles.
    struct Clock {
        //! Control interval [s].
        double delta_time;
        //! Simulated time speed: the pause between cycles is delta_time / time_speed.
        TimeSpeed& time_speed;
        const std::atomic<Pacing>& pacing;
        //! Threads running control cycles now.
        std::atomic<int>& active_loops;
        //! The most threads that ever ran control cycles at once.
        std::atomic<int>& most_active_loops;
        //! The simulated clock, told when a motion starts or ends and when stepping switches.
        SimulatedClock& simulated;
    };

    ControlLoop(Owner owner, Clock clock);
    ControlLoop(const ControlLoop&) = delete;
    ControlLoop& operator=(const ControlLoop&) = delete;

    //! Whether cycles run only when asked for.
    [[nodiscard]] bool is_stepping() const { return stepping.load(); }
    //! Switches stepping on (waking the loop thread from its pause and waiting for it to
    //! leave the motion) or off (a loop thread takes over a motion under way).
    void set_stepping(bool on);

    //! Plays a motion that starts now: on a loop thread unless stepping. Needs the motion
    //! lock; when no thread can be started, the motion has failed and the error is passed on.
    void start();
    //! Ends the loop thread's part in the motion that ends now. Needs the motion lock.
    void end();
    //! Keeps the error of a loop thread that has ended, for `join`. Needs the motion lock.
    void collect_finished();
    //! Keeps `failure`, which failed a motion that comes to rest in further cycles, for
    //! `join`; returns the error it replaces. Needs the motion lock.
    std::exception_ptr keep_error(std::exception_ptr failure) { return std::exchange(error, std::move(failure)); }
    //! Waits for the loop thread, if any, and passes on an error that ended a loop.
    void join();
    //! Waits for the loop thread, if any, ignoring its error.
    void wait_for_end();

    //! Runs up to `cycles` cycles on the calling thread, back to back, until the motion
    //! ends or `until` holds after a cycle; returns the number run (0 when stepping was
    //! switched off meanwhile). A cycle's error fails the motion and is passed on.
    std::size_t run_steps(std::size_t cycles, const std::function<bool()>& until);
    //! In stepping mode, runs cycles one at a time until `ready` holds or the motion ends;
    //! an error is kept for `join`.
    void run_while_waiting(const std::function<bool()>& ready);

private:
    void run_thread();
    void run_paced();
    // Whether the loop thread leaves the motion to stepping callers now.
    bool hand_over_to_stepping();
    void launch_thread();
    void enter_cycles();
    void leave_cycles();

    Owner owner;
    Clock clock;

    std::atomic<bool> stepping {false};
    std::mutex step_mutex;

    // Under owner.motion_mutex.
    std::future<void> thread;
    std::exception_ptr error;
    bool thread_active {false};
};

}  // namespace velmor::drivers
