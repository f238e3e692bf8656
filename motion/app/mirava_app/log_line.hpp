#pragma once

#include <string>

namespace velmor::mirava_app {

//! Writes "[velmor.mirava] `text`" as one line to standard error.
void log_line(const std::string& text);

}  // namespace velmor::mirava_app
