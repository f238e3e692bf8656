#include "mirava_app/page_session.hpp"

#include <utility>

namespace velmor::mirava_app {

namespace {

// Pages send nothing but control frames; a message of theirs needs no room at all.
constexpr std::size_t max_page_message = 1 << 10;

}  // namespace

PageSession::PageSession(boost::asio::ip::tcp::socket&& socket, std::shared_ptr<SharedState> state)
    : WebsocketPeer(std::move(socket)), state_(std::move(state)) {}

PageSession::~PageSession() {
    if (joined_) {
        state_->leave(this);
    }
}

void PageSession::run(Request request) {
    accept(std::move(request), max_page_message, Timeout::suggested(boost::beast::role_type::server));
}

void PageSession::on_open() {
    state_->join(this);
    joined_ = true;
    for (const auto& frame : state_->relay().opening_frames()) {
        send(frame);
    }
}

void PageSession::send(const PageFrame& frame) {
    queue_frame(frame.key, frame.text);
}

}  // namespace velmor::mirava_app
