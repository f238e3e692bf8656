#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

namespace velmor::drivers::simulated {

//! Who writes a signal. An input is written by the cell (devices, the viewer page) and
//! only read by the program; an output is written by the program and only shown on
//! the page. A signal without a direction takes any writer.
enum class Direction : std::uint8_t {
    Input,
    Output,
};

//! "input" or "output", as the viewer page and error messages name a direction.
constexpr const char* direction_name(Direction direction) {
    return direction == Direction::Input ? "input" : "output";
}

//! One named I/O signal of the simulated controller: digital when it holds an
//! integer, analog when it holds a float.
struct Signal {
    //! Name of the signal; also its key in the signal table.
    std::string name;
    //! Current value: a 32-bit integer (digital) or a single-precision float (analog).
    std::variant<std::int32_t, float> value;
    //! Text shown under the name in the viewer; empty label when absent.
    std::optional<std::string> description;
    //! Who may write the signal; any writer when absent.
    std::optional<Direction> direction {};
};

//! All signals by name. Node-based, so a stored Signal keeps its address while
//! further signals are added; entries are never removed.
using SignalTable = std::unordered_map<std::string, Signal>;

}  // namespace velmor::drivers::simulated
