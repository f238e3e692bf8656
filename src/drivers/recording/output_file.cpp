#include "drivers/recording/output_file.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers::recording {

OutputFile::OutputFile(const std::filesystem::path& path) : path(path), file(std::fopen(path.c_str(), "wb")) {
    if (file == nullptr) {
        fail();
    }
    std::setvbuf(file, nullptr, _IOFBF, file_buffer_size);
}

OutputFile::~OutputFile() {
    if (file != nullptr) {
        std::fclose(file);
    }
}

void OutputFile::write(std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        fail();
    }
    text.clear();
}

void OutputFile::finish() {
    std::FILE* closing = std::exchange(file, nullptr);
    if (std::fclose(closing) != 0) {
        fail();
    }
}

void OutputFile::fail() const {
    throw VelmorError("recording", "Could not write the recording to '" + path.string() + "': " +
                                       std::strerror(errno) + ".");
}

}  // namespace velmor::drivers::recording
