#include <velmor/motion/host_port.hpp>

#include <charconv>

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

}  // namespace velmor
