#pragma once

#include <cstdint>
#include <string>

namespace velmor {

//! Where the Mirava application listens.
struct MiravaAddress {
    //! Host name or IP address.
    std::string host;
    //! TCP port.
    std::uint16_t port;

    //! "host:port".
    [[nodiscard]] std::string to_string() const { return host + ":" + std::to_string(port); }
};

//! Parses "host:port"; throws VelmorError (module "mirava") for anything else.
MiravaAddress parse_mirava_address(const std::string& text);

//! The address from VELMOR_MIRAVA_ADDRESS, or 127.0.0.1:8768 when it is unset or empty.
MiravaAddress mirava_address_from_environment();

}  // namespace velmor
