#include "mirava_app/log_line.hpp"

#include <cstdio>

namespace velmor::mirava_app {

void log_line(const std::string& text) {
    // One write per line, so that lines of several threads never interleave.
    const std::string line = "[velmor.mirava] " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace velmor::mirava_app
