// What a recording says about a command: its kind and its arguments in short.
#pragma once

#include <string>

#include <velmor/drivers/commands.hpp>

namespace velmor::drivers::recording {

//! "run", "move_to", "move_along", "blend_into" or "stop".
std::string command_kind(const Command& command);

//! The arguments in a few words, e.g. "[0.6, -1.3, 1.6]" or "500 samples, 1.996 s".
std::string command_arguments(const Command& command);

}  // namespace velmor::drivers::recording
