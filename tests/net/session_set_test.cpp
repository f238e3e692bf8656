#include <velmor/net/session_set.hpp>

#include <cstddef>
#include <memory>

#include <gtest/gtest.h>

namespace {

// Leaves in its destructor, as a server's sessions do, and looks at the set just before.
struct Session : std::enable_shared_from_this<Session> {
    Session(velmor::SessionSet<Session>& set, std::size_t& seen_at_end) : set(set), seen_at_end(seen_at_end) {
        set.join(this);
    }
    ~Session() {
        seen_at_end = set.all().size();
        set.leave(this);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    velmor::SessionSet<Session>& set;
    std::size_t& seen_at_end;
};

TEST(SessionSet, HandsOutOpenSessionsButNoneBeingDestroyed) {
    velmor::SessionSet<Session> set;
    std::size_t seen_at_end = 99;
    auto kept = std::make_shared<Session>(set, seen_at_end);
    auto dying = std::make_shared<Session>(set, seen_at_end);
    EXPECT_EQ(set.all().size(), 2U);
    dying.reset();
    EXPECT_EQ(seen_at_end, 1U) << "a session in its destructor was handed out";
    ASSERT_EQ(set.all().size(), 1U);
    EXPECT_EQ(set.all().front(), kept);
    kept.reset();
    EXPECT_TRUE(set.all().empty());
}

}  // namespace
