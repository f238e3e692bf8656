#include <velmor/net/host_port.hpp>

#include <charconv>

#include <boost/asio/ip/address.hpp>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

HostPort parse_host_port(const std::string& text, PortZero port_zero, const std::string& what) {
    const auto colon = text.rfind(':');
    const auto refuse = [&]() {
        return VelmorError("mirava", "The " + what + " '" + text + "' is not of the form host:port.");
    };
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw refuse();
    }
    unsigned port = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, port);
    if (error != std::errc() || end != last || port > 65535 || (port == 0 && port_zero == PortZero::Refused)) {
        throw refuse();
    }
    return {text.substr(0, colon), static_cast<std::uint16_t>(port)};
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

}  // namespace velmor
