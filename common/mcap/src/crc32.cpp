#include <velmor/mcap/crc32.hpp>

#include <array>
#include <cstring>

namespace velmor::mcap {

namespace {

// Eight tables let the loop fold eight bytes at a time: a streamed recording
// checks hundreds of megabytes, where one byte per step would cost a second.
using CrcTables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables() {
    CrcTables tables {};
    for (std::uint32_t byte = 0; byte < 256; ++byte) {
        std::uint32_t value = byte;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? (value >> 1) ^ 0xEDB88320U : value >> 1;
        }
        tables[0][byte] = value;
    }
    for (std::size_t table = 1; table < tables.size(); ++table) {
        for (std::uint32_t byte = 0; byte < 256; ++byte) {
            const std::uint32_t previous = tables[table - 1][byte];
            tables[table][byte] = (previous >> 8) ^ tables[0][previous & 0xFFU];
        }
    }
    return tables;
}

constexpr CrcTables crc_tables = make_crc_tables();

}  // namespace

std::uint32_t crc32(std::uint32_t crc, std::string_view bytes) {
    std::uint32_t value = ~crc;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t left = bytes.size();
    const auto& t = crc_tables;
    while (left >= 8) {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        std::memcpy(&low, data, 4);
        std::memcpy(&high, data + 4, 4);
        low ^= value;
        value = t[7][low & 0xFFU] ^ t[6][(low >> 8) & 0xFFU] ^ t[5][(low >> 16) & 0xFFU] ^ t[4][low >> 24] ^
                t[3][high & 0xFFU] ^ t[2][(high >> 8) & 0xFFU] ^ t[1][(high >> 16) & 0xFFU] ^ t[0][high >> 24];
        data += 8;
        left -= 8;
    }
    for (; left > 0; --left, ++data) {
        value = (value >> 8) ^ t[0][(value ^ *data) & 0xFFU];
    }
    return ~value;
}

}  // namespace velmor::mcap
