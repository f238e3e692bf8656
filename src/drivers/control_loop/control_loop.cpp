// A motion's end and a command's start meet under the owner's motion lock: a loop
// that wants to end takes it, and after that last locked step the thread that ran
// the cycle touches no member, so a command that waits for the thread under the
// lock is never waiting for the lock itself.
#include "control_loop.hpp"

#include <utility>

#include "../clock/simulated_clock.hpp"
#include "cycle_pacer.hpp"

namespace velmor::drivers {

namespace {

const std::function<void()> no_observer;

}  // namespace

ControlLoop::ControlLoop(Owner owner, Clock clock) : owner(std::move(owner)), clock(clock) {}

void ControlLoop::set_stepping(bool on) {
    std::lock_guard step_lock(step_mutex);
    std::future<void> leaving;
    {
        std::lock_guard lock(owner.motion_mutex);
        if (stepping == on) {
            return;
        }
        stepping = on;
        clock.simulated.set_stepping(on);
        if (!on) {
            if (owner.running && !thread_active) {
                collect_finished();
                launch_thread();
            }
            return;
        }
        // The loop thread, if any, leaves the motion at its next cycle boundary,
        // or ends with the motion; either way the thread is over once its future is.
        leaving = std::move(thread);
    }
    // A pause, however long the time speed makes it, ends at the switch.
    clock.time_speed.wake();
    if (!leaving.valid()) {
        return;
    }
    leaving.wait();
    std::lock_guard lock(owner.motion_mutex);
    try {
        leaving.get();
    } catch (...) {
        error = std::current_exception();
    }
}

void ControlLoop::start() {
    clock.simulated.set_moving(true);
    if (!stepping) {
        launch_thread();
    }
}

void ControlLoop::launch_thread() {
    // Counted from here, under the lock, so that the count is back to 0 by the time
    // anybody sees the motion's result.
    enter_cycles();
    thread_active = true;
    try {
        thread = std::async(std::launch::async, &ControlLoop::run_thread, this);
    } catch (...) {
        thread_active = false;
        leave_cycles();
        owner.fail();
        throw;
    }
}

void ControlLoop::end() {
    clock.simulated.set_moving(false);
    if (thread_active) {
        thread_active = false;
        leave_cycles();
    }
}

void ControlLoop::collect_finished() {
    if (!thread.valid()) {
        return;
    }
    try {
        thread.get();
    } catch (...) {
        error = std::current_exception();
    }
}

void ControlLoop::join() {
    std::future<void> loop;
    {
        std::lock_guard lock(owner.motion_mutex);
        loop = std::move(thread);
    }
    if (loop.valid()) {
        loop.wait();
    }
    // Taken once the thread is over: a failed motion keeps its error until it has come to rest.
    std::exception_ptr ended_with;
    {
        std::lock_guard lock(owner.motion_mutex);
        ended_with = std::exchange(error, nullptr);
    }
    if (loop.valid()) {
        loop.get();
    }
    if (ended_with) {
        std::rethrow_exception(ended_with);
    }
}

void ControlLoop::wait_for_end() {
    std::future<void> loop;
    {
        std::lock_guard lock(owner.motion_mutex);
        loop = std::move(thread);
    }
    if (loop.valid()) {
        loop.wait();
    }
}

void ControlLoop::enter_cycles() {
    const int loops = clock.active_loops.fetch_add(1) + 1;
    int most = clock.most_active_loops.load();
    while (loops > most && !clock.most_active_loops.compare_exchange_weak(most, loops)) {
    }
}

void ControlLoop::leave_cycles() {
    clock.active_loops.fetch_sub(1);
}

void ControlLoop::run_thread() {
    try {
        run_paced();
    } catch (...) {
        // Leave the driver usable: the motion's command fails, and the error
        // stays in the thread's future for join() to pass on.
        std::lock_guard lock(owner.motion_mutex);
        owner.fail();
        throw;
    }
}

void ControlLoop::run_paced() {
    CyclePacer pacer(clock.time_speed);
    while (true) {
        pacer.begin_cycle();
        if (!owner.cycle(no_observer)) {
            return;
        }
        // Asked before the pause and after it: a switch during the cycle's work is
        // seen at once, one during the pause ends the pause.
        if (stepping && hand_over_to_stepping()) {
            return;
        }
        pacer.pause(clock.delta_time, clock.pacing.load());
        if (stepping && hand_over_to_stepping()) {
            return;
        }
    }
}

bool ControlLoop::hand_over_to_stepping() {
    std::lock_guard lock(owner.motion_mutex);
    if (!stepping) {
        return false;
    }
    thread_active = false;
    leave_cycles();
    return true;
}

std::size_t ControlLoop::run_steps(std::size_t cycles, const std::function<bool()>& until) {
    std::lock_guard step_lock(step_mutex);
    // Switched off while this caller waited for its turn: a loop thread runs the cycles.
    if (!stepping) {
        return 0;
    }
    enter_cycles();
    std::size_t ran {0};
    std::exception_ptr failure;
    // Asked inside the cycle: once a cycle ends the motion, another thread may start
    // the next one and replace what `until` reads.
    struct Watch {
        const std::function<bool()>& until;
        bool held {false};
        std::exception_ptr error;
    } watch {until, false, nullptr};
    // Capturing one reference keeps the function within its own storage: no allocation.
    const std::function<void()> observe = [&watch] {
        try {
            watch.held = watch.until();
        } catch (...) {
            watch.error = std::current_exception();
        }
    };
    while (ran < cycles && owner.running) {
        ++ran;
        bool goes_on {false};
        try {
            goes_on = owner.cycle(observe);
        } catch (...) {
            // As on the loop thread: the command fails and the driver stays usable.
            {
                std::lock_guard lock(owner.motion_mutex);
                owner.fail();
            }
            failure = std::current_exception();
            break;
        }
        if (watch.error) {
            failure = watch.error;
            break;
        }
        if (watch.held || !goes_on) {
            break;
        }
    }
    leave_cycles();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return ran;
}

void ControlLoop::run_while_waiting(const std::function<bool()>& ready) {
    // One cycle per turn, so that other stepping callers and a switch of the mode get their turns too.
    while (stepping && !ready()) {
        std::size_t ran {0};
        try {
            ran = run_steps(1, [] { return false; });
        } catch (...) {
            // As with a loop thread, the command reports Result::Error and join() passes the error on.
            std::lock_guard lock(owner.motion_mutex);
            error = std::current_exception();
            return;
        }
        if (ran == 0 && !owner.running) {
            return;
        }
    }
}

}  // namespace velmor::drivers
