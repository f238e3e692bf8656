// Reads the messages of an MCAP file in file order, checking every size before
// it allocates for it: shared by the driver's recordings and velmor-mirava's replay.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <string_view>

namespace velmor::mcap {

//! Largest record, and largest chunk once decompressed, a file may hold [bytes]:
//! the library's writer closes chunks at 1 MiB; a record that claims more is
//! refused before anything is allocated for it.
inline constexpr std::size_t max_record_bytes = std::size_t {64} << 20;

struct Message {
    std::string_view topic;
    std::uint64_t log_time;
    std::string_view data;
};

struct ReadOutcome {
    //! Whether the data section ended; false for a file cut short.
    bool ended {false};
    //! Chunks read whole.
    std::size_t chunks {0};
};

//! Whether `stream` begins with the MCAP magic; reads nothing when it does not.
bool starts_with_magic(std::istream& stream);

//! Calls `on_message` for every message of `stream`, positioned after the magic,
//! up to the end of the data section or of a file cut short (a killed writer),
//! whose last, incomplete record is left out. Chunks may be uncompressed or zstd;
//! their CRCs are checked. Throws std::runtime_error with the reason for a broken
//! file; `position` is then the byte at which the failing record begins.
ReadOutcome read_messages(std::istream& stream, const std::function<void(const Message&)>& on_message,
                          std::uint64_t& position);

}  // namespace velmor::mcap
