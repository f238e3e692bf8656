#pragma once

#include <functional>
#include <optional>
#include <string>

#include <velmor/drivers/signal_value.hpp>

namespace velmor::drivers::simulated {

// The value and source types live beside the driver framework, so that
// recordings can name them without the simulated I/O.
using drivers::IoSource;
using drivers::SignalValue;

//! Told of every change of a signal's value: its name, the value before (empty
//! when the signal was created), the new value, the source and, when a device made
//! the change, the device's name (else empty). Called with the signal table's lock
//! held, on the thread that made the change, so it must be quick.
using IoObserver = std::function<void(const std::string& name, const std::optional<SignalValue>& old_value,
                                      const SignalValue& new_value, IoSource source, const std::string& device)>;

}  // namespace velmor::drivers::simulated
