#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <velmor/drivers/simulated/shared_signal_table.hpp>
#include <velmor/drivers/simulated/signal.hpp>

namespace boost::asio {
class io_context;
}

namespace velmor::drivers::simulated {

namespace server {
class ViewerServer;
struct Update;
struct ViewerSettings;
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
        //! Period of the following toggles [s]; 0 toggles once. Repeating toggles wait at least 1 ms.
        float interval {0.0F};
        //! The toggle thread; empty before the first timed toggle.
        std::thread thread;
        //! Set to cut the thread's current wait short; guarded by the viewer's toggle lock.
        bool woken {false};

        //! Body of the toggle thread: waits, flips the named signal and announces it;
        //! when it ends, for whatever reason, the signal is no longer shown as toggling.
        void run(const std::string& name, SignalViewer& viewer);

    private:
        void flip_until_ended(const Signal& signal, SignalViewer& viewer) const;
    };

    //! Port the viewer listens on unless told otherwise.
    static constexpr std::uint16_t default_port = 8679;

    //! Starts the server thread on `port` (0: any free port), serving `signals`, which
    //! must outlive the viewer; changes made from the page and by toggle threads reach
    //! the table's observer. Listens on loopback unless VELMOR_IO_VIEWER_ADDRESS says
    //! otherwise; throws VelmorError when that setting is no IP address.
    explicit SignalViewer(SharedSignalTable& signals, std::uint16_t port = default_port);
    //! Ends the toggle threads once closing, waits until the server thread has
    //! ended (after close() and once every open page has gone), then joins them.
    ~SignalViewer();

    SignalViewer(const SignalViewer&) = delete;
    SignalViewer& operator=(const SignalViewer&) = delete;

    //! Queues a publish of the signal's current fragment to every open page; returns at
    //! once. Updates of one signal that are still queued make one publish of its latest
    //! value, which waits until the loop has handled the messages it already has at hand.
    void send_update(const Signal& signal);
    //! Queues the closing of the listening socket and of idle HTTP connections and
    //! ends the toggle threads; returns at once.
    void close();
    //! Like close(), and also ends every open page's connection at once.
    void stop();
    //! Waits until the server thread has ended or the timeout has passed; true when it has ended.
    bool wait_ended(std::chrono::milliseconds timeout);

    //! Whether the port could not be opened; the server thread has then ended.
    bool listen_failed() const { return listen_failed_.load(); }
    //! Whether the server has opened its port and serves.
    bool is_listening() const;
    //! Listening port; when asked for port 0, the port picked once listening (0 before).
    std::size_t get_port() const { return port.load(); }

private:
    void serve();
    void finish_serving();
    void request_close(bool drop_pages);
    std::vector<std::string> build_page();
    std::vector<server::Update> build_open_fragments();
    std::optional<server::Update> handle_message(std::string_view text);
    void start_toggle(const Signal& signal, IntervalThread& entry, float after, float interval);
    void end_toggle(IntervalThread& entry);
    void publish_when_settled(const Signal& signal, int turn);
    void publish_fragment(const Signal& signal);
    bool wait_seconds(const IntervalThread& entry, float seconds);
    void end_toggle_threads();

    std::shared_ptr<WebSocket> websocket;
    mutable std::mutex websocket_mutex;
    bool close_requested {false};
    bool drop_requested {false};
    // Loop turns a queued publish waits at most for further changes of its signal.
    static constexpr int settle_turns = 16;
    // Signals with an update queued on the loop, each with whether it changed again since
    // its task last looked; guarded by websocket_mutex.
    std::unordered_map<const Signal*, bool> queued_updates;
    std::thread server_thread;
    SharedSignalTable& signals;
    // Touched only by the server thread while it runs, and by the constructor and destructor around it.
    std::unordered_map<std::string, IntervalThread> interval_threads;
    std::atomic<std::size_t> port;
    std::unique_ptr<const server::ViewerSettings> settings;
    std::atomic<bool> listen_failed_ {false};
    std::mutex toggle_mutex;
    std::condition_variable toggle_wake;
    bool shutting_down {false};
    std::mutex ended_mutex;
    std::condition_variable ended_signal;
    bool ended {false};
};

}  // namespace velmor::drivers::simulated
