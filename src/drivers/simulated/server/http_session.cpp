#include "drivers/simulated/server/http_session.hpp"

#include <chrono>
#include <utility>

#include <boost/asio/write.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/log/log.hpp>
#include <velmor/net/request_guard.hpp>

#include "drivers/simulated/server/websocket_session.hpp"

namespace velmor::drivers::simulated::server {

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

constexpr auto request_timeout = std::chrono::seconds(30);
constexpr std::size_t request_body_limit = 16 * 1024;

// The path of a request target, without its query.
beast::string_view path_of(beast::string_view target) {
    return target.substr(0, target.find('?'));
}

}  // namespace

HttpSession::HttpSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : stream_(std::move(socket)), state_(std::move(state)), local_address_(local_address_of(stream_.socket())) {}

HttpSession::~HttpSession() {
    state_->leave(this);
}

void HttpSession::run() {
    state_->join(this);
    do_read();
}

void HttpSession::stop() {
    stopping_ = true;
    if (reading_) {
        beast::error_code ec;
        stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ec);
        stream_.socket().close(ec);
    }
}

void HttpSession::do_read() {
    if (stopping_) {
        do_close();
        return;
    }
    parser_.emplace();
    parser_->body_limit(request_body_limit);
    stream_.expires_after(request_timeout);
    reading_ = true;
    http::async_read(stream_, buffer_, *parser_, beast::bind_front_handler(&HttpSession::on_read, shared_from_this()));
}

void HttpSession::on_read(beast::error_code ec, std::size_t) {
    reading_ = false;
    if (ec) {
        if (ec != http::error::end_of_stream && ec != boost::asio::error::operation_aborted) {
            log::log_<log::Level::Debug>("driver", "I/O viewer HTTP request failed: " + ec.message());
        }
        do_close();
        return;
    }
    Request request = parser_->release();
    keep_alive_ = request.keep_alive();
    if (refuse_foreign(request)) {
        return;
    }
    const bool is_root = path_of(request.target()) == "/";
    if (is_root && beast::websocket::is_upgrade(request)) {
        // The WebSocket has its own timeouts; the HTTP one would cut it off.
        stream_.expires_never();
        std::make_shared<WebsocketSession>(stream_.release_socket(), state_)->run(std::move(request));
        return;
    }
    if (is_root && (request.method() == http::verb::get || request.method() == http::verb::head)) {
        send_page(request);
    } else {
        send_text(request, http::status::not_found, "Not found.");
    }
}

bool HttpSession::refuse_foreign(const Request& request) {
    auto refusal = velmor::refuse_foreign(request, state_->hosts(), local_address_, "I/O viewer",
                                          "VELMOR_IO_VIEWER_HOSTS");
    if (!refusal) {
        return false;
    }
    keep_alive_ = false;
    send_text(request, refusal->status, std::move(refusal->text));
    return true;
}

void HttpSession::send_page(const Request& request) {
    pieces_ = state_->handlers().page();
    next_piece_ = 0;
    // HTTP/1.0 knows no chunked encoding: its clients get the length up front.
    chunked_ = request.version() >= 11;
    head_only_ = request.method() == http::verb::head;
    page_header_ = {http::status::ok, request.version()};
    page_header_.keep_alive(keep_alive_);
    if (chunked_) {
        page_header_.chunked(true);
    } else {
        std::size_t length = 0;
        for (const auto& piece : pieces_) {
            length += piece.size();
        }
        page_header_.content_length(length);
    }
    page_serializer_.emplace(page_header_);
    http::async_write_header(stream_, *page_serializer_,
                             beast::bind_front_handler(&HttpSession::on_page_header, shared_from_this()));
}

void HttpSession::on_page_header(beast::error_code ec, std::size_t bytes) {
    if (ec || head_only_) {
        on_write(ec, bytes);
        return;
    }
    write_next_piece();
}

void HttpSession::write_next_piece() {
    // An empty chunk would end the body early, so empty pieces are skipped.
    while (next_piece_ < pieces_.size() && pieces_[next_piece_].empty()) {
        ++next_piece_;
    }
    if (next_piece_ == pieces_.size()) {
        if (chunked_) {
            boost::asio::async_write(stream_, http::make_chunk_last(),
                                     beast::bind_front_handler(&HttpSession::on_write, shared_from_this()));
        } else {
            on_write({}, 0);
        }
        return;
    }
    const auto& piece = pieces_[next_piece_++];
    auto on_done = beast::bind_front_handler(&HttpSession::on_piece, shared_from_this());
    if (chunked_) {
        boost::asio::async_write(stream_, http::make_chunk(boost::asio::buffer(piece)), std::move(on_done));
    } else {
        boost::asio::async_write(stream_, boost::asio::buffer(piece), std::move(on_done));
    }
}

void HttpSession::on_piece(beast::error_code ec, std::size_t bytes) {
    if (ec) {
        on_write(ec, bytes);
        return;
    }
    write_next_piece();
}

void HttpSession::send_text(const Request& request, http::status status, std::string text) {
    text_response_ = {status, request.version()};
    text_response_.set(http::field::content_type, "text/plain");
    text_response_.keep_alive(keep_alive_);
    text_response_.body() = std::move(text);
    text_response_.prepare_payload();
    if (request.method() == http::verb::head) {
        text_response_.body().clear();
    }
    http::async_write(stream_, text_response_,
                      beast::bind_front_handler(&HttpSession::on_write, shared_from_this()));
}

void HttpSession::on_write(beast::error_code ec, std::size_t) {
    pieces_.clear();
    page_serializer_.reset();
    if (ec) {
        log::log_<log::Level::Debug>("driver", "I/O viewer HTTP response failed: " + ec.message());
        do_close();
        return;
    }
    if (!keep_alive_) {
        do_close();
        return;
    }
    do_read();
}

void HttpSession::do_close() {
    beast::error_code ec;
    stream_.socket().shutdown(boost::asio::ip::tcp::socket::shutdown_send, ec);
}

}  // namespace velmor::drivers::simulated::server
