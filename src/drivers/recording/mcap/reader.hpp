// Reads back the MCAP recordings that RecordingWriter writes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>

#include <velmor/drivers/recording/recording.hpp>

namespace velmor::drivers::mcap {

//! Most messages a file may hold: some 60 days of cycles at 4 ms.
inline constexpr std::uint64_t max_messages = std::uint64_t {1} << 30;

//! Reads the recording from `stream`, positioned after the magic; `path` names it in messages.
//! A file cut short (by a killed writer) gives what its complete chunks hold, with a warning.
//! Throws VelmorError (module "recording") naming the file, the byte and the reason.
std::shared_ptr<Recording> load(std::istream& stream, const std::filesystem::path& path);

}  // namespace velmor::drivers::mcap
