#pragma once

#include <cstddef>
#include <memory>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include "mirava_app/shared_state.hpp"

namespace velmor::mirava_app {

//! A driver's WebSocket on "/driver": every text message is offered to the relay.
class DriverSession : public std::enable_shared_from_this<DriverSession> {
public:
    //! Takes over the socket of an HTTP session that asked for an upgrade.
    DriverSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);

    //! Completes the handshake of `request` and starts reading.
    void run(boost::beast::http::request<boost::beast::http::string_body> request);

private:
    void on_accept(boost::beast::error_code ec);
    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer buffer_;
    std::shared_ptr<SharedState> state_;
};

}  // namespace velmor::mirava_app
