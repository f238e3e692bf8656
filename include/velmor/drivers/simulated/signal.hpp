#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

namespace velmor::drivers::simulated {

//! One named I/O signal of the simulated controller: digital when it holds an
//! integer, analog when it holds a float.
struct Signal {
    //! Name of the signal; also its key in the signal table.
    std::string name;
    //! Current value: a 32-bit integer (digital) or a single-precision float (analog).
    std::variant<std::int32_t, float> value;
    //! Text shown under the name in the viewer; empty label when absent.
    std::optional<std::string> description;
};

//! All signals by name. Node-based, so a stored Signal keeps its address while
//! further signals are added; entries are never removed.
using SignalTable = std::unordered_map<std::string, Signal>;

}  // namespace velmor::drivers::simulated
