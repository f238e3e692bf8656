#pragma once

namespace velmor::drivers {

//! How the chunks of an MCAP recording are stored.
enum class McapCompression {
    //! Compressed with zstd: about a fifth of the size, the default.
    Zstd,
    //! As they are, for tools without a zstd decoder.
    None,
};

}  // namespace velmor::drivers
