#pragma once

#include <memory>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

namespace velmor {

//! The open sessions of one kind of a server, reachable from any thread. A session
//! joins once it is open and leaves in its destructor; senders take a copy of the
//! set and send outside the lock, so that a slow send never holds up joining and
//! leaving, and a session that leaves meanwhile is simply skipped.
template <class Session>
class SessionSet {
public:
    //! Adds an open session.
    void join(Session* session) {
        const std::lock_guard lock(mutex_);
        sessions_.insert(session);
    }

    //! Forgets a session.
    void leave(Session* session) {
        const std::lock_guard lock(mutex_);
        sessions_.erase(session);
    }

    //! The sessions open now, each kept alive by the copy.
    [[nodiscard]] std::vector<std::shared_ptr<Session>> all() const {
        // A session may inherit enable_shared_from_this from a base class, whose
        // pointers are cast back once they are locked.
        std::vector<decltype(std::declval<Session&>().weak_from_this())> weak;
        {
            const std::lock_guard lock(mutex_);
            weak.reserve(sessions_.size());
            for (auto* session : sessions_) {
                weak.emplace_back(session->weak_from_this());
            }
        }
        std::vector<std::shared_ptr<Session>> sessions;
        sessions.reserve(weak.size());
        for (const auto& entry : weak) {
            if (auto session = entry.lock()) {
                sessions.push_back(std::static_pointer_cast<Session>(std::move(session)));
            }
        }
        return sessions;
    }

private:
    // Guards sessions_.
    mutable std::mutex mutex_;
    std::unordered_set<Session*> sessions_;
};

}  // namespace velmor
