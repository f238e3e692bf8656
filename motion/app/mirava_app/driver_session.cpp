#include "mirava_app/driver_session.hpp"

#include <string>
#include <string_view>
#include <utility>

#include <boost/beast/core/buffers_to_string.hpp>
#include <boost/beast/websocket.hpp>

#include <velmor/motion/mirava.hpp>

#include "mirava_app/log_line.hpp"

namespace velmor::mirava_app {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;

namespace {

// The limit the Mirava client keeps to: a joint position is a few hundred bytes, the
// obstacles of a large cell under a megabyte.
constexpr std::size_t max_driver_message = Mirava::max_message_bytes;
// How much of a refused driver message the log shows [bytes].
constexpr std::size_t logged_refusal = 200;

bool is_closing(const beast::error_code& error) {
    return error == websocket::error::closed || error == asio::error::operation_aborted ||
           error == asio::error::eof || error == asio::error::connection_reset;
}

// The text with every byte that is not printable ASCII written as \xNN, so that
// what a client sent cannot break log lines or steer the terminal.
std::string printable(std::string_view text) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\') {
            result.push_back(c);
        } else {
            result += "\\x";
            result.push_back(digits[byte >> 4]);
            result.push_back(digits[byte & 0xf]);
        }
    }
    return result;
}

}  // namespace

DriverSession::DriverSession(asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : ws_(std::move(socket)), state_(std::move(state)) {}

void DriverSession::run(beast::http::request<beast::http::string_body> request) {
    ws_.read_message_max(max_driver_message);
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.async_accept(request, beast::bind_front_handler(&DriverSession::on_accept, shared_from_this()));
}

void DriverSession::on_accept(beast::error_code ec) {
    if (ec) {
        log_line("A driver's handshake failed: " + ec.message());
        return;
    }
    log_line("A driver connected.");
    state_->relay().driver_joined();
    do_read();
}

void DriverSession::do_read() {
    ws_.async_read(buffer_, beast::bind_front_handler(&DriverSession::on_read, shared_from_this()));
}

void DriverSession::on_read(beast::error_code ec, std::size_t) {
    if (ec) {
        state_->relay().driver_left();
        log_line(is_closing(ec) ? "A driver disconnected." : "A driver's connection failed: " + ec.message() + ".");
        return;
    }
    const std::string text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    const std::string refusal = ws_.got_text() ? state_->relay().offer(text) : "a binary frame";
    if (!refusal.empty()) {
        log_line("Refused a driver's message (" + refusal +
                 "): " + printable(std::string_view(text).substr(0, logged_refusal)));
    }
    do_read();
}

}  // namespace velmor::mirava_app
