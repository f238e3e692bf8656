#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include <velmor/drivers/simulated_driver.hpp>

namespace velmor::python {

//! Takes ownership of a new driver for scripts. Its last release waits for a
//! running motion without the interpreter lock, and happens on a thread of its
//! own when it comes inside a control cycle (an action's closure held the driver).
std::shared_ptr<drivers::SimulatedDriver> hold(drivers::SimulatedDriver* driver);

//! Lets the motions of every driver still alive end, and every driver released
//! inside a control cycle go, before the interpreter finalises: a loop thread
//! that needs the interpreter lock after that would be ended in mid-call.
void register_exit_handler();

}  // namespace velmor::python
