#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmor::testing {

//! A stand-in for the Mirava application on 127.0.0.1: accepts WebSockets on
//! any path and records every text frame, on an I/O thread of its own.
class FakeApplication {
public:
    //! Listens on `port` (0: any free port).
    explicit FakeApplication(std::uint16_t port = 0);
    ~FakeApplication();

    FakeApplication(const FakeApplication&) = delete;
    FakeApplication& operator=(const FakeApplication&) = delete;

    //! The port it listens on.
    [[nodiscard]] std::uint16_t port() const;
    //! Drops every connection at once, as a crashing application would.
    void stop();
    //! While paused, sessions stop reading, so the client's frames back up.
    void set_paused(bool value);
    //! The next text frame received, or nothing within `timeout`.
    std::optional<std::string> next_frame(std::chrono::milliseconds timeout = std::chrono::seconds(2));
    //! The target of the last WebSocket handshake.
    std::string last_path();

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

}  // namespace velmor::testing
