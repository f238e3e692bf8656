// The small records of a recording: IoSource, CommandRecord, EventRecord, IoRecord, MarkRecord, WaitRecord.
#include <cmath>
#include <cstdio>
#include <string>

#include <pybind11/stl.h>

#include <velmor/drivers/recording/records.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::CommandRecord;
using drivers::EventRecord;
using drivers::IoRecord;
using drivers::IoSource;
using drivers::MarkRecord;
using drivers::WaitRecord;
using drivers::SignalValue;

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.3f", value);
    return text;
}

std::string value_text(const SignalValue& value) {
    return py::str(py::cast(value));
}

}  // namespace

void bind_records(py::module_& m) {
    py::enum_<IoSource>(m, "IoSource", "Where a change of a simulated I/O signal came from")
        .value("Script", IoSource::Script, "The client program")
        .value("Viewer", IoSource::Viewer, "A person on the I/O viewer page")
        .value("Toggle", IoSource::Toggle, "A delayed or repeated toggle of the viewer")
        .value("ConfigFile", IoSource::ConfigFile, "An I/O configuration file")
        .value("Device", IoSource::Device, "A device of the cell (IoRecord.device names it)");

    py::class_<CommandRecord>(m, "CommandRecord", "One command given to the driver while recording")
        .def_readonly("index", &CommandRecord::index, "Position among the recording's commands, from 0")
        .def_readonly("kind", &CommandRecord::kind, "run, move_to, move_along, blend_into, stop or resume")
        .def_readonly("arguments", &CommandRecord::arguments, "The command's arguments in short")
        .def_readonly("planned_duration", &CommandRecord::planned_duration,
                      "Duration of the trajectory planned for it [s]; None when none was planned")
        .def_readonly("start_time", &CommandRecord::start_time, "Simulated time when it was given [s]")
        .def_readonly("start_wall_time", &CommandRecord::start_wall_time, "Wall-clock time when it was given [s]")
        .def_readonly("end_time", &CommandRecord::end_time,
                      "Simulated time when its result was set [s]; None when the recording ended first")
        .def_readonly("end_wall_time", &CommandRecord::end_wall_time,
                      "Wall-clock time when its result was set [s]; None when the recording ended first")
        .def_readonly("result", &CommandRecord::result, "Its Result; None when it got none")
        .def_readonly("plan_failure", &CommandRecord::plan_failure,
                      "Why its trajectory could not be planned; None when it was, or when no plan was needed")
        .def("__repr__", [](const CommandRecord& self) {
            return "<CommandRecord " + std::to_string(self.index) + " " + self.kind + "(" + self.arguments +
                   ") at " + seconds(self.start_time) + " s" +
                   (self.result ? ": " + self.result->description : std::string()) + ">";
        });

    py::class_<EventRecord>(m, "EventRecord", "One event whose trigger held")
        .def_readonly("event", &EventRecord::event,
                      "Position of the event in the order of add_event calls since the driver was made")
        .def_readonly("time", &EventRecord::time, "Simulated time at which it fired [s]")
        .def_readonly("wall_time", &EventRecord::wall_time, "Wall-clock time at which it fired [s]")
        .def_readonly("trajectory_time", &EventRecord::trajectory_time, "Time given to its action [s]")
        .def_readonly("command", &EventRecord::command, "Index of the command being executed; None when none")
        .def("__repr__", [](const EventRecord& self) {
            return "<EventRecord " + std::to_string(self.event) + " at " + seconds(self.time) + " s>";
        });

    py::class_<IoRecord>(m, "IoRecord", "One change of a simulated I/O signal's value")
        .def_readonly("name", &IoRecord::name, "Name of the signal")
        .def_readonly("old_value", &IoRecord::old_value, "Value before; None when the change created the signal")
        .def_readonly("new_value", &IoRecord::new_value, "Value after the change")
        .def_readonly("source", &IoRecord::source, "Who changed it: an IoSource")
        .def_readonly("device", &IoRecord::device, "The device that changed it; empty unless the source is Device")
        .def_readonly("time", &IoRecord::time, "Simulated time of the change [s]")
        .def_readonly("wall_time", &IoRecord::wall_time, "Wall-clock time of the change [s]")
        .def("__repr__", [](const IoRecord& self) {
            const std::string old_text = self.old_value ? value_text(*self.old_value) : "None";
            return "<IoRecord " + self.name + " " + old_text + " -> " + value_text(self.new_value) + " at " +
                   seconds(self.time) + " s>";
        });

    py::class_<MarkRecord>(m, "MarkRecord", "A point on the simulated clock that the program marked")
        .def_readonly("label", &MarkRecord::label, "The program's label")
        .def_readonly("time", &MarkRecord::time, "Simulated time of the mark [s]")
        .def_readonly("wall_time", &MarkRecord::wall_time, "Wall-clock time of the mark [s]")
        .def("__repr__", [](const MarkRecord& self) {
            return "<MarkRecord " + self.label + " at " + seconds(self.time) + " s>";
        });

    py::class_<WaitRecord>(m, "WaitRecord", "A dwell or a wait for a condition of the program")
        .def_readonly("kind", &WaitRecord::kind, "dwell or wait")
        .def_readonly("condition", &WaitRecord::condition, "The condition waited for as text; empty for a dwell")
        .def_readonly("start_time", &WaitRecord::start_time, "Simulated time when it began [s]")
        .def_readonly("start_wall_time", &WaitRecord::start_wall_time, "Wall-clock time when it began [s]")
        .def_readonly("end_time", &WaitRecord::end_time,
                      "Simulated time when it ended [s]; None when the recording ended first")
        .def_readonly("end_wall_time", &WaitRecord::end_wall_time,
                      "Wall-clock time when it ended [s]; None when not known (a wait on a future)")
        .def_readonly("held", &WaitRecord::held,
                      "For a wait whether its condition held (False: it timed out); None for a dwell")
        .def("__repr__", [](const WaitRecord& self) {
            const std::string what = self.kind == "wait" ? "wait for " + self.condition : self.kind;
            return "<WaitRecord " + what + " from " + seconds(self.start_time) + " s>";
        });
}

}  // namespace velmor::python
