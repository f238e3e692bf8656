#include "drivers/simulated/server/listener.hpp"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/bind_handler.hpp>

#include <velmor/log/log.hpp>

#include "drivers/simulated/server/http_session.hpp"

namespace velmor::drivers::simulated::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

Listener::Listener(asio::io_context& loop, std::shared_ptr<SharedState> state)
    : loop_(loop), acceptor_(loop), state_(std::move(state)) {}

boost::beast::error_code Listener::listen(std::uint16_t port) {
    // One dual-stack socket serves "localhost" whichever address family a
    // browser tries first; hosts without IPv6 fall back to IPv4 alone.
    auto ec = open_and_listen(tcp::endpoint(tcp::v6(), port), true);
    if (ec && ec != asio::error::address_in_use) {
        ec = open_and_listen(tcp::endpoint(tcp::v4(), port), false);
    }
    return ec;
}

boost::beast::error_code Listener::open_and_listen(const tcp::endpoint& endpoint, bool dual_stack) {
    boost::beast::error_code ec;
    if (acceptor_.is_open()) {
        acceptor_.close(ec);
    }
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec && dual_stack) {
        acceptor_.set_option(asio::ip::v6_only(false), ec);
    }
    if (!ec) {
        acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor_.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        boost::beast::error_code ignored;
        acceptor_.close(ignored);
    }
    return ec;
}

void Listener::run() {
    do_accept();
}

void Listener::stop() {
    boost::beast::error_code ec;
    acceptor_.close(ec);
}

void Listener::do_accept() {
    acceptor_.async_accept(loop_, boost::beast::bind_front_handler(&Listener::on_accept, shared_from_this()));
}

void Listener::on_accept(boost::beast::error_code ec, tcp::socket socket) {
    if (ec) {
        if (ec != asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer could not accept a connection: " + ec.message());
        }
    } else {
        std::make_shared<HttpSession>(std::move(socket), state_)->run();
    }
    if (acceptor_.is_open()) {
        do_accept();
    }
}

}  // namespace velmor::drivers::simulated::server
