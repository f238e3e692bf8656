#include <velmor/net/request_guard.hpp>

#include <boost/beast/websocket/rfc6455.hpp>

namespace velmor {

namespace http = boost::beast::http;

// Any page that a browser shows may send requests to a local server. A foreign
// site's page carries its own name in Host once it has pointed that name at this
// machine, and its own origin in Origin when it opens a WebSocket; both are refused.
std::optional<Refusal> refuse_foreign(const http::request_header<>& request, const AllowedHosts& hosts,
                                      std::string_view local_address, std::string_view server,
                                      std::string_view hosts_setting) {
    const auto host_count = request.count(http::field::host);
    if (host_count > 1 || (host_count == 0 && request.version() >= 11)) {
        return Refusal {http::status::bad_request, "Bad request: an HTTP/1.1 request needs exactly one Host."};
    }
    if (host_count == 1 && !hosts.allows_host(request.find(http::field::host)->value(), local_address)) {
        std::string text = "This " + std::string(server) + " is not served under that host name.";
        if (!hosts_setting.empty()) {
            text += " List the name in " + std::string(hosts_setting) + " to allow it.";
        }
        return Refusal {http::status::forbidden, std::move(text)};
    }
    if (!boost::beast::websocket::is_upgrade(request)) {
        return std::nullopt;
    }
    const auto origin_count = request.count(http::field::origin);
    if (origin_count > 1 ||
        (origin_count == 1 &&
         !hosts.allows_origin(std::string_view(request.find(http::field::origin)->value()), local_address))) {
        return Refusal {http::status::forbidden, "Pages of other sites may not connect to this " + std::string(server) +
                                                     "."};
    }
    return std::nullopt;
}

std::string local_address_of(const boost::asio::ip::tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.local_endpoint(ec);
    return ec ? std::string {} : endpoint.address().to_string();
}

}  // namespace velmor
