#pragma once

#include <stdexcept>
#include <string>

namespace velmor {

//! The one exception type of the driver and the motion library: the module that
//! raised it and a message, presented as "\n[velmor.exception.<module>]\n\t<message>\n".
class VelmorError : public std::runtime_error {
public:
    //! Short name of the raising module, e.g. "driver" or "time-scaler".
    std::string module;
    //! The message proper, without decoration.
    std::string message;

    VelmorError(const std::string& module, const std::string& message)
        : std::runtime_error("\n[velmor.exception." + module + "]\n\t" + message + "\n"),
          module(module),
          message(message) {}

    ~VelmorError() override = default;
};

}  // namespace velmor
