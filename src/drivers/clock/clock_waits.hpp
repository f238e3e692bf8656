#pragma once

#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <optional>

#include "simulated_clock.hpp"

namespace velmor::drivers {

//! The dwells and waits of a driver's script on its simulated clock, synchronous or on
//! a thread of their own that completes a future. A synchronous one in stepping mode
//! runs the motion's cycles itself until its condition holds or its time is up; an
//! asynchronous one leaves the cycles to whoever steps, as a command's future does.
//! `mutex` guards the count of threads, which close() waits for.
class ClockWaits {
public:
    //! Runs cycles on the calling thread until its argument holds, in stepping mode.
    using RunCycles = std::function<void(const std::function<bool()>&)>;

    ClockWaits(SimulatedClock& clock, RunCycles run_cycles);
    ClockWaits(const ClockWaits&) = delete;
    ClockWaits& operator=(const ClockWaits&) = delete;
    //! close().
    ~ClockWaits();

    //! Waits until `ready` holds or `timeout` [s] (none: no limit) has passed on the
    //! clock; whether `ready` held. Throws VelmorError (module "driver") for a timeout that
    //! is not a number.
    bool wait(const std::function<bool()>& ready, std::optional<double> timeout);
    //! The same on a thread of its own; the future holds the answer or the error.
    std::shared_future<bool> wait_async(std::function<bool()> ready, std::optional<double> timeout);
    //! Dwells `seconds` [s] on the clock. Throws VelmorError (module "driver") unless the
    //! length is finite and not negative.
    void dwell(double seconds);
    //! The same on a thread of its own; the future holds true once the dwell is over.
    std::shared_future<bool> dwell_async(double seconds);
    //! Ends the waits under way and returns once none runs; later ones throw.
    void close();

private:
    std::shared_future<bool> launch(std::function<bool()> body);

    SimulatedClock& clock;
    RunCycles run_cycles;
    std::mutex mutex;
    std::condition_variable threads_ended;
    int threads {0};
};

}  // namespace velmor::drivers
