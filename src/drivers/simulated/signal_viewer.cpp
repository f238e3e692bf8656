#include <velmor/drivers/simulated/signal_viewer.hpp>

#include <algorithm>
#include <iostream>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <velmor/drivers/simulated/sensor_html.hpp>
#include <velmor/log/log.hpp>
#include <velmor/net/host_port.hpp>

#include "drivers/simulated/server/viewer_server.hpp"
#include "drivers/simulated/server/viewer_settings.hpp"

namespace velmor::drivers::simulated {

SignalViewer::SignalViewer(SharedSignalTable& signals, std::uint16_t port)
    : signals(signals),
      port(port),
      settings(std::make_unique<const server::ViewerSettings>(server::read_viewer_settings())) {
    {
        const auto table = signals.lock();
        for (const auto& entry : table.signals()) {
            interval_threads.try_emplace(entry.first);
        }
    }
    server_thread = std::thread([this] {
        serve();
        finish_serving();
    });
    // The server thread prints the "live" line once it listens; waiting for that keeps
    // the line from landing in the middle of what the program prints next.
    std::unique_lock lock(ended_mutex);
    ended_signal.wait(lock, [this] { return ended || is_listening(); });
}

SignalViewer::~SignalViewer() {
    // A viewer that was closed ends its toggle threads before waiting for the
    // server, which therefore never waits on one of them for long. One kept
    // running goes on toggling for its pages for as long as it serves.
    server_thread.join();
    end_toggle_threads();
}

void SignalViewer::serve() {
    // The loop is declared before the server, so sessions that the loop still
    // holds when it is destroyed find their shared state alive.
    boost::asio::io_context loop {1};
    server::ViewerServer app(loop,
                             server::Handlers {
                                 [this] { return build_page(); },
                                 [this] { return build_open_fragments(); },
                                 [this](std::string_view text) { return handle_message(text); },
                             },
                             *settings);
    if (const auto ec = app.listen(static_cast<std::uint16_t>(port.load()))) {
        listen_failed_ = true;
        log::log_<log::Level::Error>("driver", "Failed to open socket for i/o viewer.");
        log::log_<log::Level::Debug>("driver", "Port " + std::to_string(port.load()) + ": " + ec.message());
        return;
    }
    port = app.port();
    // On both loopback families, the default, "localhost" reaches the viewer whichever one a browser tries.
    const auto host =
        settings->addresses.size() > 1 ? std::string("localhost") : settings->addresses.front().to_string();
    std::cout << "[velmor.driver] I/O viewer is live at "
              << browser_url(host, static_cast<std::uint16_t>(port.load())) << "." << std::endl;
    {
        const std::lock_guard lock(websocket_mutex);
        auto handle = std::make_shared<WebSocket>();
        handle->app = &app;
        handle->loop = &loop;
        websocket = std::move(handle);
        // A close() or stop() that came before the server listened is carried out now.
        if (drop_requested) {
            app.stop();
        } else if (close_requested) {
            app.close();
        }
    }
    {
        // Taken so that the constructor cannot miss this between its check and its wait.
        const std::lock_guard lock(ended_mutex);
    }
    ended_signal.notify_all();
    loop.run();
    // Clear the handle before the loop goes, so later updates find no server.
    const std::lock_guard lock(websocket_mutex);
    websocket.reset();
}

void SignalViewer::finish_serving() {
    {
        const std::lock_guard lock(ended_mutex);
        ended = true;
    }
    ended_signal.notify_all();
}

bool SignalViewer::wait_ended(std::chrono::milliseconds timeout) {
    std::unique_lock lock(ended_mutex);
    return ended_signal.wait_for(lock, timeout, [this] { return ended; });
}

bool SignalViewer::is_listening() const {
    const std::lock_guard lock(websocket_mutex);
    return websocket != nullptr;
}

void SignalViewer::send_update(const Signal& signal) {
    const std::lock_guard lock(websocket_mutex);
    if (websocket == nullptr || websocket->loop == nullptr) {
        return;
    }
    // One queued task per signal: it publishes the value of the moment it runs,
    // so later changes ride along, and a signal that changes faster than the loop
    // publishes cannot fill the task queue.
    const auto [queued, inserted] = queued_updates.try_emplace(&signal, false);
    if (!inserted) {
        queued->second = true;
        return;
    }
    boost::asio::post(*websocket->loop, [this, stored = &signal] { publish_when_settled(*stored, 0); });
}

void SignalViewer::publish_when_settled(const Signal& signal, int turn) {
    {
        const std::lock_guard lock(websocket_mutex);
        const auto queued = queued_updates.find(&signal);
        // Messages that a page sent at once are read one per loop turn, each handler
        // queued behind this task: it first lets the next one run, then waits for as
        // long as they change the signal (at most settle_turns turns), so that a burst
        // of changes costs every page one frame instead of one per change.
        if (websocket != nullptr && turn < settle_turns && (turn == 0 || queued->second)) {
            queued->second = false;
            boost::asio::post(*websocket->loop,
                              [this, stored = &signal, turn] { publish_when_settled(*stored, turn + 1); });
            return;
        }
        queued_updates.erase(queued);
    }
    publish_fragment(signal);
}

void SignalViewer::close() {
    request_close(false);
}

void SignalViewer::stop() {
    request_close(true);
}

void SignalViewer::request_close(bool drop_pages) {
    {
        const std::lock_guard lock(toggle_mutex);
        shutting_down = true;
    }
    toggle_wake.notify_all();
    const std::lock_guard lock(websocket_mutex);
    close_requested = true;
    drop_requested = drop_requested || drop_pages;
    if (websocket == nullptr || websocket->loop == nullptr) {
        return;
    }
    boost::asio::post(*websocket->loop, [handle = websocket, drop_pages] {
        if (handle->app == nullptr) {
            return;
        }
        if (drop_pages) {
            handle->app->stop();
        } else {
            handle->app->close();
        }
    });
}

void SignalViewer::publish_fragment(const Signal& signal) {
    std::string fragment;
    {
        const auto table = signals.lock();
        fragment = get_sensor_html(signal, interval_threads[signal.name].running);
    }
    server::ViewerServer* app = nullptr;
    {
        const std::lock_guard lock(websocket_mutex);
        if (websocket != nullptr) {
            app = websocket->app;
        }
    }
    // Only the server thread runs this and only it destroys the server, so the
    // pointer stays valid after the lock is released.
    if (app != nullptr) {
        app->publish({signal.name, std::move(fragment)});
    }
}

std::vector<std::string> SignalViewer::build_page() {
    std::vector<std::string> pieces {get_page_head()};
    {
        const auto table = signals.lock();
        std::vector<const std::string*> names;
        names.reserve(table.signals().size());
        for (const auto& entry : table.signals()) {
            names.push_back(&entry.first);
        }
        std::sort(names.begin(), names.end(), [](const auto* a, const auto* b) { return *a < *b; });
        for (const auto* name : names) {
            pieces.push_back(get_signal_row(table.signals().at(*name), interval_threads[*name].running));
        }
        if (names.empty()) {
            pieces.push_back(get_empty_list_line());
        }
    }
    pieces.push_back(get_page_tail());
    return pieces;
}

std::vector<server::Update> SignalViewer::build_open_fragments() {
    std::vector<server::Update> fragments;
    const auto table = signals.lock();
    fragments.reserve(table.signals().size());
    for (const auto& [name, signal] : table.signals()) {
        fragments.push_back({name, get_sensor_html(signal, interval_threads[name].running)});
    }
    return fragments;
}

// False when the viewer is closing and the thread is to end at once.
bool SignalViewer::wait_seconds(const IntervalThread& entry, float seconds) {
    // Waits are whole milliseconds, truncated in single precision; the cap only
    // keeps absurd requests from overflowing the clock.
    constexpr float longest_wait_ms = 1e12F;
    const float milliseconds = 1000.0F * seconds;
    const auto duration = std::chrono::milliseconds(
        milliseconds >= 1.0F ? static_cast<std::int64_t>(std::min(milliseconds, longest_wait_ms)) : 0);
    std::unique_lock lock(toggle_mutex);
    toggle_wake.wait_for(lock, duration, [this, &entry] { return shutting_down || entry.woken; });
    return !shutting_down;
}

void SignalViewer::end_toggle_threads() {
    {
        const std::lock_guard lock(toggle_mutex);
        shutting_down = true;
    }
    toggle_wake.notify_all();
    for (auto& [name, entry] : interval_threads) {
        entry.running = false;
        if (entry.thread.joinable()) {
            entry.thread.join();
        }
    }
}

}  // namespace velmor::drivers::simulated
