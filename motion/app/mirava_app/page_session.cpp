#include "mirava_app/page_session.hpp"

#include <utility>

#include <boost/asio/buffer.hpp>
#include <boost/beast/websocket.hpp>

namespace velmor::mirava_app {

namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

// Pages send nothing but control frames; a message of theirs needs no room at all.
constexpr std::size_t max_page_message = 1 << 10;

}  // namespace

PageSession::PageSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : ws_(std::move(socket)), state_(std::move(state)) {}

PageSession::~PageSession() {
    if (joined_) {
        state_->leave(this);
    }
}

void PageSession::run(beast::http::request<beast::http::string_body> request) {
    ws_.read_message_max(max_page_message);
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.text(true);
    ws_.async_accept(request, beast::bind_front_handler(&PageSession::on_accept, shared_from_this()));
}

void PageSession::on_accept(beast::error_code ec) {
    if (ec) {
        return;
    }
    state_->join(this);
    joined_ = true;
    for (const auto& frame : state_->relay().opening_frames()) {
        send(frame);
    }
    do_read();
}

void PageSession::send(const PageFrame& frame) {
    if (queue_.push(frame.key, frame.text)) {
        do_write();
    }
}

void PageSession::do_read() {
    // Pages have nothing to say; reading notices their closing and answers pings.
    ws_.async_read(buffer_, beast::bind_front_handler(&PageSession::on_read, shared_from_this()));
}

void PageSession::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        return;
    }
    buffer_.consume(buffer_.size());
    do_read();
}

void PageSession::do_write() {
    if (const auto* frame = queue_.next()) {
        ws_.async_write(boost::asio::buffer(*frame),
                        beast::bind_front_handler(&PageSession::on_write, shared_from_this()));
    }
}

void PageSession::on_write(beast::error_code ec, std::size_t) {
    // After a failure the frame stays in flight, so nothing more is written to a broken connection.
    if (!ec) {
        do_write();
    }
}

}  // namespace velmor::mirava_app
