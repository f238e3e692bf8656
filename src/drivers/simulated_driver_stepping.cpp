// Lockstep stepping of the simulated driver: the control cycles run on the
// threads that ask for them instead of on a free-running loop thread.
//
// `step_mutex` serialises the stepping callers with each other and with the
// switch between the two modes, so that cycles never overlap: switching on waits
// for the loop thread to leave the motion at a cycle boundary, switching off
// starts a loop thread for a motion under way.
#include <velmor/drivers/simulated_driver.hpp>

#include <exception>
#include <utility>

#include <velmor/velmor_error.hpp>

#include "deferred_search.hpp"

namespace velmor::drivers {

void SimulatedDriver::set_stepping(bool on) {
    refuse_inside_control_cycle("set_stepping", "switch stepping from the script, outside event actions");
    std::lock_guard step_lock(step_mutex);
    std::future<void> leaving;
    {
        std::lock_guard lock(command_mutex);
        if (stepping == on) {
            return;
        }
        stepping = on;
        if (!on) {
            if (running && !loop_thread_active) {
                collect_finished_loop();
                launch_loop_thread();
            }
            return;
        }
        // The loop thread, if any, leaves the motion at its next cycle boundary,
        // or ends with the motion; either way the thread is over once its future is.
        leaving = std::move(control_loop);
    }
    if (!leaving.valid()) {
        return;
    }
    leaving.wait();
    std::lock_guard lock(command_mutex);
    try {
        leaving.get();
    } catch (...) {
        loop_error = std::current_exception();
    }
}

std::size_t SimulatedDriver::step(std::size_t cycles) {
    refuse_inside_control_cycle("step", "an event action runs inside a cycle that a step is running already");
    if (!stepping) {
        throw VelmorError("driver", "step() runs control cycles only in stepping mode; set stepping to true first.");
    }
    return run_steps(cycles, [] { return false; });
}

std::optional<std::size_t> SimulatedDriver::step_until(const Trigger& trigger, std::size_t max_cycles) {
    refuse_inside_control_cycle("step_until", "an event action runs inside a cycle that a step is running already");
    if (!stepping) {
        throw VelmorError("driver",
                          "step_until() runs control cycles only in stepping mode; set stepping to true first.");
    }
    bool held {false};
    const std::size_t ran = run_steps(max_cycles, [&] {
        held = trigger(robot, time_scaler.get_trajectory_time(), cycle_position, current_trajectory);
        return held;
    });
    if (!held) {
        return std::nullopt;
    }
    return ran;
}

std::size_t SimulatedDriver::run_steps(std::size_t cycles, const std::function<bool()>& until) {
    std::lock_guard step_lock(step_mutex);
    // Switched off while this caller waited for its turn: a loop thread runs the cycles.
    if (!stepping) {
        return 0;
    }
    enter_cycles();
    std::size_t ran {0};
    std::exception_ptr error;
    // Asked inside the cycle: once a cycle ends the motion, another thread may start
    // the next one and replace what `until` reads.
    bool held {false};
    std::exception_ptr until_error;
    const std::function<void()> observe = [&] {
        try {
            held = until();
        } catch (...) {
            until_error = std::current_exception();
        }
    };
    while (ran < cycles && running) {
        ++ran;
        bool goes_on {false};
        try {
            goes_on = run_cycle(observe);
        } catch (...) {
            // As on the loop thread: the command fails and the driver stays usable.
            search->cancel();
            std::lock_guard lock(command_mutex);
            end_loop();
            complete_command(Result::Error);
            error = std::current_exception();
            break;
        }
        if (until_error) {
            error = until_error;
            break;
        }
        if (held || !goes_on) {
            break;
        }
    }
    leave_cycles();
    if (error) {
        std::rethrow_exception(error);
    }
    return ran;
}

void SimulatedDriver::run_cycles_while_waiting(const std::function<bool()>& ready) {
    // One cycle per turn, so that other stepping callers and a switch of the mode get their turns too.
    while (stepping && !ready()) {
        std::size_t ran {0};
        try {
            ran = run_steps(1, [] { return false; });
        } catch (...) {
            // As with a loop thread, the command reports Result::Error and disconnect() raises the error.
            std::lock_guard lock(command_mutex);
            loop_error = std::current_exception();
            return;
        }
        if (ran == 0 && !running) {
            return;
        }
    }
}

}  // namespace velmor::drivers
