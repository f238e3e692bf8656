#pragma once

#include <cstddef>
#include <memory>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <velmor/net/write_queue.hpp>

#include "mirava_app/shared_state.hpp"

namespace velmor::mirava_app {

//! A browser page's WebSocket on "/page": gets every broadcast message while open,
//! through its own write queue in which only the newest message of each key waits.
class PageSession : public std::enable_shared_from_this<PageSession> {
public:
    //! Takes over the socket of an HTTP session that asked for an upgrade.
    PageSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);
    //! Leaves the open pages.
    ~PageSession();

    //! Completes the handshake of `request`, joins the open pages and starts reading.
    void run(boost::beast::http::request<boost::beast::http::string_body> request);
    //! Queues `frame`, replacing a waiting one about the same key; on the server's I/O thread only.
    void send(const PageFrame& frame);

private:
    void on_accept(boost::beast::error_code ec);
    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);
    void do_write();
    void on_write(boost::beast::error_code ec, std::size_t bytes);

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer buffer_;
    std::shared_ptr<SharedState> state_;
    WriteQueue queue_;
    bool joined_ {false};
};

}  // namespace velmor::mirava_app
