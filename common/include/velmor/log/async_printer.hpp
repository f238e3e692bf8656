#pragma once

#include <condition_variable>
#include <deque>
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

//! One queued line: its level and the complete text without newline.
struct Log {
    Level level;
    std::string message;
};

//! Prints queued lines on a background thread, coloured by level, so that a
//! logging thread never waits for the console.
class AsyncPrinter {
public:
    //! Starts the printer thread, writing to `out`.
    explicit AsyncPrinter(std::ostream& out = std::cout);
    //! Stops the printer thread; lines not yet printed are dropped.
    ~AsyncPrinter();

    AsyncPrinter(const AsyncPrinter&) = delete;
    AsyncPrinter& operator=(const AsyncPrinter&) = delete;

    //! Appends a line to the queue and wakes the printer.
    void enqueue(Log line);
    //! Blocks until every line queued so far has been written (or the printer stopped).
    void flush();

private:
    void print();
    void write(const Log& line);

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
    std::ostream& out;

    const std::string colour_error {"\x1b[1;31m"};
    const std::string colour_warn {"\x1b[1;33m"};
    const std::string colour_debug {"\x1b[37m"};
    const std::string colour_reset {"\x1b[0m"};
};

}  // namespace velmor::log
