// The cell's devices of the simulated driver, acting on its simulated clock.
#include <velmor/drivers/simulated_driver.hpp>

#include <velmor/common/utf8_text.hpp>
#include <velmor/motion/robot_arm.hpp>
#include <velmor/velmor_error.hpp>

#include "clock/simulated_clock.hpp"
#include "devices/cell_devices.hpp"

namespace velmor::drivers {

void SimulatedDriver::use_clock_for_devices() {
    auto& devices = io_controller.cell_devices();
    devices.use_clock({[this] { return simulated_clock->now(); }, [this](double time) { simulated_clock->set_alarm(time); }},
                      [this](const std::string& arm) { return tool_point(arm); });
    // A ring counts as a control cycle of this driver: what a device's function calls may
    // not wait for the clock that is waiting for it.
    simulated_clock->set_ring([this, &devices](double time) {
        const ControlCycle cycle(*this);
        devices.ring(time);
    });
}

void SimulatedDriver::add_device(std::shared_ptr<devices::Device> device) {
    io_controller.add_device(std::move(device));
    start_alarm_thread();
}

bool SimulatedDriver::remove_device(const std::string& name) {
    return io_controller.remove_device(name);
}

std::vector<std::shared_ptr<devices::Device>> SimulatedDriver::devices() const {
    return io_controller.devices();
}

void SimulatedDriver::start_alarm_thread() {
    const std::lock_guard lock(alarm_thread_mutex);
    if (alarm_thread.joinable()) {
        return;
    }
    // Rings only while the clock follows wall-clock time; cycles and waits ring otherwise.
    alarm_thread = std::thread([this] {
        while (const auto time = simulated_clock->await_alarm()) {
            const ControlCycle cycle(*this);
            io_controller.cell_devices().ring(*time);
        }
    });
}

void SimulatedDriver::stop_alarm_thread() {
    // The clock is closed by now, which ends the thread's wait.
    const std::lock_guard lock(alarm_thread_mutex);
    if (alarm_thread.joinable()) {
        alarm_thread.join();
    }
}

void SimulatedDriver::robot_placed() {
    auto& devices = io_controller.cell_devices();
    if (devices.watches_robot()) {
        const ControlCycle cycle(*this);
        devices.ring(simulated_clock->now(), true);
    }
}

std::optional<Eigen::Vector3d> SimulatedDriver::tool_point(const std::string& arm_name) {
    const std::vector<double> position = get_current_joint_position();
    std::size_t first_joint = 0;
    for (auto arm = robot->get_next_arm(); arm; arm = robot->get_next_arm(arm)) {
        const std::size_t dof = arm->get_degrees_of_freedom();
        if (arm_name.empty() || arm->name == arm_name) {
            if (first_joint + dof > position.size()) {
                return std::nullopt;
            }
            const auto begin = std::next(position.begin(), static_cast<std::ptrdiff_t>(first_joint));
            return arm->calculate_tcp(std::vector<double>(begin, std::next(begin, static_cast<std::ptrdiff_t>(dof))))
                .translation();
        }
        first_joint += dof;
    }
    if (arm_name.empty()) {
        return std::nullopt;
    }
    throw VelmorError("devices", "The robot has no arm named '" + as_utf8(arm_name) + "'.");
}

}  // namespace velmor::drivers
