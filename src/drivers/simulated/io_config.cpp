// Loading signals from an I/O configuration file.
#include <velmor/drivers/simulated/controller.hpp>

#include <fstream>
#include <utility>

#include <nlohmann/json.hpp>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers::simulated {

void Controller::load_io_config_from_file(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream.is_open()) {
        throw VelmorError("driver", "Could not open the I/O config json file at '" + file.string() + "'.");
    }
    // The whole document is parsed before any signal is made, so a broken file changes nothing.
    const auto document = nlohmann::json::parse(stream);

    std::vector<std::pair<std::string, std::int32_t>> accepted;
    for (const auto& item : document.items()) {
        const auto& value = item.value();
        if (value.is_number_unsigned()) {
            accepted.emplace_back(item.key(), static_cast<std::int32_t>(value.get<std::uint64_t>()));
        } else if (value.is_number_integer()) {
            accepted.emplace_back(item.key(), static_cast<std::int32_t>(value.get<std::int64_t>()));
        } else {
            log::log_<log::Level::Warn>("driver",
                                        "Did not create I/O '" + item.key() + "' due to a wrong default type.");
        }
    }
    const std::lock_guard lock(signals_mutex);
    for (const auto& [name, value] : accepted) {
        store(Signal {name, value, std::nullopt}, IoSource::ConfigFile);
    }
}

}  // namespace velmor::drivers::simulated
