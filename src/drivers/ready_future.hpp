#pragma once

#include <future>
#include <utility>

namespace velmor::drivers {

//! A future that already holds `value`: the answer of a command that needs no control cycle.
template <typename T>
std::shared_future<T> ready_future(T value) {
    std::promise<T> promise;
    promise.set_value(std::move(value));
    return promise.get_future().share();
}

}  // namespace velmor::drivers
