#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

namespace velmor {

//! The frames that wait to go out on one connection, at most one per key: a newer
//! frame about a key replaces the one still waiting, so that a slow reader gets the
//! newest frame of everything and the queue never outgrows the number of keys.
//! Keys go out in the order they came to wait. One frame at a time is in flight.
//! Used by the thread that writes the connection only.
class WriteQueue {
public:
    //! A text frame, shared by every connection it goes to.
    using Frame = std::shared_ptr<const std::string>;

    //! Queues `frame` about `key`. Returns whether no frame is in flight, so that the
    //! caller starts writing with next().
    [[nodiscard]] bool push(const std::string& key, Frame frame);
    //! Ends the frame in flight and puts the next waiting one in flight; null, and
    //! idle again, when none waits. After a failed write call nothing: the failed
    //! frame stays in flight, so that nothing more goes to the broken connection.
    [[nodiscard]] const std::string* next();
    //! Number of frames waiting, without the one in flight.
    [[nodiscard]] std::size_t waiting() const { return order_.size(); }

private:
    // Keys in the order their frames go out, and the newest frame of each.
    std::deque<std::string> order_;
    std::unordered_map<std::string, Frame> waiting_;
    Frame in_flight_;
};

}  // namespace velmor
