#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/status.hpp>

#include <velmor/net/allowed_hosts.hpp>

namespace velmor {

//! Why a local web server does not serve a request: the status and text of its answer.
struct Refusal {
    //! The answer's status: 400 for a Host header that is missing or repeated, else 403.
    boost::beast::http::status status;
    //! The answer's plain-text body.
    std::string text;
};

//! The refusal of a request that a page of a foreign site may have sent, or nothing
//! when it may be served: an HTTP/1.1 request needs exactly one Host, the Host must
//! be allowed, and a WebSocket handshake's Origin must be allowed. `server` names the
//! server in the texts ("I/O viewer"); `hosts_setting`, when not empty, is the setting
//! that lists further names, named in the refusal of a foreign Host.
std::optional<Refusal> refuse_foreign(const boost::beast::http::request_header<>& request, const AllowedHosts& hosts,
                                      std::string_view local_address, std::string_view server,
                                      std::string_view hosts_setting);

//! The address that a connection of `socket` arrived at, as text; empty when the socket has none.
std::string local_address_of(const boost::asio::ip::tcp::socket& socket);

}  // namespace velmor
