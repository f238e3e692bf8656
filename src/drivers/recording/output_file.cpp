#include "drivers/recording/output_file.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers::recording {

namespace {

// Tells apart the temporary files of saves that run at the same time.
std::atomic<unsigned> temporary_serial {0};

// Gives the file the permissions of the file it is to replace; a new target
// keeps what the process's umask gave the temporary file.
bool take_permissions_of(const std::filesystem::path& target, int descriptor) {
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    return ::fchmod(descriptor, status.st_mode & 07777) == 0;
}

}  // namespace

std::FILE* open_stream(const std::filesystem::path& path, const std::string& first) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw VelmorError("recording", "Could not create the recording file '" + path.string() +
                                           "': " + std::strerror(errno) + ".");
    }
    std::setvbuf(file, nullptr, _IOFBF, file_buffer_size);
    if (std::fwrite(first.data(), 1, first.size(), file) != first.size()) {
        const int error = errno;
        std::fclose(file);
        throw VelmorError("recording", "Could not write the recording file '" + path.string() +
                                           "': " + std::strerror(error) + ".");
    }
    return file;
}

OutputFile::OutputFile(const std::filesystem::path& path) : path(path) {
    // Beside the target, so that the rename stays within one file system; O_EXCL
    // never reuses a file that someone else made or left there.
    int descriptor = -1;
    while (descriptor < 0) {
        temporary = path.parent_path() / ("." + path.filename().string() + "." + std::to_string(::getpid()) + "." +
                                          std::to_string(temporary_serial++) + ".tmp");
        descriptor = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0 && errno != EEXIST) {
            fail();
        }
    }
    file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(descriptor);
        ::unlink(temporary.c_str());
        errno = error;
        fail();
    }
    std::setvbuf(file, nullptr, _IOFBF, file_buffer_size);
}

OutputFile::~OutputFile() {
    if (file != nullptr) {
        std::fclose(file);
    }
    if (!replaced) {
        ::unlink(temporary.c_str());
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
    const bool synced = std::fflush(closing) == 0 && ::fsync(::fileno(closing)) == 0 &&
                        take_permissions_of(path, ::fileno(closing));
    const int error = errno;
    if (std::fclose(closing) != 0 || !synced) {
        if (!synced) {
            errno = error;
        }
        fail();
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        fail();
    }
    replaced = true;
}

void OutputFile::fail() const {
    throw VelmorError("recording", "Could not write the recording to '" + path.string() + "': " +
                                       std::strerror(errno) + ".");
}

}  // namespace velmor::drivers::recording
