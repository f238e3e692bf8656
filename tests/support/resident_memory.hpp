#pragma once

#include <fstream>
#include <string>

namespace velmor::testing {

//! The resident memory of this process [MiB], from /proc; 0 where it cannot be read.
inline double resident_mib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0.0;
}

}  // namespace velmor::testing
