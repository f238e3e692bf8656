// A pause waits in slices of at most an hour and works out its deadline anew after
// each, from the speed of the moment: no time point is ever computed from a period
// that may be years long, so nothing overflows however small the speed.
#include <velmor/drivers/time_speed.hpp>

#include <algorithm>

namespace velmor::drivers {

namespace {

constexpr double shortest_pause_us {1.0};
// Beyond this a pause in microseconds no longer fits a signed 64-bit integer: no pause.
constexpr double longest_pause_us {9.2e18};
constexpr double longest_slice {3600.0};  // [s]

bool pauses_for(double period) {
    const double pause_us = 1'000'000.0 * period;
    return pause_us >= shortest_pause_us && pause_us < longest_pause_us;
}

}  // namespace

TimeSpeed::Hurry::Hurry(TimeSpeed& speed) : speed(speed) {
    {
        const std::lock_guard lock(speed.mutex);
        ++speed.hurrying;
    }
    speed.changed.notify_all();
}

TimeSpeed::Hurry::~Hurry() {
    const std::lock_guard lock(speed.mutex);
    --speed.hurrying;
}

void TimeSpeed::store(double value) {
    {
        const std::lock_guard lock(mutex);
        speed.store(value);
        // Under the lock, so that observers learn concurrent changes in their order.
        if (observer) {
            observer(value);
        }
    }
    changed.notify_all();
}

bool TimeSpeed::pauses(double delta_time) const {
    return pauses_for(delta_time / speed.load());
}

void TimeSpeed::wake() {
    {
        const std::lock_guard lock(mutex);
        wake_count.fetch_add(1);
    }
    changed.notify_all();
}

TimeSpeed::Pause TimeSpeed::pause(std::chrono::steady_clock::time_point start, double delta_time,
                                  std::uint64_t woken_at) {
    std::unique_lock lock(mutex);
    while (true) {
        const double period = delta_time / speed.load();
        if (!pauses_for(period)) {
            return {PauseEnd::NoPause, period};
        }
        if (wake_count.load() != woken_at || hurrying > 0) {
            return {PauseEnd::Woken, period};
        }
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        const double left = period - waited.count();
        if (left <= 0.0) {
            return {PauseEnd::Elapsed, period};
        }
        const std::chrono::duration<double> slice {std::min(left, longest_slice)};
        changed.wait_for(lock, std::chrono::duration_cast<std::chrono::nanoseconds>(slice));
    }
}

}  // namespace velmor::drivers
