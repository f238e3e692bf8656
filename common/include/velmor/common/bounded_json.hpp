#pragma once

#include <cstddef>
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

namespace detail {

inline void append_json_excerpt(const nlohmann::json& value, std::string& out, std::size_t limit) {
    const auto quoted = [](const std::string& text) {
        return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    };
    if (out.size() >= limit) {
        return;
    }
    if (value.is_string()) {
        out += quoted(value.get_ref<const std::string&>().substr(0, limit - out.size()));
    } else if (value.is_structured()) {
        out += value.is_array() ? '[' : '{';
        // Every level adds a bracket before it goes deeper, so the limit also bounds the depth.
        for (const auto& item : value.items()) {
            if (out.size() >= limit) {
                break;
            }
            if (out.back() != '[' && out.back() != '{') {
                out += ',';
            }
            if (value.is_object()) {
                out += quoted(item.key()) + ':';
            }
            append_json_excerpt(item.value(), out, limit);
        }
        out += value.is_array() ? ']' : '}';
    } else {
        out += value.dump();
    }
}

}  // namespace detail

//! The start of `value` as compact JSON, at most `limit` bytes and "..." where it
//! goes on, for error messages: never a dump of a whole value, however large or deep.
inline std::string json_excerpt(const nlohmann::json& value, std::size_t limit = 60) {
    std::string out;
    if (limit > 0) {
        detail::append_json_excerpt(value, out, limit);
    }
    if (out.size() > limit) {
        // Cut at the start of a character, not inside one.
        auto end = limit;
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) {
            --end;
        }
        out.resize(end);
        out += "...";
    }
    return out;
}

}  // namespace velmor
