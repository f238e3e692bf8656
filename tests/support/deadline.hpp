#pragma once

// Runs asynchronous client operations of a test against a deadline, so that a
// server that never answers fails the test instead of hanging it.

#include <chrono>
#include <stdexcept>
#include <string>

#include <boost/asio/io_context.hpp>

namespace velmor::testing {

//! How long a test client waits for one operation unless told otherwise.
inline constexpr std::chrono::seconds client_deadline {10};

//! Runs `context` until `done` is set; throws std::runtime_error naming `what`
//! when `timeout` passes first. The caller's handlers set `done`.
inline void run_until_done(boost::asio::io_context& context, const bool& done, const std::string& what,
                           std::chrono::milliseconds timeout = client_deadline) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done) {
        if (std::chrono::steady_clock::now() >= deadline) {
            throw std::runtime_error(what + ": no answer within " + std::to_string(timeout.count()) + " ms");
        }
        context.restart();
        context.run_one_until(deadline);
    }
}

}  // namespace velmor::testing
