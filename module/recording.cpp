// Recording: what a driver did, with NumPy arrays of its cycles.
#include <filesystem>
#include <optional>
#include <string>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <velmor/drivers/recording/recording.hpp>
#include <velmor/velmor_error.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::CycleColumn;
using drivers::JointColumn;
using drivers::Recording;
using Release = py::call_guard<py::gil_scoped_release>;

// The recording, ready to be read: stopped, and read back from its file when it was streamed.
Recording& readable(Recording& recording) {
    if (recording.is_running()) {
        throw VelmorError("recording", "The recording is still running; stop it (or leave its with block) first.");
    }
    recording.read_back();
    return recording;
}

py::module_ import_or_explain(const char* module, const char* package, const char* what) {
    try {
        return py::module_::import(module);
    } catch (py::error_already_set& error) {
        if (!error.matches(PyExc_ImportError)) {
            throw;
        }
        throw py::import_error(std::string(what) + " needs " + module + ", which is not installed: on Debian install " +
                               package + " (apt-get install " + package + ").");
    }
}

void require_numpy(const char* what) {
    import_or_explain("numpy", "python3-numpy", what);
}

py::array_t<double> cycle_column(Recording& self, CycleColumn column, const char* what) {
    require_numpy(what);
    Recording& recording = readable(self);
    py::array_t<double> values(static_cast<py::ssize_t>(recording.cycle_count()));
    recording.copy_column(column, values.mutable_data());
    return values;
}

py::array_t<double> joint_column(Recording& self, JointColumn column, const char* what) {
    require_numpy(what);
    Recording& recording = readable(self);
    py::array_t<double> values({static_cast<py::ssize_t>(recording.cycle_count()),
                                static_cast<py::ssize_t>(recording.header.degrees_of_freedom)});
    recording.copy_joints(column, values.mutable_data());
    return values;
}

py::dict header_dict(const drivers::RecordingHeader& header) {
    py::list limits;
    for (const auto& limit : header.limits) {
        py::dict entry;
        entry["min_position"] = limit.min_position;
        entry["max_position"] = limit.max_position;
        entry["max_velocity"] = limit.max_velocity;
        entry["max_acceleration"] = limit.max_acceleration;
        entry["max_jerk"] = limit.max_jerk;
        limits.append(entry);
    }
    py::dict dict;
    dict["robot"] = header.robot;
    dict["environment_robot"] = header.environment_robot;
    dict["joint_offset"] = header.joint_offset;
    dict["degrees_of_freedom"] = header.degrees_of_freedom;
    dict["limits"] = limits;
    dict["delta_time"] = header.delta_time;
    dict["driver_version"] = header.driver_version;
    dict["started"] = header.started;
    return dict;
}

void bind_recording_data(py::class_<Recording, std::shared_ptr<Recording>>& recording) {
    recording
        .def_property_readonly(
            "times", [](Recording& self) { return cycle_column(self, CycleColumn::Time, "Recording.times"); },
            "Simulated time of each cycle [s] (NumPy array)")
        .def_property_readonly(
            "wall_times",
            [](Recording& self) { return cycle_column(self, CycleColumn::WallTime, "Recording.wall_times"); },
            "Wall-clock time of each cycle since the recording began [s] (NumPy array)")
        .def_property_readonly(
            "scales", [](Recording& self) { return cycle_column(self, CycleColumn::Scale, "Recording.scales"); },
            "Speed scale of each cycle (NumPy array)")
        .def_property_readonly(
            "cycle_commands",
            [](Recording& self) {
                require_numpy("Recording.cycle_commands");
                Recording& readable_recording = readable(self);
                py::array_t<std::int64_t> values(static_cast<py::ssize_t>(readable_recording.cycle_count()));
                readable_recording.copy_commands(values.mutable_data());
                return values;
            },
            "Index of the command executed in each cycle, -1 for none (NumPy array)")
        .def_property_readonly(
            "positions",
            [](Recording& self) { return joint_column(self, JointColumn::Position, "Recording.positions"); },
            "Joint positions, one row per cycle [rad] (NumPy array)")
        .def_property_readonly(
            "velocities",
            [](Recording& self) { return joint_column(self, JointColumn::Velocity, "Recording.velocities"); },
            "Joint velocities, one row per cycle [rad/s] (NumPy array)")
        .def_property_readonly(
            "accelerations",
            [](Recording& self) { return joint_column(self, JointColumn::Acceleration, "Recording.accelerations"); },
            "Joint accelerations, one row per cycle [rad/s²] (NumPy array)")
        .def_property_readonly(
            "commands", [](Recording& self) { return readable(self).commands; },
            "Commands in the order they were given (list of CommandRecord)")
        .def_property_readonly(
            "events", [](Recording& self) { return readable(self).events; },
            "Fired events in the order they fired (list of EventRecord)")
        .def_property_readonly(
            "io", [](Recording& self) { return readable(self).io; },
            "I/O changes in the order they happened (list of IoRecord)")
        .def_property_readonly(
            "marks", [](Recording& self) { return readable(self).marks; },
            "Marks the program set with driver.mark, in order (list of MarkRecord)")
        .def_property_readonly(
            "waits", [](Recording& self) { return readable(self).waits; },
            "Dwells and waits of the program on the simulated clock (list of WaitRecord)")
        .def_property_readonly(
            "header", [](Recording& self) { return header_dict(readable(self).header); },
            "The robot, its joint limits and the control interval (dict)")
        .def(
            "cycle_count", [](Recording& self) { return readable(self).cycle_count(); }, "Number of recorded cycles")
        .def("__len__", [](Recording& self) { return readable(self).cycle_count(); });
}

}  // namespace

drivers::McapCompression mcap_compression(const std::string& name) {
    if (name == "zstd") {
        return drivers::McapCompression::Zstd;
    }
    if (name == "none") {
        return drivers::McapCompression::None;
    }
    throw py::value_error("compression is \"zstd\" or \"none\", not \"" + name + "\"");
}

void bind_recording(py::module_& m) {
    py::class_<Recording, std::shared_ptr<Recording>> recording(
        m, "Recording", "What a driver did while recorded: every control cycle, command, event and I/O change");
    recording
        .def_static("load", &Recording::load, py::arg("path"), "Read a recording saved as JSON Lines or MCAP",
                    Release())
        .def(
            "save",
            [](Recording& self, const std::filesystem::path& path, const std::string& compression) {
                const Recording& ready = readable(self);
                const auto chunks = mcap_compression(compression);
                // Saving a long run takes seconds, in which actions on the control loop need the interpreter.
                const py::gil_scoped_release release;
                ready.save(path, chunks);
            },
            py::arg("path"), py::arg("compression") = "zstd",
            "Write the recording: CSV of the joint samples for a .csv path, MCAP for a .mcap path (zstd-compressed "
            "chunks, or uncompressed with compression=\"none\"), else JSON Lines")
        .def("stop", &Recording::stop, "End the recording", Release())
        .def_property_readonly("is_running", &Recording::is_running, "Whether the driver still records into it")
        .def_property_readonly("loop_waits", &Recording::loop_waits,
                               "How often the control loop waited for the file of a streamed recording that fell behind")
        .def_property_readonly("loop_wait_seconds", &Recording::loop_wait_seconds,
                               "How long [s of wall-clock time] the control loop waited for the file in all")
        .def_property_readonly(
            "stream_path",
            [](const Recording& self) -> std::optional<py::str> {
                if (!self.stream_path) {
                    return std::nullopt;
                }
                // As os.fsdecode gives it: bytes that are not UTF-8 become lone surrogates, which
                // os.fsencode and open() turn back into the same bytes.
                const std::string path = self.stream_path->string();
                PyObject* text = PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<py::ssize_t>(path.size()));
                if (text == nullptr) {
                    throw py::error_already_set();
                }
                return py::reinterpret_steal<py::str>(text);
            },
            "The file a streamed recording is written to; None for one kept in memory")
        // By reference: pybind11 hands back the very Python object, typed as Recording in the stubs.
        .def(
            "__enter__", [](Recording& self) -> Recording& { return self; }, py::return_value_policy::reference)
        .def(
            "__exit__",
            // Returns None: an exception raised in the block goes on.
            [](Recording& self, const py::object&, const py::object&, const py::object&) {
                const py::gil_scoped_release unlocked;
                self.stop();
            },
            py::arg("exc_type"), py::arg("exc_value"), py::arg("traceback"));
    bind_recording_data(recording);
    recording
        .def(
            "report",
            [](py::object self) {
                return py::module_::import("velmor_tools.report").attr("report")(self).cast<std::string>();
            },
            "The cycle-time report: one row per command and the totals of the run")
        .def(
            "plot",
            [](py::object self, const std::filesystem::path& path) {
                require_numpy("Recording.plot");
                import_or_explain("matplotlib", "python3-matplotlib", "Recording.plot");
                py::module_::import("velmor_tools.plot").attr("plot")(self, py::cast(path));
            },
            py::arg("path"), "Draw positions, velocities and accelerations with the limits, commands and I/O to a file");
}

}  // namespace velmor::python
