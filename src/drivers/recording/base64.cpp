#include "drivers/recording/base64.hpp"

#include <array>
#include <cstdint>
#include <cstring>

namespace velmor::drivers::recording {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::uint8_t invalid = 0xFF;

constexpr std::array<std::uint8_t, 256> make_decoding_table() {
    std::array<std::uint8_t, 256> table {};
    for (auto& entry : table) {
        entry = invalid;
    }
    for (std::uint8_t i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(alphabet[i])] = i;
    }
    return table;
}

constexpr auto decoding_table = make_decoding_table();

// The two characters of every 12-bit value: half a group of three bytes per lookup.
constexpr std::array<char, 2 * 4096> make_pair_table() {
    std::array<char, 2 * 4096> table {};
    for (std::size_t i = 0; i < 4096; ++i) {
        table[2 * i] = alphabet[i >> 6];
        table[2 * i + 1] = alphabet[i & 63];
    }
    return table;
}

constexpr auto pair_table = make_pair_table();

}  // namespace

void append_base64(const void* data, std::size_t size, std::string& out) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t start = out.size();
    out.resize(start + (size + 2) / 3 * 4);
    char* to = out.data() + start;
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t group = (std::uint32_t {bytes[i]} << 16) | (std::uint32_t {bytes[i + 1]} << 8) | bytes[i + 2];
        std::memcpy(to, &pair_table[2 * (group >> 12)], 2);
        std::memcpy(to + 2, &pair_table[2 * (group & 0xFFF)], 2);
        to += 4;
    }
    if (const std::size_t rest = size - i; rest > 0) {
        const std::uint32_t group = (std::uint32_t {bytes[i]} << 16) | (rest == 2 ? std::uint32_t {bytes[i + 1]} << 8 : 0U);
        *to++ = alphabet[(group >> 18) & 63];
        *to++ = alphabet[(group >> 12) & 63];
        *to++ = rest == 2 ? alphabet[(group >> 6) & 63] : '=';
        *to++ = '=';
    }
}

bool decode_base64(std::string_view text, void* out, std::size_t size) {
    if (text.size() != (size + 2) / 3 * 4) {
        return false;
    }
    auto* bytes = static_cast<std::uint8_t*>(out);
    std::size_t written = 0;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const char c = text[i + k];
            // Padding may only close the last group, and only in its last two places.
            if (c == '=' && i + 4 == text.size() && k >= 2 && (k == 3 || text[i + 3] == '=')) {
                ++padding;
                group <<= 6;
                continue;
            }
            const std::uint8_t value = decoding_table[static_cast<unsigned char>(c)];
            if (value == invalid || padding > 0) {
                return false;
            }
            group = (group << 6) | value;
        }
        const std::size_t take = 3 - static_cast<std::size_t>(padding);
        if (written + take > size) {
            return false;
        }
        for (std::size_t k = 0; k < take && bytes != nullptr; ++k) {
            bytes[written + k] = static_cast<std::uint8_t>(group >> (16 - 8 * k));
        }
        written += take;
    }
    return written == size;
}

}  // namespace velmor::drivers::recording
