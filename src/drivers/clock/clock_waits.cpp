#include "clock_waits.hpp"

#include <cmath>
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

void check_timeout(std::optional<double> timeout) {
    if (timeout && std::isnan(*timeout)) {
        throw VelmorError("driver", "The timeout of a wait must be a number of seconds or None, not NaN.");
    }
}

double dwell_length(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0.0) {
        throw VelmorError("driver", "A dwell lasts a finite number of seconds, not less than 0; got '" +
                                        std::to_string(seconds) + "'.");
    }
    return seconds;
}

bool never() {
    return false;
}

}  // namespace

ClockWaits::ClockWaits(SimulatedClock& clock, RunCycles run_cycles) : clock(clock), run_cycles(std::move(run_cycles)) {}

ClockWaits::~ClockWaits() {
    close();
}

bool ClockWaits::wait(const std::function<bool()>& ready, std::optional<double> timeout) {
    check_timeout(timeout);
    const double start = clock.now();
    bool due {false};
    run_cycles([&] {
        due = timeout && clock.now() - start >= *timeout;
        return due || ready();
    });
    if (due) {
        return ready();
    }
    const double ran = clock.now() - start;
    // Unchanged when no cycle ran, so that a dwell at rest ends exactly `timeout` later.
    return clock.wait(ready, timeout && ran > 0.0 ? std::optional<double>(*timeout - ran) : timeout);
}

std::shared_future<bool> ClockWaits::wait_async(std::function<bool()> ready, std::optional<double> timeout) {
    check_timeout(timeout);
    return launch([this, ready = std::move(ready), timeout] { return clock.wait(ready, timeout); });
}

void ClockWaits::dwell(double seconds) {
    wait(never, dwell_length(seconds));
}

std::shared_future<bool> ClockWaits::dwell_async(double seconds) {
    return launch([this, seconds = dwell_length(seconds)] {
        clock.wait(never, seconds);
        return true;
    });
}

std::shared_future<bool> ClockWaits::launch(std::function<bool()> body) {
    std::promise<bool> promise;
    auto answer = promise.get_future().share();
    {
        const std::lock_guard lock(mutex);
        ++threads;
    }
    // Detached: close() waits for it through the count, and a script that drops the
    // future does not wait for the thread.
    try {
        std::thread([this, promise = std::move(promise), body = std::move(body)]() mutable {
            try {
                promise.set_value(body());
            } catch (...) {
                promise.set_exception(std::current_exception());
            }
            const std::lock_guard lock(mutex);
            --threads;
            threads_ended.notify_all();
        }).detach();
    } catch (...) {
        const std::lock_guard lock(mutex);
        --threads;
        throw;
    }
    return answer;
}

void ClockWaits::close() {
    clock.close();
    std::unique_lock lock(mutex);
    threads_ended.wait(lock, [this] { return threads == 0; });
}

}  // namespace velmor::drivers
