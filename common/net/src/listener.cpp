#include <velmor/net/listener.hpp>

#include <chrono>
#include <utility>

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/socket_base.hpp>

namespace velmor {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

// How long accepting pauses after is_out_of_resources(): accepting again at once would spin.
constexpr std::chrono::milliseconds accept_backoff {100};

}  // namespace

bool is_out_of_resources(const boost::system::error_code& error) {
    namespace error_codes = asio::error;
    return error == error_codes::no_descriptors || error == boost::system::errc::too_many_files_open_in_system ||
           error == error_codes::no_buffer_space || error == error_codes::no_memory;
}

Listener::Listener(asio::io_context& loop, ConnectionHandler on_connection, ErrorHandler on_error)
    : loop_(loop),
      acceptor_(loop),
      backoff_(loop),
      on_connection_(std::move(on_connection)),
      on_error_(std::move(on_error)) {}

boost::system::error_code Listener::listen(const tcp::endpoint& endpoint) {
    boost::system::error_code ec;
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
        boost::system::error_code ignored;
        acceptor_.close(ignored);
    }
    return ec;
}

std::uint16_t Listener::port() const {
    boost::system::error_code ec;
    return acceptor_.local_endpoint(ec).port();
}

void Listener::run() {
    do_accept();
}

void Listener::stop() {
    boost::system::error_code ec;
    acceptor_.close(ec);
    backoff_.cancel();
}

void Listener::do_accept() {
    acceptor_.async_accept(loop_, [self = shared_from_this()](boost::system::error_code ec, tcp::socket socket) {
        self->on_accept(ec, std::move(socket));
    });
}

void Listener::on_accept(boost::system::error_code ec, tcp::socket socket) {
    if (!acceptor_.is_open()) {
        return;
    }
    if (is_out_of_resources(ec)) {
        if (!starved_ && on_error_) {
            on_error_(ec);
        }
        starved_ = true;
        backoff_.expires_after(accept_backoff);
        backoff_.async_wait([self = shared_from_this()](boost::system::error_code wait_ec) {
            if (!wait_ec) {
                self->do_accept();
            }
        });
        return;
    }
    if (ec) {
        if (on_error_) {
            on_error_(ec);
        }
    } else {
        starved_ = false;
        // Small frames go out at once, without waiting for the acknowledgement of the previous one.
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        on_connection_(std::move(socket));
    }
    do_accept();
}

}  // namespace velmor
