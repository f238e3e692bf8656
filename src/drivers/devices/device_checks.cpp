#include "device_checks.hpp"

#include <cmath>
#include <sstream>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers::devices {

double checked_time(double value, double least, const std::string& what) {
    if (!std::isfinite(value) || value < least) {
        std::ostringstream message;
        message << "The " << what << " must be a finite number of seconds not below " << least << "; got " << value
                << ".";
        throw VelmorError("devices", message.str());
    }
    return value;
}

std::string name_or(std::string given, const std::string& fallback) {
    return given.empty() ? fallback : given;
}

}  // namespace velmor::drivers::devices
