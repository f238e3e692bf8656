#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace velmor {

//! How deep the JSON that files and peers send may nest. Every record and message
//! of this project is a few levels deep; far deeper values can only be meant to
//! exhaust the stack of the JSON library's recursive copy, comparison and dump.
inline constexpr int max_json_nesting = 32;

//! Parses `text` without building any value nested deeper than `max_json_nesting`.
//! Sets `too_deep` (and returns a discarded value) for text nested too deep. Text
//! that is not JSON gives a discarded value, or with `exceptions` throws the JSON
//! library's parse error, which says where the text goes wrong.
inline nlohmann::json parse_bounded_json(std::string_view text, bool& too_deep, bool exceptions = false) {
    too_deep = false;
    const auto limit = [&too_deep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        too_deep = too_deep || depth > max_json_nesting;
        return !too_deep;
    };
    auto value = nlohmann::json::parse(text, limit, exceptions);
    if (too_deep) {
        return nlohmann::json(nlohmann::json::value_t::discarded);
    }
    return value;
}

}  // namespace velmor
