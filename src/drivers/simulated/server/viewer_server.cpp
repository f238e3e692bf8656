#include "drivers/simulated/server/viewer_server.hpp"

#include <velmor/log/log.hpp>

#include "drivers/simulated/server/http_session.hpp"

namespace velmor::drivers::simulated::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// Attempts at finding a port that is free on every address when asked for any free port.
constexpr int free_port_attempts = 8;

}  // namespace

ViewerServer::ViewerServer(asio::io_context& loop, Handlers handlers, const ViewerSettings& settings)
    : loop_(loop),
      addresses_(settings.addresses),
      state_(std::make_shared<SharedState>(std::move(handlers), settings.hosts)) {}

boost::beast::error_code ViewerServer::listen(std::uint16_t port) {
    auto ec = listen_once(port);
    // The port picked on the first address may be taken on another one.
    for (int attempt = 1; port == 0 && ec == asio::error::address_in_use && attempt < free_port_attempts; ++attempt) {
        ec = listen_once(port);
    }
    for (const auto& listener : listeners_) {
        if (ec) {
            listener->stop();
        } else {
            listener->run();
        }
    }
    if (ec) {
        listeners_.clear();
    }
    return ec;
}

boost::beast::error_code ViewerServer::listen_once(std::uint16_t port) {
    for (const auto& listener : listeners_) {
        listener->stop();
    }
    listeners_.clear();
    for (const auto& address : addresses_) {
        auto listener = make_listener();
        const auto ec = listener->listen(tcp::endpoint(address, port));
        // Of the default pair of loopback addresses, the IPv6 one is missing on hosts without IPv6.
        const bool missing = ec == boost::system::errc::address_not_available ||
                             ec == asio::error::address_family_not_supported;
        if (ec && !(missing && !listeners_.empty())) {
            return ec;
        }
        if (!ec) {
            port = listener->port();
            listeners_.push_back(std::move(listener));
        }
    }
    return {};
}

std::shared_ptr<Listener> ViewerServer::make_listener() const {
    return std::make_shared<Listener>(
        loop_,
        [state = state_](tcp::socket socket) { std::make_shared<HttpSession>(std::move(socket), state)->run(); },
        [](const boost::system::error_code& ec) {
            if (is_out_of_resources(ec)) {
                log::log_<log::Level::Warn>("driver", "I/O viewer cannot accept connections for now: " +
                                                          ec.message() + ".");
            } else {
                log::log_<log::Level::Debug>("driver", "I/O viewer could not accept a connection: " + ec.message());
            }
        });
}

std::uint16_t ViewerServer::port() const {
    return listeners_.empty() ? 0 : listeners_.front()->port();
}

void ViewerServer::publish(Update update) {
    state_->publish(std::move(update));
}

void ViewerServer::close() {
    for (const auto& listener : listeners_) {
        listener->stop();
    }
    state_->stop_http_sessions();
}

void ViewerServer::stop() {
    close();
    state_->stop_websocket_sessions();
}

}  // namespace velmor::drivers::simulated::server
