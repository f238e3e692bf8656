#pragma once

#include <memory>

#include <pybind11/pybind11.h>

#include <velmor/drivers/driver.hpp>
#include <velmor/drivers/simulated_driver.hpp>

namespace velmor::python {

//! The script class of the simulated driver, created before the classes nested in it.
using SimulatedDriverClass =
    pybind11::class_<drivers::SimulatedDriver, drivers::Driver, std::shared_ptr<drivers::SimulatedDriver>>;

//! Result.
void bind_results(pybind11::module_& m);
//! FutureResult and FutureBool.
void bind_futures(pybind11::module_& m);
//! ControllerStatus.
void bind_controller_status(pybind11::module_& m);
//! RobotState.
void bind_state(pybind11::module_& m);
//! Trigger, Trigger.Value and Action.
void bind_events(pybind11::module_& m);
//! Driver.
void bind_driver(pybind11::module_& m);
//! Creates the class object of SimulatedDriver, without constructors or members.
SimulatedDriverClass declare_simulated_driver(pybind11::module_& m);
//! The constructors and members of SimulatedDriver.
void bind_simulated_driver(SimulatedDriverClass& simulated_driver);
//! Signal and Controller, nested in SimulatedDriver.
void bind_simulated_io(SimulatedDriverClass& simulated_driver);
//! The I/O members of SimulatedDriver, registered after its other members.
void bind_simulated_driver_io(SimulatedDriverClass& simulated_driver);
//! IoSource, CommandRecord, EventRecord and IoRecord.
void bind_recording_records(pybind11::module_& m);
//! Recording, and Driver.record.
void bind_recording(pybind11::module_& m);
//! Fault, Pacing and SafetyLimits.
void bind_rehearsal_types(pybind11::module_& m);
//! The members of SimulatedDriver for faults, safety limits, stepping and pacing.
void bind_rehearsal(SimulatedDriverClass& simulated_driver);

}  // namespace velmor::python
