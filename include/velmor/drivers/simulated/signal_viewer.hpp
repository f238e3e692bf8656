#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <velmor/drivers/simulated/io_observer.hpp>
#include <velmor/drivers/simulated/signal.hpp>

namespace boost::asio {
class io_context;
}

namespace velmor::drivers::simulated {

namespace server {
class ViewerServer;
}

//! Handle of a running viewer server: its application object and event loop,
//! both living on the server thread while the loop runs.
struct WebSocket {
    //! Per-connection data of the WebSocket route; holds nothing.
    struct Data {};

    //! The server's application object; null until it listens.
    server::ViewerServer* app {nullptr};
    //! The server thread's event loop.
    boost::asio::io_context* loop {nullptr};
};

//! Web server that shows the signals of a table on a page and lets a person
//! set and toggle them; open pages are kept up to date over a WebSocket.
class SignalViewer {
public:
    //! Repeated or delayed toggling of one digital signal.
    struct IntervalThread {
        //! True while repeated toggling is wanted.
        std::atomic<bool> running {false};
        //! Delay before the first toggle [s].
        float after {0.0F};
        //! Period of the following toggles [s]; 0 toggles once.
        float interval {0.0F};
        //! The toggle thread; empty before the first timed toggle.
        std::thread thread;

        //! Body of the toggle thread: waits, flips the named signal and announces it.
        void run(const std::string& name, SignalViewer& viewer) const;
    };

    //! Port the viewer listens on unless told otherwise.
    static constexpr std::uint16_t default_port = 8679;

    //! Starts the server thread on `port`; every access to `signals` takes
    //! `signals_mutex`, which the owner of the table takes too. Changes made
    //! from the page and by toggle threads are told to `io_observer` (when
    //! given), which the owner guards with the same lock.
    SignalViewer(SignalTable& signals, std::mutex& signals_mutex, std::uint16_t port = default_port,
                 const IoObserver* io_observer = nullptr);
    //! Waits until the server thread has ended (after close() and once every
    //! open page has gone), then stops and joins every toggle thread.
    ~SignalViewer();

    SignalViewer(const SignalViewer&) = delete;
    SignalViewer& operator=(const SignalViewer&) = delete;

    //! Queues a publish of the signal's current fragment to every open page; returns at once.
    void send_update(const Signal& signal);
    //! Queues the closing of the listening socket and of idle HTTP connections; returns at once.
    void close();

    //! Whether the port could not be opened; the server thread has then ended.
    bool listen_failed() const { return listen_failed_.load(); }
    //! Whether the server has opened its port and serves.
    bool is_listening() const;
    //! Listening port.
    std::size_t get_port() const { return port; }

private:
    void serve();
    std::vector<std::string> build_page();
    std::vector<std::string> build_open_fragments();
    void handle_message(std::string_view text);
    void start_toggle(Signal& signal, IntervalThread& entry, float after, float interval);
    void publish_fragment(const Signal& signal);
    bool wait_seconds(float seconds);
    void stop_toggle_threads();
    // Stores `value` in `signal` and tells the observer; needs signals_mutex.
    void change(Signal& signal, SignalValue value, IoSource source);

    std::shared_ptr<WebSocket> websocket;
    mutable std::mutex websocket_mutex;
    bool close_requested {false};
    std::thread server_thread;
    SignalTable& signals;
    std::mutex& signals_mutex;
    const IoObserver* io_observer;
    // Touched only by the server thread while it runs, and by the constructor and destructor around it.
    std::unordered_map<std::string, IntervalThread> interval_threads;
    const std::size_t port;
    std::atomic<bool> listen_failed_ {false};
    std::mutex shutdown_mutex;
    std::condition_variable shutdown_signal;
    bool shutting_down {false};
};

}  // namespace velmor::drivers::simulated
