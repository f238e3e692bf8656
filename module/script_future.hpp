#pragma once

#include <future>
#include <memory>
#include <utility>

#include <velmor/drivers/driver.hpp>

namespace velmor::python {

//! What a script's FutureResult or FutureBool holds: the command's future and the
//! driver that completes it, which a wait asks to step its cycles in stepping mode.
//! The driver is held weakly: a future kept after the driver must not keep it alive.
template <typename T>
struct ScriptFuture {
    std::shared_future<T> future;
    std::weak_ptr<drivers::Driver> driver;
};

//! `future` of a command of `driver`, for a script.
template <typename T>
ScriptFuture<T> script_future(const std::shared_ptr<drivers::Driver>& driver, std::shared_future<T> future) {
    return ScriptFuture<T> {std::move(future), driver};
}

}  // namespace velmor::python
