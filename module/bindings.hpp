#pragma once

#include <memory>
#include <string>

#include <pybind11/pybind11.h>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/simulated_driver.hpp>

namespace velmor::python {

//! The script class of the simulated driver, which the classes nested in it are bound into.
using SimulatedDriverClass =
    pybind11::class_<drivers::SimulatedDriver, drivers::Driver, std::shared_ptr<drivers::SimulatedDriver>>;

//! Result (results.cpp).
void bind_results(pybind11::module_& m);

//! log_to_python and flush_log (log_bridge.cpp).
void bind_log_bridge(pybind11::module_& m);
//! ControllerStatus (results.cpp).
void bind_controller_status(pybind11::module_& m);
//! FutureResult and FutureBool (futures.cpp).
void bind_futures(pybind11::module_& m);
//! RobotState (robot_state.cpp).
void bind_robot_state(pybind11::module_& m);
//! Trigger, Trigger.Value and Action (events.cpp).
void bind_events(pybind11::module_& m);
//! IoSource, CommandRecord, EventRecord and IoRecord (records.cpp).
void bind_records(pybind11::module_& m);
//! Recording (recording.cpp).
void bind_recording(pybind11::module_& m);
//! The chunk compression of an MCAP recording named in Python: "zstd" or "none"; ValueError for any other.
drivers::McapCompression mcap_compression(const std::string& name);
//! Fault (faults.cpp).
void bind_fault(pybind11::module_& m);
//! SafetyLimits (faults.cpp).
void bind_safety_limits(pybind11::module_& m);
//! Pacing (pacing.cpp).
void bind_pacing(pybind11::module_& m);
//! Driver, without record (driver.cpp).
void bind_driver(pybind11::module_& m);
//! Driver.record, once Recording is registered (driver.cpp).
void bind_driver_record(pybind11::module_& m);
//! SimulatedDriver with the classes nested in it, without the members that name
//! Fault, Pacing or SafetyLimits (simulated_driver.cpp).
SimulatedDriverClass bind_simulated_driver(pybind11::module_& m);
//! The members of SimulatedDriver for faults, safety limits, stepping and pacing (simulated_driver.cpp).
void bind_simulated_driver_faults_and_stepping(SimulatedDriverClass& simulated_driver);
//! The simulated clock and the dwells and waits on it (simulated_time.cpp).
void bind_simulated_time(SimulatedDriverClass& simulated_driver);
//! Signal, nested in SimulatedDriver (signal.cpp).
void bind_signal(SimulatedDriverClass& simulated_driver);
//! Device, the built-in devices, Callback and DeviceIo (devices.cpp).
void bind_devices(pybind11::module_& m);
//! The members of SimulatedDriver and its Controller for devices (devices.cpp).
void bind_driver_devices(SimulatedDriverClass& simulated_driver);
//! Controller, nested in SimulatedDriver (controller.cpp).
void bind_controller(SimulatedDriverClass& simulated_driver);

}  // namespace velmor::python
