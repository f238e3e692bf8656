#pragma once

#include <cstdint>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>

#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! Accepts connections on one address and port and starts an HttpSession for each.
class Listener : public std::enable_shared_from_this<Listener> {
public:
    //! Prepares an acceptor on the loop; nothing is opened yet.
    Listener(boost::asio::io_context& loop, std::shared_ptr<SharedState> state);

    //! Opens, binds and listens; an unspecified IPv6 address serves IPv4 as well.
    boost::beast::error_code listen(const boost::asio::ip::tcp::endpoint& endpoint);
    //! The port it listens on (the one picked when asked for port 0).
    std::uint16_t port() const;
    //! Starts accepting connections.
    void run();
    //! Closes the listening socket; open connections stay.
    void stop();

private:
    void do_accept();
    void on_accept(boost::beast::error_code ec, boost::asio::ip::tcp::socket socket);

    boost::asio::io_context& loop_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer backoff_;
    std::shared_ptr<SharedState> state_;
    bool starved_ {false};
};

}  // namespace velmor::drivers::simulated::server
