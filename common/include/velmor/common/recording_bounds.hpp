#pragma once

#include <cstddef>
#include <istream>
#include <stdexcept>
#include <string>

namespace velmor::recording_bounds {

// Bounds that a recording of any real cell stays far inside. Readers check them
// before anything is sized from a file's numbers, so that a hostile file can
// neither overflow a product of them nor make a reader allocate for nothing.

//! Most joints of a recorded robot.
inline constexpr std::size_t max_degrees_of_freedom = 256;
//! Highest index of the recorded robot's first joint in the environment's robot.
inline constexpr std::size_t max_joint_offset = max_degrees_of_freedom;
//! Most cycles of one chunk line: the recorder writes 4096, a million is no recording's.
inline constexpr std::size_t max_cycles_per_line = std::size_t {1} << 20;
//! Longest line [bytes]: three columns of 4096 cycles of 256 joints take 34 MB of base64.
inline constexpr std::size_t max_line_bytes = std::size_t {64} << 20;

//! Reads the next line of `stream` into `text` without its newline; false at the
//! end of the stream. `complete` tells whether a newline ended it. A line longer
//! than `max_line_bytes` is refused (std::runtime_error) as it grows, before it is held whole.
inline bool read_line(std::istream& stream, std::string& text, bool& complete) {
    text.clear();
    complete = false;
    auto* buffer = stream.rdbuf();
    for (auto c = buffer->sbumpc(); c != std::char_traits<char>::eof(); c = buffer->sbumpc()) {
        if (c == '\n') {
            complete = true;
            return true;
        }
        if (text.size() == max_line_bytes) {
            throw std::runtime_error("the line is longer than " + std::to_string(max_line_bytes) + " bytes");
        }
        text.push_back(static_cast<char>(c));
    }
    return !text.empty();
}

}  // namespace velmor::recording_bounds
