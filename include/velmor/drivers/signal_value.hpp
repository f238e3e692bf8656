#pragma once

#include <cstdint>
#include <variant>

namespace velmor::drivers {

//! An I/O signal's value: a 32-bit integer (digital) or a single-precision float (analog).
using SignalValue = std::variant<std::int32_t, float>;

//! Where a change of a signal's value came from.
enum class IoSource : std::uint8_t {
    //! The client program: create_io, load_io_config, set_digital_output.
    Script,
    //! A person on the I/O viewer page: set-value, or a toggle without delay.
    Viewer,
    //! A toggle thread of the viewer: a delayed or repeated toggle.
    Toggle,
    //! An I/O configuration file.
    ConfigFile,
    //! A device of the cell, named with the change.
    Device,
};

}  // namespace velmor::drivers
