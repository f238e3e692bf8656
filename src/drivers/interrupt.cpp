#include <csignal>

#include <velmor/drivers/simulated_driver.hpp>

namespace velmor::drivers {

std::atomic<int> global_signal_status {0};

void handle_interrupt(int signal) {
    global_signal_status.store(signal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace velmor::drivers
