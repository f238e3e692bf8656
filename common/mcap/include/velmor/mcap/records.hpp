// The byte layout shared by the MCAP writer and reader: the magic, the record
// opcodes, and little-endian fields appended to a byte string.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace velmor::mcap {

static_assert(std::endian::native == std::endian::little, "MCAP fields are little-endian, copied from memory");

//! The eight bytes at both ends of every file (major version 0).
inline constexpr std::string_view magic {"\x89MCAP0\r\n", 8};

enum class Opcode : std::uint8_t {
    Header = 0x01,
    Footer = 0x02,
    Schema = 0x03,
    Channel = 0x04,
    Message = 0x05,
    Chunk = 0x06,
    MessageIndex = 0x07,
    ChunkIndex = 0x08,
    Statistics = 0x0B,
    SummaryOffset = 0x0E,
    DataEnd = 0x0F,
};

//! Opcode and length that come before every record's content [bytes].
inline constexpr std::size_t record_prefix = 9;

template <typename T>
void put(std::string& out, T value) {
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

//! A string or byte field: its length in 32 bits, then its bytes.
inline void put_text(std::string& out, std::string_view text) {
    put(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

//! Starts a record in `out`; the length follows once the content is there (see end_record).
inline std::size_t begin_record(std::string& out, Opcode opcode) {
    out.push_back(static_cast<char>(opcode));
    const std::size_t start = out.size();
    put(out, std::uint64_t {0});
    return start;
}

//! Writes the length of the record begun at `start`.
inline void end_record(std::string& out, std::size_t start) {
    const std::uint64_t length = out.size() - start - sizeof(std::uint64_t);
    std::memcpy(out.data() + start, &length, sizeof(length));
}

//! Starts a length-prefixed (32-bit) map or array in `out`; end_group fills the length in.
inline std::size_t begin_group(std::string& out) {
    const std::size_t start = out.size();
    put(out, std::uint32_t {0});
    return start;
}

inline void end_group(std::string& out, std::size_t start) {
    const auto length = static_cast<std::uint32_t>(out.size() - start - sizeof(std::uint32_t));
    std::memcpy(out.data() + start, &length, sizeof(length));
}

}  // namespace velmor::mcap
