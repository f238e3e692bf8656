#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmor {

//! A TCP endpoint written as "host:port".
struct HostPort {
    //! Host name or IP address.
    std::string host;
    //! TCP port.
    std::uint16_t port {0};

    //! "host:port".
    [[nodiscard]] std::string to_string() const { return host + ":" + std::to_string(port); }
};

//! Whether port 0 is a valid port: a server takes it for "any free port", a client cannot connect to it.
enum class PortZero { Refused, Allowed };

//! Parses "host:port" (the last colon splits, so "[::1]:80" keeps its brackets in the host).
//! Throws VelmorError (module "mirava") naming `what`, e.g. "The Mirava address 'x' is not of
//! the form host:port.", for anything else.
HostPort parse_host_port(const std::string& text, PortZero port_zero, const std::string& what);

//! The link "http://HOST:PORT" to a server that listens on `host` (an address or a name):
//! "localhost" for every interface (0.0.0.0, ::), IPv6 addresses in brackets, else `host`.
std::string browser_url(std::string_view host, std::uint16_t port);

}  // namespace velmor
