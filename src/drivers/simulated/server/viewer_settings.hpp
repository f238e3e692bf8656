#pragma once

#include <vector>

#include <boost/asio/ip/address.hpp>

#include <velmor/net/allowed_hosts.hpp>

namespace velmor::drivers::simulated::server {

//! Where the viewer listens and under which names it may be reached.
struct ViewerSettings {
    //! Addresses to listen on, all on the same port; the first one decides a free port.
    std::vector<boost::asio::ip::address> addresses;
    //! Names that a request's Host and a handshake's Origin may carry.
    AllowedHosts hosts;
};

//! The loopback interface unless VELMOR_IO_VIEWER_ADDRESS names another address
//! (0.0.0.0 or :: for every interface); names listed in VELMOR_IO_VIEWER_HOSTS
//! (comma-separated) are allowed besides the loopback ones and, off loopback, the
//! machine's own. Throws VelmorError (module "driver") for an address that is none.
ViewerSettings read_viewer_settings();

}  // namespace velmor::drivers::simulated::server
