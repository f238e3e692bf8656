// How numbers go into MCAP messages and record headers.
#pragma once

#include <cstdint>
#include <string>

namespace velmor::drivers::mcap {

//! Nanoseconds of a time in seconds; times before the recording began, or not a number, count as 0.
std::uint64_t nanoseconds(double seconds);

//! Appends the shortest text that reads back as the same double; JSON's missing
//! values (NaN, infinities) as the strings "nan", "inf" and "-inf".
void append_double(double value, std::string& out);

//! Starts a message of one control cycle in `out`: `{"time":...,"wall_time":...`.
void begin_cycle_message(double time, double wall_time, std::string& out);

}  // namespace velmor::drivers::mcap
