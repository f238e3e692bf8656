#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>

namespace velmor::drivers::simulated {

//! A signal's value: a 32-bit integer (digital) or a single-precision float (analog).
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
};

//! Told of every change of a signal's value: its name, the value before (empty
//! when the signal was created), the new value and the source. Called with the
//! signal table's lock held, on the thread that made the change, so it must be quick.
using IoObserver = std::function<void(const std::string& name, const std::optional<SignalValue>& old_value,
                                      const SignalValue& new_value, IoSource source)>;

}  // namespace velmor::drivers::simulated
