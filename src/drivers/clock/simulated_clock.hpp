#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>

namespace velmor::drivers {

//! The simulated time [s] since a driver was made. Control cycles, dwells and waits
//! advance it by their simulated length; while the loop runs freely with no motion at
//! a speed above 0 (and no command is being planned) it also follows wall-clock time ×
//! speed in whole control cycles, as a controller's clock ticks, worked out when read
//! and folded into the stored value whenever that ends or the speed changes; it starts
//! one cycle after the clock last stood still (a motion, a dwell or wait, a command being
//! planned) or the speed changed. Whole cycles and that grace keep the moments a program
//! takes between two calls (up to about a cycle of wall-clock time) off the clock, so that
//! a run repeats exactly at any speed. A dwell under way
//! holds the clock at its end until it is over, so that a dwell advances it by exactly
//! its length, and a wait that cannot end otherwise (no motion, no wall-clock time to
//! follow) jumps it to the wait's end at once.
//!
//! The clock also keeps an alarm: the time at which the cell's devices act next. The
//! clock never passes it unrung: a control cycle that reaches it reports so to its
//! caller, a wait that jumps ahead stops there and rings it, and while the clock follows
//! wall-clock time it halts there until await_alarm()'s caller has rung it.
//!
//! Every member may be used from any thread: `mutex` guards the state and orders the
//! changes with the waits on them; it is held only for arithmetic, never while a wait's
//! condition is evaluated or the alarm rings, so either may read anything.
class SimulatedClock {
public:
    using WallClock = std::chrono::steady_clock;
    //! Rings the alarm at the given simulated time [s]; it sets the next one with set_alarm.
    using Ring = std::function<void(double)>;

    //! A clock at 0 that follows wall-clock time at `speed` [simulated s per wall-clock s]
    //! in steps of `cycle` [s] (0: continuously).
    explicit SimulatedClock(double speed, double cycle = 0.0);
    SimulatedClock(const SimulatedClock&) = delete;
    SimulatedClock& operator=(const SimulatedClock&) = delete;

    //! The simulated time [s].
    [[nodiscard]] double now() const;
    //! Adds `seconds` [s] (a control cycle) and wakes the waits; whether the alarm is due.
    bool advance(double seconds);
    //! advance(seconds), giving in `before` the time [s] it advanced from: a cycle's start
    //! without a lock and a clock reading of its own.
    bool advance(double seconds, double& before);
    //! A motion starts (true) or ends (false): no wall-clock time is followed while one runs.
    void set_moving(bool moving);
    //! Stepping is switched: no wall-clock time is followed while it is on.
    void set_stepping(bool stepping);
    //! A command is being planned (true) or no longer (false); counted, and no wall-clock
    //! time is followed while any is, so that planning costs no simulated time.
    void hold(bool held);
    //! hold(true) for its life.
    class Hold {
    public:
        explicit Hold(SimulatedClock& clock) : clock(clock) { clock.hold(true); }
        ~Hold() { clock.hold(false); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        SimulatedClock& clock;
    };
    //! The time speed changed to `speed`.
    void set_speed(double speed);
    //! Wakes the waits to evaluate their conditions again (an I/O value changed).
    void notify();

    //! Rings `ring` whenever the alarm is due; set once, before any alarm.
    void set_ring(Ring ring);
    //! The alarm rings at `time` [s] (infinity: never; minus infinity: at once).
    void set_alarm(double time);
    //! Waits until the clock, following wall-clock time, has reached the alarm, and gives
    //! its time; empty once closed. For the one thread that rings for wall-clock time.
    std::optional<double> await_alarm();

    //! Waits until `ready` holds, evaluated at once and after every change of the clock or
    //! a notify(), or until the clock has advanced `timeout` [s] from now (none: no limit);
    //! whether `ready` held. Throws VelmorError (module "driver") once closed.
    bool wait(const std::function<bool()>& ready, std::optional<double> timeout);
    //! Ends every wait as if its condition never held, refuses later ones, and returns
    //! once no wait runs any more.
    void close();

private:
    [[nodiscard]] bool follows_wall_clock() const { return !moving && !stepping && holds == 0 && speed > 0.0; }
    [[nodiscard]] double value_at(WallClock::time_point instant) const;
    // The simulated time that wall-clock time adds, in whole cycles, and the time at which
    // following halts (the alarm or the earliest dwell's end, never before `stored`).
    [[nodiscard]] double followed(double wall) const;
    [[nodiscard]] double limit() const;
    // Wall-clock time [s] until the clock, following it, reaches `target`.
    [[nodiscard]] double wall_until(double target, WallClock::time_point instant) const;
    // `instant` plus one cycle of wall-clock time: where following starts again after the
    // clock stood still, so that the moment a program takes to pick up an answer is not counted.
    [[nodiscard]] WallClock::time_point after_grace(WallClock::time_point instant) const;
    void fold(WallClock::time_point instant);
    void changed();
    void sleep_for(std::unique_lock<std::mutex>& lock, double wall);
    void sleep(std::unique_lock<std::mutex>& lock);
    bool run_wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready, double deadline);

    mutable std::mutex mutex;
    std::condition_variable wakeup;
    // All under `mutex`.
    double stored {0.0};
    WallClock::time_point since {WallClock::now()};
    double speed;
    const double cycle;
    bool moving {false};
    bool stepping {false};
    int holds {0};
    // Ends of the dwells under way [s]: the earliest bounds what wall-clock time adds.
    std::multiset<double> dwell_ends;
    double alarm;
    Ring ring;
    std::uint64_t changes {0};
    int waits {0};
    // Threads sleeping on `wakeup`: a change with none wakes nobody, which keeps a cycle cheap.
    int sleepers {0};
    bool closed {false};
};

}  // namespace velmor::drivers
