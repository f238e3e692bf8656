#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/error.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/websocket/stream.hpp>

#include <velmor/net/write_queue.hpp>

namespace velmor {

//! A server's end of one WebSocket: completes the upgrade, reads one message at a
//! time, and writes frames through a WriteQueue, so that a slow reader gets the newest
//! frame of each key and nothing piles up. Subclasses say what opening, a message and
//! a failure mean. The queue and the stream are touched only by the thread running the
//! connection's I/O context; close() hands over to it from any thread.
class WebsocketPeer : public std::enable_shared_from_this<WebsocketPeer> {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Timeout = boost::beast::websocket::stream_base::timeout;
    //! Where a failure happened, so that subclasses can tell a closing peer from a fault.
    enum class Stage { Handshake, Read, Write };

    //! Takes over the socket of an HTTP session that asked for an upgrade.
    explicit WebsocketPeer(boost::asio::ip::tcp::socket&& socket);
    virtual ~WebsocketPeer() = default;
    WebsocketPeer(const WebsocketPeer&) = delete;
    WebsocketPeer& operator=(const WebsocketPeer&) = delete;

    //! Completes the handshake of `request` with text frames, messages of at most
    //! `max_message` bytes and `timeout`, then calls on_open() and starts reading.
    void accept(Request request, std::size_t max_message, const Timeout& timeout);
    //! Queues `frame` about `key`, replacing a waiting one about the same key, and starts
    //! writing when the connection is idle; on the I/O thread only.
    void queue_frame(const std::string& key, WriteQueue::Frame frame);
    //! Ends the connection at once; any thread.
    void close();

protected:
    //! The handshake succeeded; on the I/O thread.
    virtual void on_open() = 0;
    //! A whole message arrived; the default ignores it (reading still answers pings
    //! and notices the closing).
    virtual void on_message(std::string_view text);
    //! Reading, writing or the handshake failed, which also ends the connection; the
    //! default says nothing.
    virtual void on_failure(Stage stage, boost::beast::error_code ec);

private:
    void on_accept(boost::beast::error_code ec);
    void do_read();
    void on_read(boost::beast::error_code ec, std::size_t bytes);
    void do_write();
    void on_write(boost::beast::error_code ec, std::size_t bytes);

    // On the bare socket: the WebSocket's own timeouts cover it, and a write costs
    // no timer bookkeeping of a timed stream.
    boost::beast::websocket::stream<boost::asio::ip::tcp::socket> ws_;
    boost::beast::flat_buffer buffer_;
    WriteQueue queue_;
};

}  // namespace velmor
