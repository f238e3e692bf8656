#include <velmor/net/websocket_peer.hpp>

#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/bind_handler.hpp>

namespace velmor {

namespace beast = boost::beast;

WebsocketPeer::WebsocketPeer(boost::asio::ip::tcp::socket&& socket) : ws_(std::move(socket)) {}

void WebsocketPeer::accept(Request request, std::size_t max_message, const Timeout& timeout) {
    ws_.set_option(timeout);
    ws_.read_message_max(max_message);
    ws_.text(true);
    ws_.async_accept(request, beast::bind_front_handler(&WebsocketPeer::on_accept, shared_from_this()));
}

void WebsocketPeer::close() {
    boost::asio::post(ws_.get_executor(), [self = shared_from_this()] {
        beast::error_code ec;
        auto& socket = self->ws_.next_layer();
        socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ec);
        socket.close(ec);
    });
}

void WebsocketPeer::queue_frame(const std::string& key, WriteQueue::Frame frame) {
    if (queue_.push(key, std::move(frame))) {
        do_write();
    }
}

void WebsocketPeer::on_message(std::string_view) {}

void WebsocketPeer::on_failure(Stage, beast::error_code) {}

void WebsocketPeer::on_accept(beast::error_code ec) {
    if (ec) {
        on_failure(Stage::Handshake, ec);
        return;
    }
    on_open();
    do_read();
}

void WebsocketPeer::do_read() {
    ws_.async_read(buffer_, beast::bind_front_handler(&WebsocketPeer::on_read, shared_from_this()));
}

void WebsocketPeer::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        on_failure(Stage::Read, ec);
        return;
    }
    // A flat buffer holds the message in one piece.
    const auto data = buffer_.data();
    on_message(std::string_view(static_cast<const char*>(data.data()), data.size()));
    buffer_.consume(buffer_.size());
    do_read();
}

void WebsocketPeer::do_write() {
    if (const auto* frame = queue_.next()) {
        ws_.async_write(boost::asio::buffer(*frame),
                        beast::bind_front_handler(&WebsocketPeer::on_write, shared_from_this()));
    }
}

void WebsocketPeer::on_write(beast::error_code ec, std::size_t) {
    if (ec) {
        // The frame stays in flight, so nothing more is written to a broken connection.
        on_failure(Stage::Write, ec);
        return;
    }
    do_write();
}

}  // namespace velmor
