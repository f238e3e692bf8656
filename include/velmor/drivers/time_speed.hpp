#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

namespace velmor::drivers {

//! The simulated time speed [simulated s per wall-clock s] and the pauses between
//! control cycles that it sets: a pause lasts delta_time / speed. A pause under way
//! follows every change: it ends at the deadline that the new speed sets from the
//! same start, at once when that has passed or the new speed means no pause. wake()
//! ends it early, and while a Hurry lives no pause lasts. Every member may be used
//! from any thread; `mutex` orders the changes with the pauses that wait for them.
class TimeSpeed {
public:
    //! How a pause ended.
    enum class PauseEnd {
        //! The speed means no pause: zero, negative, infinite, not a number, or too
        //! small for the pause to count in microseconds.
        NoPause,
        //! Its deadline came.
        Elapsed,
        //! wake() or a Hurry ended it early.
        Woken,
    };
    //! What a pause reports: how it ended and the period [s] in force at its end.
    struct Pause {
        PauseEnd end;
        double period;
    };

    //! While it lives, pauses end at once: a caller waits for a motion's end.
    class Hurry {
    public:
        explicit Hurry(TimeSpeed& speed);
        ~Hurry();
        Hurry(const Hurry&) = delete;
        Hurry& operator=(const Hurry&) = delete;

    private:
        TimeSpeed& speed;
    };

    explicit TimeSpeed(double speed = 1.0) : speed(speed) {}
    TimeSpeed(const TimeSpeed&) = delete;
    TimeSpeed& operator=(const TimeSpeed&) = delete;

    //! The speed [simulated s per wall-clock s].
    [[nodiscard]] double load() const { return speed.load(); }
    operator double() const { return load(); }
    //! Sets the speed; a pause under way follows it.
    void store(double value);
    TimeSpeed& operator=(double value) {
        store(value);
        return *this;
    }

    //! Tells `observer` of every later change, with the new speed, on the changing thread
    //! with `mutex` held (it must not use this object). Set it before other threads use the speed.
    void set_observer(std::function<void(double)> observer) { this->observer = std::move(observer); }

    //! Ends the pause under way, if any, and any pause whose cycle began before this call.
    void wake();
    //! How often wake() was called: a pause given this count ends at any later wake().
    [[nodiscard]] std::uint64_t wakes() const { return wake_count.load(); }

    //! Whether the speed of the moment makes a pause of delta_time [s] / speed; false
    //! for the speeds that mean no pause. Takes no lock, for a cycle that runs back to back.
    [[nodiscard]] bool pauses(double delta_time) const;
    //! Waits until delta_time [s] / speed of wall-clock time have passed since `start`,
    //! following changes of the speed; ends early at a wake() after `woken_at` (a
    //! count of wakes()) and while a Hurry lives.
    Pause pause(std::chrono::steady_clock::time_point start, double delta_time, std::uint64_t woken_at);

private:
    std::atomic<double> speed;
    // Changed under `mutex`, so that a pause that checked them cannot miss the notification.
    std::atomic<std::uint64_t> wake_count {0};
    int hurrying {0};
    std::mutex mutex;
    std::condition_variable changed;
    std::function<void(double)> observer;
};

}  // namespace velmor::drivers
