#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <boost/asio/ip/address.hpp>

namespace velmor {

//! The names under which a local web server may be reached. A server checks
//! the Host of every request against them (a page of a foreign site that
//! rebinds its own name to this machine is refused) and the Origin of every
//! WebSocket handshake (a page of a foreign site is refused).
class AllowedHosts {
public:
    //! Loopback names and addresses ("localhost", 127.0.0.0/8, ::1) and the `listed`
    //! names; for a server that listens on a `listening` address beyond loopback also
    //! the machine's own host name and the address a connection arrived at.
    AllowedHosts(const boost::asio::ip::address& listening, const std::vector<std::string>& listed);

    //! Whether a Host header ("name", "name:port", "[v6]:port") names this server;
    //! `local_address`: the address the connection arrived at.
    [[nodiscard]] bool allows_host(std::string_view host, std::string_view local_address) const;
    //! Whether a WebSocket handshake may go on: true without an Origin (tools, scripts),
    //! else only for an http or https origin whose host is allowed; "null" is refused.
    [[nodiscard]] bool allows_origin(std::optional<std::string_view> origin, std::string_view local_address) const;

private:
    [[nodiscard]] bool allows_name(std::string name, std::string_view local_address) const;

    bool network_;
    std::vector<std::string> names_;
};

//! Splits a comma-separated list of host names, trimming blanks and dropping empty entries.
std::vector<std::string> split_host_list(std::string_view text);

}  // namespace velmor
