#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include <velmor/log/log.hpp>

#include "bindings.hpp"

namespace py = pybind11;

namespace velmor::python {

namespace {

// Lines waiting for Python at most; further lines are counted, dropped, and the
// count is logged once the delivery thread catches up.
constexpr std::size_t log_bridge_capacity = 4096;

int python_level(log::Level level) {
    switch (level) {
        case log::Level::Debug:
            return 10;
        case log::Level::Warn:
            return 30;
        case log::Level::Error:
            return 40;
        default:
            return 20;
    }
}

// Carries the log lines to Python's `logging`. Lines come from the control loops,
// the viewer's server and the planner, on threads that may run while any Python
// thread holds the GIL, even one waiting for that very loop; so no C++ thread ever
// takes the GIL for a line. The printer thread only queues (bounded, never waiting),
// and a daemon Python thread, which takes the GIL the ordinary way, hands the lines
// to `logging`. An exit handler stops that thread while the interpreter is still
// whole, so it never asks for the GIL during finalisation.
class PythonLogBridge {
public:
    // The methods below run with the GIL held.
    void enable() {
        if (!thread.is_none()) {
            return;
        }
        if (!exit_handler_registered) {
            py::module_::import("atexit").attr("register")(py::cpp_function([this] { disable(); }));
            exit_handler_registered = true;
        }
        {
            std::lock_guard lock(mutex);
            stopping = false;
            delivering = true;
        }
        thread = py::module_::import("threading")
                     .attr("Thread")(py::arg("target") = py::cpp_function([this] { deliver_lines(); }),
                                     py::arg("name") = "velmor-log", py::arg("daemon") = true);
        thread.attr("start")();
        log::async_printer.set_sink([this](const log::Log& line) { push(line); });
    }

    void disable() {
        if (thread.is_none()) {
            return;
        }
        refuse_on_delivery_thread("log_to_python");
        // Once the sink is gone no line arrives, so the thread's last batch is the rest.
        log::async_printer.set_sink({});
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        ready.notify_all();
        thread.attr("join")();
        thread = py::none();
    }

    bool flush(double timeout) {
        if (!std::isfinite(timeout) || timeout < 0.0) {
            throw py::value_error("flush_log: the timeout must be a finite number of seconds, 0 or more.");
        }
        refuse_on_delivery_thread("flush_log");
        py::gil_scoped_release release;
        log::async_printer.flush();
        std::unique_lock lock(mutex);
        const std::size_t target = pushed;
        return delivered_changed.wait_for(lock, std::chrono::duration<double>(timeout),
                                          [&] { return delivered >= target || !delivering; });
    }

private:
    // Called on the printer thread, without the GIL.
    void push(const log::Log& line) {
        {
            std::lock_guard lock(mutex);
            if (queue.size() >= log_bridge_capacity) {
                ++dropped;
                return;
            }
            queue.push_back(line);
            ++pushed;
        }
        ready.notify_one();
    }

    // The delivery thread's body; entered with the GIL held.
    void deliver_lines() {
        const py::object get_logger = py::module_::import("logging").attr("getLogger");
        {
            std::lock_guard lock(mutex);
            delivery_thread = std::this_thread::get_id();
        }
        bool stop = false;
        while (!stop) {
            std::deque<log::Log> batch;
            std::size_t lost = 0;
            {
                // Released before the lock is taken and retaken after it is let go:
                // nobody holds the lock while waiting for the GIL.
                py::gil_scoped_release release;
                std::unique_lock lock(mutex);
                ready.wait(lock, [this] { return !queue.empty() || dropped > 0 || stopping; });
                batch.swap(queue);
                lost = std::exchange(dropped, 0);
                stop = stopping;
            }
            for (const auto& line : batch) {
                emit(get_logger, "velmor" + (line.tag.empty() ? std::string() : "." + line.tag),
                     python_level(line.level), line.message);
            }
            if (lost > 0) {
                emit(get_logger, "velmor.log", python_level(log::Level::Warn),
                     std::to_string(lost) + " log lines were dropped: Python's logging did not keep up.");
            }
            {
                std::lock_guard lock(mutex);
                delivered += batch.size();
                if (stop) {
                    delivering = false;
                    delivery_thread = std::thread::id();
                }
            }
            delivered_changed.notify_all();
        }
    }

    static void emit(const py::object& get_logger, const std::string& name, int level, const std::string& text) {
        try {
            get_logger(name).attr("log")(level, text);
        } catch (py::error_already_set& error) {
            // A failing handler is reported as Python reports errors it cannot raise,
            // and the lines after it are still delivered.
            error.discard_as_unraisable(py::str("delivering a log line of " + name));
        }
    }

    void refuse_on_delivery_thread(const char* operation) {
        std::lock_guard lock(mutex);
        if (delivery_thread == std::this_thread::get_id()) {
            throw std::runtime_error(std::string(operation) +
                                     " cannot be called from a logging handler: the handler runs on the thread "
                                     "that delivers the log lines.");
        }
    }

    // Guards queue, dropped, stopping, delivering, pushed, delivered and
    // delivery_thread. Never held while taking the GIL.
    std::mutex mutex;
    std::condition_variable ready;
    std::condition_variable delivered_changed;
    std::deque<log::Log> queue;
    std::size_t dropped {0};
    bool stopping {false};
    // From enable() until the delivery thread has handed over its last batch.
    bool delivering {false};
    // Lines queued and lines handed to logging so far, for flush().
    std::size_t pushed {0};
    std::size_t delivered {0};
    std::thread::id delivery_thread;
    // Only touched with the GIL held.
    py::object thread {py::none()};
    bool exit_handler_registered {false};
};

// Never destroyed: its thread object must not be released after the interpreter is gone.
PythonLogBridge& log_bridge() {
    static auto* bridge = new PythonLogBridge();
    return *bridge;
}

}  // namespace

void bind_log_bridge(py::module_& m) {
    m.def(
        "log_to_python", [](bool enable) { enable ? log_bridge().enable() : log_bridge().disable(); },
        py::arg("enable"),
        "Send every log line to Python's logging, under the logger 'velmor.<tag>' with the matching level, "
        "instead of standard output (True), or print them again (False). VELMOR_LOG_LEVEL still chooses "
        "which lines are made.");
    m.def(
        "flush_log", [](double timeout) { return log_bridge().flush(timeout); }, py::arg("timeout") = 5.0,
        "Wait up to timeout wall-clock seconds until every line logged so far has been printed or handed "
        "to logging. Returns whether all were.");
}

}  // namespace velmor::python
