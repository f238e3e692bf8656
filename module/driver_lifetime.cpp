#include "driver_lifetime.hpp"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <velmor/log/log.hpp>

namespace py = pybind11;

namespace velmor::python {

namespace {

using drivers::SimulatedDriver;

// Drivers that scripts hold, and drivers being destroyed on threads of their own.
struct LiveDrivers {
    std::mutex mutex;
    std::condition_variable released;
    std::vector<std::weak_ptr<SimulatedDriver>> held;
    int releasing {0};
};

LiveDrivers& live_drivers() {
    // Never destroyed: a release may still run while the process exits.
    static auto* drivers = new LiveDrivers();
    return *drivers;
}

void release_on_own_thread(SimulatedDriver* driver) {
    auto& drivers = live_drivers();
    {
        const std::lock_guard lock(drivers.mutex);
        ++drivers.releasing;
    }
    std::thread([driver] {
        delete driver;
        auto& drivers = live_drivers();
        const std::lock_guard lock(drivers.mutex);
        --drivers.releasing;
        drivers.released.notify_all();
    }).detach();
}

void wait_for_drivers() {
    auto& drivers = live_drivers();
    std::vector<std::shared_ptr<SimulatedDriver>> alive;
    {
        const std::lock_guard lock(drivers.mutex);
        for (const auto& held : drivers.held) {
            if (auto driver = held.lock()) {
                alive.push_back(std::move(driver));
            }
        }
    }
    const py::gil_scoped_release unlocked;
    for (const auto& driver : alive) {
        // The interpreter ends: a failure of the last motion can only be logged,
        // as the destructor would have done.
        try {
            driver->disconnect();
        } catch (const std::exception& error) {
            velmor::log::log_<velmor::log::Level::Error>(
                "driver", std::string("The control loop ended with an error: ") + error.what());
        }
    }
    std::unique_lock lock(drivers.mutex);
    drivers.released.wait(lock, [&drivers] { return drivers.releasing == 0; });
}

}  // namespace

std::shared_ptr<SimulatedDriver> hold(SimulatedDriver* driver) {
    std::shared_ptr<SimulatedDriver> held {driver, [](SimulatedDriver* released) {
                                               if (drivers::Driver::in_control_cycle()) {
                                                   release_on_own_thread(released);
                                               } else if (Py_IsInitialized() != 0 && PyGILState_Check() != 0) {
                                                   const py::gil_scoped_release unlocked;
                                                   delete released;
                                               } else {
                                                   delete released;
                                               }
                                           }};
    auto& drivers = live_drivers();
    const std::lock_guard lock(drivers.mutex);
    std::erase_if(drivers.held, [](const std::weak_ptr<SimulatedDriver>& entry) { return entry.expired(); });
    drivers.held.push_back(held);
    return held;
}

void register_exit_handler() {
    py::module_::import("atexit").attr("register")(py::cpp_function(&wait_for_drivers));
}

}  // namespace velmor::python
