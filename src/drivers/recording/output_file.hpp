#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace velmor::drivers::recording {

//! Buffer size of recording files: about one chunk line of a six-joint robot,
//! so that most lines take one write.
constexpr std::size_t file_buffer_size = 1 << 20;

//! Creates `path` for a streamed recording, buffered as an OutputFile, and writes
//! `first` to it. Throws VelmorError (module "recording") naming the path.
std::FILE* open_stream(const std::filesystem::path& path, const std::string& first);

//! A recording file written whole or not at all: the text goes through a large
//! buffer into a new temporary file beside the target, which finish() flushes
//! to the disk and renames over the target with the target's permissions. Until
//! then the target stays as it was; a file never finished leaves no temporary
//! behind. Every failure throws VelmorError (module "recording") naming the path.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    //! Writes `text` and empties it, so that callers can reuse its buffer.
    void write(std::string& text);
    //! Flushes, syncs and closes the temporary file and puts it in the target's place.
    void finish();

private:
    [[noreturn]] void fail() const;

    std::filesystem::path path;
    std::filesystem::path temporary;
    std::FILE* file {nullptr};
    bool replaced {false};
};

}  // namespace velmor::drivers::recording
