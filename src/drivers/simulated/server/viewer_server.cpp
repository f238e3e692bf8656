#include "drivers/simulated/server/viewer_server.hpp"

namespace velmor::drivers::simulated::server {

ViewerServer::ViewerServer(boost::asio::io_context& loop, Handlers handlers)
    : state_(std::make_shared<SharedState>(std::move(handlers))),
      listener_(std::make_shared<Listener>(loop, state_)) {}

boost::beast::error_code ViewerServer::listen(std::uint16_t port) {
    const auto ec = listener_->listen(port);
    if (!ec) {
        listener_->run();
    }
    return ec;
}

void ViewerServer::publish(std::string frame) {
    state_->publish(std::move(frame));
}

void ViewerServer::close() {
    listener_->stop();
    state_->stop_http_sessions();
}

}  // namespace velmor::drivers::simulated::server
