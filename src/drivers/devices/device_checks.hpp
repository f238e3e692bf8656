#pragma once

#include <string>

namespace velmor::drivers::devices {

//! `value` [s] when it is finite and at least `least`; else throws VelmorError (module
//! "devices") naming the device's `what`.
double checked_time(double value, double least, const std::string& what);
//! `given` when not empty, else `fallback`: the name a device takes.
std::string name_or(std::string given, const std::string& fallback);

}  // namespace velmor::drivers::devices
