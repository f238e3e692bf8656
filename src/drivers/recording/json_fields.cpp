#include "drivers/recording/json_fields.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>

#include <velmor/common/bounded_json.hpp>

namespace velmor::drivers::recording {

const Json& member(const Json& line, const char* key) {
    const auto found = line.find(key);
    if (found == line.end()) {
        throw std::runtime_error(std::string("no \"") + key + "\"");
    }
    return *found;
}

// JSON has no NaN or infinities; they are written as strings so that every double round-trips.
Json number(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return value;
}

// `key` names the member in messages.
double number_from(const Json& value, const char* key) {
    if (value.is_number()) {
        return value.get<double>();
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "nan") {
            return std::numeric_limits<double>::quiet_NaN();
        }
        if (text == "inf" || text == "-inf") {
            return text == "inf" ? std::numeric_limits<double>::infinity() : -std::numeric_limits<double>::infinity();
        }
    }
    throw std::runtime_error(std::string("\"") + key + "\" is " + json_excerpt(value) + ", not a number");
}

double number_member(const Json& line, const char* key) {
    return number_from(member(line, key), key);
}

Json optional_number(const std::optional<double>& value) {
    return value ? number(*value) : Json(nullptr);
}

std::optional<double> optional_number_member(const Json& line, const char* key) {
    const Json& value = member(line, key);
    if (value.is_null()) {
        return std::nullopt;
    }
    return number_from(value, key);
}


void append_line(const Json& line, std::string& out) {
    // Names come from scripts and pages as bytes; ones that are not UTF-8 are kept readable
    // rather than failing the whole recording.
    out += line.dump(-1, ' ', false, Json::error_handler_t::replace);
    out += '\n';
}

}  // namespace velmor::drivers::recording
