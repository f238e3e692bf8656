#pragma once

#include <string>

namespace velmor::drivers {

//! A coded value with its human-readable text; compared by `value` alone.
template <typename T>
struct Description {
    //! The code.
    T value;
    //! Fixed text of the code.
    std::string description;

    friend bool operator==(const Description& a, const Description& b) { return a.value == b.value; }
    friend bool operator!=(const Description& a, const Description& b) { return a.value != b.value; }
    friend bool operator<(const Description& a, const Description& b) { return a.value < b.value; }
    friend bool operator>(const Description& a, const Description& b) { return a.value > b.value; }
    friend bool operator<=(const Description& a, const Description& b) { return a.value <= b.value; }
    friend bool operator>=(const Description& a, const Description& b) { return a.value >= b.value; }
};

}  // namespace velmor::drivers
