#include <velmor/net/write_queue.hpp>

#include <utility>

namespace velmor {

bool WriteQueue::push(const std::string& key, Frame frame) {
    auto [waiting, inserted] = waiting_.try_emplace(key, frame);
    if (!inserted) {
        waiting->second = std::move(frame);
    } else {
        order_.push_back(key);
    }
    return in_flight_ == nullptr;
}

const std::string* WriteQueue::next() {
    in_flight_.reset();
    if (order_.empty()) {
        return nullptr;
    }
    const auto waiting = waiting_.find(order_.front());
    in_flight_ = std::move(waiting->second);
    waiting_.erase(waiting);
    order_.pop_front();
    return in_flight_.get();
}

}  // namespace velmor
