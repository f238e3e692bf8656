// The CRC-32 that MCAP files carry (the polynomial of zip and PNG files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmor::mcap {

//! Continues `crc` (0 to begin) over `bytes`.
std::uint32_t crc32(std::uint32_t crc, std::string_view bytes);

}  // namespace velmor::mcap
