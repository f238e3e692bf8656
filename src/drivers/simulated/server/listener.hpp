#pragma once

#include <cstdint>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>

#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! Accepts connections on one port and starts an HttpSession for each.
class Listener : public std::enable_shared_from_this<Listener> {
public:
    //! Prepares an acceptor on the loop; nothing is opened yet.
    Listener(boost::asio::io_context& loop, std::shared_ptr<SharedState> state);

    //! Opens, binds and listens on the port on every local interface.
    boost::beast::error_code listen(std::uint16_t port);
    //! Starts accepting connections.
    void run();
    //! Closes the listening socket; open connections stay.
    void stop();

private:
    void do_accept();
    void on_accept(boost::beast::error_code ec, boost::asio::ip::tcp::socket socket);
    boost::beast::error_code open_and_listen(const boost::asio::ip::tcp::endpoint& endpoint, bool dual_stack);

    boost::asio::io_context& loop_;
    boost::asio::ip::tcp::acceptor acceptor_;
    std::shared_ptr<SharedState> state_;
};

}  // namespace velmor::drivers::simulated::server
