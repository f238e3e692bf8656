#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

namespace velmor::drivers::recording {

//! Buffer size of recording files: about one chunk line of a six-joint robot,
//! so that most lines take one write.
constexpr std::size_t file_buffer_size = 1 << 20;

//! A recording file written through a large buffer, closed and checked on finish().
//! Every failure throws VelmorError (module "recording") naming the path.
class OutputFile {
public:
    explicit OutputFile(const std::filesystem::path& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    //! Writes `text` and empties it, so that callers can reuse its buffer.
    void write(std::string& text);
    //! Flushes and closes the file.
    void finish();

private:
    [[noreturn]] void fail() const;

    std::filesystem::path path;
    std::FILE* file;
};

}  // namespace velmor::drivers::recording
