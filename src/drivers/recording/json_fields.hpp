// Reading and writing the members of a recording's JSON lines: numbers that may be
// NaN or infinite, members that must be there, and whole lines.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace velmor::drivers::recording {

using Json = nlohmann::json;

//! The member `key` of `line`; std::runtime_error naming it when there is none.
const Json& member(const Json& line, const char* key);
//! A number as JSON: NaN and the infinities, which JSON lacks, as the strings "nan", "inf", "-inf".
Json number(double value);
//! The number `value` written by number(); std::runtime_error naming `key` for anything else.
double number_from(const Json& value, const char* key);
//! The number in member `key` of `line`.
double number_member(const Json& line, const char* key);
//! number(), or null for none.
Json optional_number(const std::optional<double>& value);
//! The number in member `key` of `line`, or none for null.
std::optional<double> optional_number_member(const Json& line, const char* key);
//! Appends `line` and a newline to `out`.
void append_line(const Json& line, std::string& out);

}  // namespace velmor::drivers::recording
