#include "drivers/recording/mcap/number_text.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace velmor::drivers::mcap {

std::uint64_t nanoseconds(double seconds) {
    constexpr double highest = 1.8e19;
    if (!(seconds > 0.0)) {
        return 0;
    }
    return seconds * 1e9 >= highest ? std::numeric_limits<std::uint64_t>::max()
                                    : static_cast<std::uint64_t>(std::llround(seconds * 1e9));
}

void append_double(double value, std::string& out) {
    if (std::isnan(value)) {
        out += "\"nan\"";
    } else if (std::isinf(value)) {
        out += value > 0 ? "\"inf\"" : "\"-inf\"";
    } else if (value == 0.0 && std::signbit(value)) {
        // "-0" would read back as the integer 0.
        out += "-0.0";
    } else {
        char text[32];
        out.append(text, std::to_chars(text, text + sizeof(text), value).ptr);
    }
}

void begin_cycle_message(double time, double wall_time, std::string& out) {
    out.clear();
    out += "{\"time\":";
    append_double(time, out);
    out += ",\"wall_time\":";
    append_double(wall_time, out);
}

}  // namespace velmor::drivers::mcap
