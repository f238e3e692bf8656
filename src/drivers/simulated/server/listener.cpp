#include "drivers/simulated/server/listener.hpp"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/socket_base.hpp>
#include <boost/beast/core/bind_handler.hpp>

#include <velmor/log/log.hpp>
#include <velmor/motion/local_server.hpp>

#include "drivers/simulated/server/http_session.hpp"

namespace velmor::drivers::simulated::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

Listener::Listener(asio::io_context& loop, std::shared_ptr<SharedState> state)
    : loop_(loop), acceptor_(loop), backoff_(loop), state_(std::move(state)) {}

boost::beast::error_code Listener::listen(const tcp::endpoint& endpoint) {
    boost::beast::error_code ec;
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec && endpoint.address().is_v6() && endpoint.address().is_unspecified()) {
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

std::uint16_t Listener::port() const {
    boost::beast::error_code ec;
    return acceptor_.local_endpoint(ec).port();
}

void Listener::run() {
    do_accept();
}

void Listener::stop() {
    boost::beast::error_code ec;
    acceptor_.close(ec);
    backoff_.cancel();
}

void Listener::do_accept() {
    acceptor_.async_accept(loop_, boost::beast::bind_front_handler(&Listener::on_accept, shared_from_this()));
}

void Listener::on_accept(boost::beast::error_code ec, tcp::socket socket) {
    if (!acceptor_.is_open()) {
        return;
    }
    if (is_out_of_resources(ec)) {
        if (!starved_) {
            log::log_<log::Level::Warn>("driver", "I/O viewer cannot accept connections for now: " + ec.message() +
                                                      ".");
        }
        starved_ = true;
        backoff_.expires_after(accept_backoff);
        backoff_.async_wait([self = shared_from_this()](boost::beast::error_code wait_ec) {
            if (!wait_ec) {
                self->do_accept();
            }
        });
        return;
    }
    if (ec) {
        log::log_<log::Level::Debug>("driver", "I/O viewer could not accept a connection: " + ec.message());
    } else {
        starved_ = false;
        prepare_accepted(socket);
        std::make_shared<HttpSession>(std::move(socket), state_)->run();
    }
    do_accept();
}

}  // namespace velmor::drivers::simulated::server
