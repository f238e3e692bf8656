#include <velmor/log/log.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace velmor::log {

namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

Level get_default_level() {
    const char* value = std::getenv("VELMOR_LOG_LEVEL");
    if (value == nullptr) {
        return Level::Warn;
    }
    constexpr std::array<std::pair<std::string_view, Level>, 4> names {{
        {"debug", Level::Debug},
        {"info", Level::Info},
        {"warn", Level::Warn},
        {"error", Level::Error},
    }};
    for (const auto& [name, named_level] : names) {
        if (equals_ignoring_case(value, name)) {
            return named_level;
        }
    }
    return Level::Warn;
}

// Both are built while the library loads; the printer's thread starts then.
std::atomic<Level> level {get_default_level()};
AsyncPrinter async_printer;

}  // namespace velmor::log
