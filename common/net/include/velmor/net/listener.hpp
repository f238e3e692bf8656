#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/system/error_code.hpp>

namespace velmor {

//! Accepts connections on one address and port and hands each, set up for small
//! frames, to the server's connection handler. While the process or the system
//! has no descriptor or memory left it pauses accepting (the connection waits in
//! the backlog) instead of spinning on the same failure.
class Listener : public std::enable_shared_from_this<Listener> {
public:
    //! Takes an accepted connection; runs on the loop's thread.
    using ConnectionHandler = std::function<void(boost::asio::ip::tcp::socket)>;
    //! Hears of a failed accept: once when a spell without resources begins, and for every other failure.
    using ErrorHandler = std::function<void(const boost::system::error_code&)>;

    //! Prepares an acceptor on the loop; nothing is opened yet. `on_error` may be empty.
    Listener(boost::asio::io_context& loop, ConnectionHandler on_connection, ErrorHandler on_error);

    //! Opens, binds and listens; an unspecified IPv6 address serves IPv4 as well.
    boost::system::error_code listen(const boost::asio::ip::tcp::endpoint& endpoint);
    //! The port it listens on (the one picked when asked for port 0).
    [[nodiscard]] std::uint16_t port() const;
    //! Starts accepting connections.
    void run();
    //! Closes the listening socket; open connections stay. Call on the loop's thread.
    void stop();

private:
    void do_accept();
    void on_accept(boost::system::error_code ec, boost::asio::ip::tcp::socket socket);

    boost::asio::io_context& loop_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer backoff_;
    ConnectionHandler on_connection_;
    ErrorHandler on_error_;
    bool starved_ {false};
};

//! Whether an accept failed because the process or the system has no file descriptor
//! or memory left, so that accepting again at once fails the same way.
[[nodiscard]] bool is_out_of_resources(const boost::system::error_code& error);

}  // namespace velmor
