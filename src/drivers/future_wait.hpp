#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <optional>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

//! The wall-clock deadline `timeout` [s] from now: none for no timeout or an infinite
//! one, now for a negative one. Throws VelmorError (module "driver") for NaN.
std::optional<std::chrono::steady_clock::time_point> deadline_after(std::optional<double> timeout);

//! The error of a wait that found its future not done within `timeout` [s].
VelmorError timed_out(double timeout);

//! Whether `future` is done, without waiting.
template <typename T>
bool is_done(const std::shared_future<T>& future) {
    return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

//! Waits until `future` is done or `timeout` [s] has passed; whether it is done.
//! `run_cycles(ready)` comes first, for a driver that must run its own cycles until
//! `ready` holds; what it leaves undone is waited for on the future. Throws
//! std::future_error for a future without a state.
template <typename T>
bool wait_for_future(const std::shared_future<T>& future, std::optional<double> timeout,
                     const std::function<void(const std::function<bool()>&)>& run_cycles) {
    if (!future.valid()) {
        throw std::future_error(std::future_errc::no_state);
    }
    const auto deadline = deadline_after(timeout);
    if (is_done(future)) {
        return true;
    }
    run_cycles([&future, &deadline] {
        return is_done(future) || (deadline && std::chrono::steady_clock::now() >= *deadline);
    });
    if (!deadline) {
        future.wait();
        return true;
    }
    return future.wait_until(*deadline) == std::future_status::ready;
}

}  // namespace velmor::drivers
