#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/net/write_queue.hpp>

#include "drivers/simulated/server/shared_state.hpp"

namespace velmor::drivers::simulated::server {

//! One WebSocket connection: subscribed to the broadcast topic while open, with
//! its own write queue that holds at most one frame per key, the newest one.
class WebsocketSession : public std::enable_shared_from_this<WebsocketSession> {
public:
    //! Takes over the socket of an HTTP session that asked for an upgrade.
    WebsocketSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state);
    //! Unsubscribes from the broadcast topic.
    ~WebsocketSession();

    //! Accepts the upgrade request and starts reading messages.
    void run(boost::beast::http::request<boost::beast::http::string_body> request);
    //! Queues a text frame about `key`, replacing a waiting one about the same key; may be called from any thread.
    void send(std::shared_ptr<const std::string> key, std::shared_ptr<const std::string> frame);
    //! Ends the connection at once; may be called from any thread.
    void stop();

private:
    void on_accept(boost::beast::error_code ec);
    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);
    void enqueue(const std::string& key, std::shared_ptr<const std::string> frame);
    void do_write();
    void on_write(boost::beast::error_code ec, std::size_t bytes);

    boost::beast::websocket::stream<boost::beast::tcp_stream> ws_;
    boost::beast::flat_buffer buffer_;
    std::shared_ptr<SharedState> state_;
    // Touched only by the thread running the loop.
    WriteQueue queue_;
    bool joined_ {false};
};

}  // namespace velmor::drivers::simulated::server
