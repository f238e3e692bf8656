#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

namespace velmor::log {

//! Severity of a log line, lowest first.
enum class Level : int {
    Debug = 0,
    Info = 1,
    Warn = 2,
    Error = 3,
};

//! One queued line: its level, its text without newline and, for lines of the
//! log facility, the tag of the part that logged it (printed as "[velmor.<tag>] ").
struct Log {
    Level level;
    std::string message;
    std::string tag {};
};

//! Receives each line in place of the console; called on the printer thread, so it
//! must not wait for anything that may be waiting for the log.
using LineSink = std::function<void(const Log&)>;

//! Whether the environment lets the console show colour: not when NO_COLOR is set,
//! whatever its value.
bool colour_wanted();

//! Prints queued lines on a background thread, coloured by level, so that a
//! logging thread never waits for the console. Each line, its colour codes and
//! newline included, leaves in one write, so output of other threads cannot
//! land inside it.
class AsyncPrinter {
public:
    //! Starts the printer thread, writing to the standard output's file descriptor,
    //! coloured unless NO_COLOR is set.
    AsyncPrinter();
    //! Starts the printer thread, writing to `out`.
    explicit AsyncPrinter(std::ostream& out, bool colour = true);
    //! Stops the printer thread; lines not yet printed are dropped.
    ~AsyncPrinter();

    AsyncPrinter(const AsyncPrinter&) = delete;
    AsyncPrinter& operator=(const AsyncPrinter&) = delete;

    //! Appends a line to the queue and wakes the printer.
    void enqueue(Log line);
    //! Blocks until every line queued so far has been written (or the printer stopped).
    void flush();
    //! Hands every later line to `sink` instead of printing it; an empty sink prints again.
    //! Once this returns, the previous sink is no longer called.
    void set_sink(LineSink sink);

private:
    void print();
    void write(const Log& line);
    std::string format(const Log& line) const;

    std::thread printer_thread;
    // Only changed under queue_mutex, so a printer about to wait cannot miss shutdown.
    bool accepting {true};
    std::deque<Log> queue;
    std::mutex queue_mutex;
    std::condition_variable queue_ready;
    // Lines queued and lines written so far, for flush(); under queue_mutex.
    std::size_t queued_count {0};
    std::size_t printed_count {0};
    std::condition_variable line_printed;
    // Null: the standard output's file descriptor.
    std::ostream* out {nullptr};
    const bool colour;
    // Guards sink, and is held while the printer hands a line to it.
    std::mutex sink_mutex;
    LineSink sink;

    const std::string colour_error {"\x1b[1;31m"};
    const std::string colour_warn {"\x1b[1;33m"};
    const std::string colour_debug {"\x1b[37m"};
    const std::string colour_reset {"\x1b[0m"};
};

}  // namespace velmor::log
