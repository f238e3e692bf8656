#include "drivers/simulated/server/viewer_settings.hpp"

#include <cstdlib>
#include <string>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers::simulated::server {

namespace ip = boost::asio::ip;

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string {} : std::string {value};
}

}  // namespace

ViewerSettings read_viewer_settings() {
    const auto listed = split_host_list(environment("VELMOR_IO_VIEWER_HOSTS"));
    const auto address_text = environment("VELMOR_IO_VIEWER_ADDRESS");
    if (address_text.empty()) {
        // Both loopback families, so that "localhost" reaches the viewer whichever one a browser tries.
        return {{ip::address_v4::loopback(), ip::address_v6::loopback()},
                AllowedHosts(ip::address_v4::loopback(), listed)};
    }
    boost::system::error_code ec;
    const auto address = ip::make_address(address_text, ec);
    if (ec) {
        throw VelmorError("driver", "VELMOR_IO_VIEWER_ADDRESS='" + address_text +
                                        "' is not an IP address; use for example 127.0.0.1, or 0.0.0.0 to "
                                        "serve the I/O viewer to the network.");
    }
    return {{address}, AllowedHosts(address, listed)};
}

}  // namespace velmor::drivers::simulated::server
