// Reads back the MCAP recordings that RecordingWriter writes.
#pragma once

#include <filesystem>
#include <istream>
#include <memory>

#include <velmor/drivers/recording/recording.hpp>

namespace velmor::drivers::mcap {

//! Largest record, and largest chunk once decompressed, a file may hold [bytes]:
//! the writer closes chunks at 1 MiB; a record that claims more is refused before
//! anything is allocated for it.
inline constexpr std::size_t max_record_bytes = std::size_t {64} << 20;
//! Most messages a file may hold: some 60 days of cycles at 4 ms.
inline constexpr std::uint64_t max_messages = std::uint64_t {1} << 30;

//! Whether `stream` begins with the MCAP magic; reads nothing when it does not.
bool starts_with_magic(std::istream& stream);

//! Reads the recording from `stream`, positioned after the magic; `path` names it in messages.
//! A file cut short (by a killed writer) gives what its complete chunks hold, with a warning.
//! Throws VelmorError (module "recording") naming the file, the byte and the reason.
std::shared_ptr<Recording> load(std::istream& stream, const std::filesystem::path& path);

}  // namespace velmor::drivers::mcap
