#pragma once

#include <cstddef>
#include <sstream>
#include <string>
#include <vector>

namespace velmor {

//! The values with `precision` significant digits (the stream's default
//! floating format), separated by ", " and without brackets.
template <typename T>
std::string join(const std::vector<T>& values, std::size_t precision = 4) {
    std::ostringstream stream;
    stream.precision(static_cast<std::streamsize>(precision));
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            stream << ", ";
        }
        stream << values[i];
    }
    return stream.str();
}

}  // namespace velmor
