#include <velmor/motion/local_server.hpp>

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

bool is_out_of_resources(const boost::system::error_code& error) {
    namespace error_codes = boost::asio::error;
    return error == error_codes::no_descriptors || error == boost::system::errc::too_many_files_open_in_system ||
           error == error_codes::no_buffer_space || error == error_codes::no_memory;
}

void prepare_accepted(boost::asio::ip::tcp::socket& socket) {
    boost::system::error_code ignored;
    socket.set_option(boost::asio::ip::tcp::no_delay(true), ignored);
}

std::string browser_url(std::string_view host, std::uint16_t port) {
    std::string name(host);
    boost::system::error_code ec;
    const auto address = boost::asio::ip::make_address(name, ec);
    if (!ec && address.is_unspecified()) {
        name = "localhost";
    } else if (!ec && address.is_v6()) {
        name = "[" + name + "]";
    }
    return "http://" + name + ":" + std::to_string(port);
}

std::string local_address_of(const boost::asio::ip::tcp::socket& socket) {
    boost::system::error_code ec;
    const auto endpoint = socket.local_endpoint(ec);
    return ec ? std::string {} : endpoint.address().to_string();
}

}  // namespace velmor
