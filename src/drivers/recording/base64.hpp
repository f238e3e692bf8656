// Base64 (standard alphabet, padded) of raw bytes, for the columns of a recording file.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace velmor::drivers::recording {

//! Appends the base64 text of `size` bytes at `data` to `out`.
void append_base64(const void* data, std::size_t size, std::string& out);

//! Decodes `text` into `out`, which has room for exactly `size` bytes; false
//! when the text is not padded base64 of that many bytes. With a null `out`
//! it only checks the text, so that callers can allocate once they know it is whole.
bool decode_base64(std::string_view text, void* out, std::size_t size);

}  // namespace velmor::drivers::recording
