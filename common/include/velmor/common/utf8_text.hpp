#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmor {

//! Length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none.
inline std::size_t utf8_sequence_length(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const auto lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;   // no overlong forms
        high = lead == 0xed ? 0x9f : 0xbf;  // no surrogates
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;  // nothing beyond U+10FFFF
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xbf) {
            return 0;
        }
    }
    return length;
}

//! The text with every byte that is not part of well-formed UTF-8 written as \xNN.
//! Messages quote paths and file contents as they are; a script receives its
//! error text decoded as UTF-8 and would be left with an empty message otherwise.
inline std::string as_utf8(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string result;
    result.reserve(text.size());
    while (!text.empty()) {
        const auto length = utf8_sequence_length(text);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(text.front());
            result += "\\x";
            result.push_back(digits[byte >> 4]);
            result.push_back(digits[byte & 0xf]);
            text.remove_prefix(1);
        } else {
            result.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return result;
}

//! Whether every byte of `text` belongs to well-formed UTF-8.
inline bool is_utf8(std::string_view text) {
    while (!text.empty()) {
        const auto length = utf8_sequence_length(text);
        if (length == 0) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

}  // namespace velmor
