#include "mirava_app/shared_state.hpp"

#include <utility>

#include "mirava_app/page_session.hpp"

namespace velmor::mirava_app {

SharedState::SharedState(Site site, std::shared_ptr<Robot> robot, const std::map<std::string, Shape>& obstacles)
    : site_(std::move(site)),
      relay_(std::move(robot), obstacles, [this](const PageFrame& frame) { broadcast(frame); }) {}

void SharedState::join(PageSession* page) {
    pages_.join(page);
}

void SharedState::leave(PageSession* page) {
    pages_.leave(page);
}

void SharedState::broadcast(const PageFrame& frame) {
    for (const auto& page : pages_.all()) {
        page->send(frame);
    }
}

}  // namespace velmor::mirava_app
