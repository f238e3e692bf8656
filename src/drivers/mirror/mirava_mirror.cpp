#include "mirava_mirror.hpp"

#include <cmath>
#include <string>
#include <utility>

#include <velmor/log/log.hpp>

namespace velmor::drivers {

MiravaMirror::MiravaMirror(double delta_time, bool syncs) : sync(syncs) {
    if (!sync) {
        return;
    }
    interval = static_cast<std::uint64_t>(std::floor(1.0 / (updates_per_second * delta_time)));
    if (interval == 0) {
        interval = 1;
    }
    velmor::log::log_<velmor::log::Level::Debug>("driver", "Mirava update rate is '" + std::to_string(interval) + "'.");
}

std::shared_ptr<velmor::Mirava> MiravaMirror::client() const {
    std::lock_guard lock(mutex);
    return mirava;
}

void MiravaMirror::set_client(std::shared_ptr<velmor::Mirava> new_client) {
    std::lock_guard lock(mutex);
    connected = new_client != nullptr;
    mirava = std::move(new_client);
}

void MiravaMirror::on_cycle(const std::vector<double>& position) {
    if (cycle_counter % interval == 0) {
        if (const auto current = client()) {
            current->set_joint_position(position, nullptr);
        }
    }
    ++cycle_counter;
}

}  // namespace velmor::drivers
