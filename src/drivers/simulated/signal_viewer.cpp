#include <velmor/drivers/simulated/signal_viewer.hpp>

#include <algorithm>
#include <chrono>
#include <iostream>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>

#include <velmor/drivers/simulated/sensor_html.hpp>
#include <velmor/log/log.hpp>

#include "drivers/simulated/server/viewer_server.hpp"

namespace velmor::drivers::simulated {

SignalViewer::SignalViewer(SignalTable& signals, std::mutex& signals_mutex, std::uint16_t port,
                           const IoObserver* io_observer)
    : signals(signals), signals_mutex(signals_mutex), io_observer(io_observer), port(port) {
    {
        const std::lock_guard lock(signals_mutex);
        for (const auto& entry : signals) {
            interval_threads.try_emplace(entry.first);
        }
    }
    server_thread = std::thread([this] { serve(); });
}

SignalViewer::~SignalViewer() {
    server_thread.join();
    stop_toggle_threads();
}

void SignalViewer::serve() {
    // The loop is declared before the server, so sessions that the loop still
    // holds when it is destroyed find their shared state alive.
    boost::asio::io_context loop {1};
    server::ViewerServer app(loop, server::Handlers {
                                       [this] { return build_page(); },
                                       [this] { return build_open_fragments(); },
                                       [this](std::string_view text) { handle_message(text); },
                                   });
    if (const auto ec = app.listen(static_cast<std::uint16_t>(port))) {
        listen_failed_ = true;
        log::log_<log::Level::Error>("driver", "Failed to open socket for i/o viewer.");
        log::log_<log::Level::Debug>("driver", "Port " + std::to_string(port) + ": " + ec.message());
        return;
    }
    std::cout << "[velmor.driver] I/O viewer is live at http://localhost:" << port << "." << std::endl;
    {
        const std::lock_guard lock(websocket_mutex);
        auto handle = std::make_shared<WebSocket>();
        handle->app = &app;
        handle->loop = &loop;
        websocket = std::move(handle);
        // A close() that came before the server listened is carried out now.
        if (close_requested) {
            app.close();
        }
    }
    loop.run();
    // Clear the handle before the loop goes, so later updates find no server.
    const std::lock_guard lock(websocket_mutex);
    websocket.reset();
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
    boost::asio::post(*websocket->loop, [this, stored = &signal] { publish_fragment(*stored); });
}

void SignalViewer::close() {
    const std::lock_guard lock(websocket_mutex);
    close_requested = true;
    if (websocket == nullptr || websocket->loop == nullptr) {
        return;
    }
    boost::asio::post(*websocket->loop, [handle = websocket] {
        if (handle->app != nullptr) {
            handle->app->close();
        }
    });
}

void SignalViewer::publish_fragment(const Signal& signal) {
    std::string fragment;
    {
        const std::lock_guard lock(signals_mutex);
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
        app->publish(std::move(fragment));
    }
}

std::vector<std::string> SignalViewer::build_page() {
    std::vector<std::string> pieces {get_page_head()};
    {
        const std::lock_guard lock(signals_mutex);
        std::vector<const std::string*> names;
        names.reserve(signals.size());
        for (const auto& entry : signals) {
            names.push_back(&entry.first);
        }
        std::sort(names.begin(), names.end(), [](const auto* a, const auto* b) { return *a < *b; });
        for (const auto* name : names) {
            pieces.push_back(get_signal_row(signals.at(*name), interval_threads[*name].running));
        }
        if (names.empty()) {
            pieces.push_back(get_empty_list_line());
        }
    }
    pieces.push_back(get_page_tail());
    return pieces;
}

std::vector<std::string> SignalViewer::build_open_fragments() {
    std::vector<std::string> fragments;
    const std::lock_guard lock(signals_mutex);
    fragments.reserve(signals.size());
    for (const auto& [name, signal] : signals) {
        fragments.push_back(get_sensor_html(signal, interval_threads[name].running));
    }
    return fragments;
}

bool SignalViewer::wait_seconds(float seconds) {
    // Waits are whole milliseconds, truncated in single precision; the cap only
    // keeps absurd requests from overflowing the clock.
    constexpr float longest_wait_ms = 1e12F;
    const float milliseconds = 1000.0F * seconds;
    std::unique_lock lock(shutdown_mutex);
    if (!(milliseconds >= 1.0F)) {
        return !shutting_down;
    }
    const auto duration =
        std::chrono::milliseconds(static_cast<std::int64_t>(std::min(milliseconds, longest_wait_ms)));
    return !shutdown_signal.wait_for(lock, duration, [this] { return shutting_down; });
}

void SignalViewer::stop_toggle_threads() {
    {
        const std::lock_guard lock(shutdown_mutex);
        shutting_down = true;
    }
    shutdown_signal.notify_all();
    for (auto& [name, entry] : interval_threads) {
        entry.running = false;
        if (entry.thread.joinable()) {
            entry.thread.join();
        }
    }
}

}  // namespace velmor::drivers::simulated
