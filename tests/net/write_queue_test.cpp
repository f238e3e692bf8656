#include <velmor/net/write_queue.hpp>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using velmor::WriteQueue;

WriteQueue::Frame frame(const std::string& text) {
    return std::make_shared<const std::string>(text);
}

// Every frame that goes out, in order, until the queue is idle.
std::vector<std::string> drain(WriteQueue& queue) {
    std::vector<std::string> sent;
    while (const auto* next = queue.next()) {
        sent.push_back(*next);
    }
    return sent;
}

TEST(WriteQueue, NewestFrameOfEachKeyGoesOutInTheOrderKeysCameToWait) {
    WriteQueue queue;
    ASSERT_TRUE(queue.push("a", frame("a1")));
    ASSERT_EQ(*queue.next(), "a1");
    EXPECT_FALSE(queue.push("b", frame("b1"))) << "a frame is in flight";
    EXPECT_FALSE(queue.push("a", frame("a2")));
    EXPECT_FALSE(queue.push("a", frame("a3")));
    EXPECT_FALSE(queue.push("b", frame("b2"))) << "b keeps its place ahead of a";
    EXPECT_EQ(queue.waiting(), 2U);
    EXPECT_EQ(drain(queue), (std::vector<std::string> {"b2", "a3"}));
    EXPECT_TRUE(queue.push("b", frame("b3"))) << "idle again once everything went out";
}

TEST(WriteQueue, NothingMoreStartsAfterAFailedWrite) {
    WriteQueue queue;
    ASSERT_TRUE(queue.push("a", frame("a1")));
    ASSERT_EQ(*queue.next(), "a1");
    // The write of a1 failed: the session never calls next() again.
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(queue.push("k" + std::to_string(i), frame("x")));
    }
}

class WriteQueueBound : public ::testing::TestWithParam<int> {};

// A reader that never catches up: however many frames arrive, at most one per key
// waits, and what finally goes out is each key's newest frame, once.
TEST_P(WriteQueueBound, HoldsAtMostOneFramePerKey) {
    const int keys = GetParam();
    std::mt19937 random(static_cast<unsigned>(keys));
    std::uniform_int_distribution<int> pick(0, keys - 1);
    WriteQueue queue;
    ASSERT_TRUE(queue.push("first", frame("first")));
    ASSERT_EQ(*queue.next(), "first");
    std::map<std::string, std::string> newest;
    for (int i = 0; i < 20000; ++i) {
        const auto key = "key" + std::to_string(pick(random));
        newest[key] = std::to_string(i);
        static_cast<void>(queue.push(key, frame(newest[key])));
        ASSERT_LE(queue.waiting(), static_cast<std::size_t>(keys));
    }
    auto sent = drain(queue);
    std::vector<std::string> expected;
    for (const auto& [key, text] : newest) {
        expected.push_back(text);
    }
    std::sort(sent.begin(), sent.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sent, expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, WriteQueueBound, ::testing::Values(1, 7, 300));

}  // namespace
