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
//! a speed above 0 it also follows wall-clock time × speed, worked out when read and
//! folded into the stored value whenever that ends or the speed changes. A dwell under
//! way holds the clock at its end until it is over, so that a dwell advances it by
//! exactly its length, and a wait that cannot end otherwise (no motion, no wall-clock
//! time to follow) jumps it to the wait's end at once.
//!
//! Every member may be used from any thread: `mutex` guards the state and orders the
//! changes with the waits on them; it is held only for arithmetic, never while a wait's
//! condition is evaluated, so a condition may read anything.
class SimulatedClock {
public:
    using WallClock = std::chrono::steady_clock;

    //! A clock at 0 that follows wall-clock time at `speed` [simulated s per wall-clock s].
    explicit SimulatedClock(double speed);
    SimulatedClock(const SimulatedClock&) = delete;
    SimulatedClock& operator=(const SimulatedClock&) = delete;

    //! The simulated time [s].
    [[nodiscard]] double now() const;
    //! Adds `seconds` [s] (a control cycle) and wakes the waits.
    void advance(double seconds);
    //! A motion starts (true) or ends (false): no wall-clock time is followed while one runs.
    void set_moving(bool moving);
    //! Stepping is switched: no wall-clock time is followed while it is on.
    void set_stepping(bool stepping);
    //! The time speed changed to `speed`.
    void set_speed(double speed);
    //! Wakes the waits to evaluate their conditions again (an I/O value changed).
    void notify();

    //! Waits until `ready` holds, evaluated at once and after every change of the clock or
    //! a notify(), or until the clock has advanced `timeout` [s] from now (none: no limit);
    //! whether `ready` held. Throws VelmorError (module "driver") once closed.
    bool wait(const std::function<bool()>& ready, std::optional<double> timeout);
    //! Ends every wait as if its condition never held, refuses later ones, and returns
    //! once no wait runs any more.
    void close();

private:
    [[nodiscard]] bool follows_wall_clock() const { return !moving && !stepping && speed > 0.0; }
    [[nodiscard]] double value_at(WallClock::time_point instant) const;
    void fold(WallClock::time_point instant);
    void changed();
    bool run_wait(std::unique_lock<std::mutex>& lock, const std::function<bool()>& ready, double deadline);

    mutable std::mutex mutex;
    std::condition_variable wakeup;
    // All under `mutex`.
    double stored {0.0};
    WallClock::time_point since {WallClock::now()};
    double speed;
    bool moving {false};
    bool stepping {false};
    // Ends of the dwells under way [s]: the earliest bounds what wall-clock time adds.
    std::multiset<double> dwell_ends;
    std::uint64_t changes {0};
    int waits {0};
    bool closed {false};
};

}  // namespace velmor::drivers
