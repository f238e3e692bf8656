#include <velmor/log/async_printer.hpp>

namespace velmor::log {

AsyncPrinter::AsyncPrinter(std::ostream& out) : out(out) {
    // Started last: every member the thread touches exists by now.
    printer_thread = std::thread(&AsyncPrinter::print, this);
}

AsyncPrinter::~AsyncPrinter() {
    {
        std::lock_guard lock(queue_mutex);
        accepting = false;
    }
    queue_ready.notify_all();
    line_printed.notify_all();
    if (printer_thread.joinable()) {
        printer_thread.join();
    }
}

void AsyncPrinter::enqueue(Log line) {
    {
        std::lock_guard lock(queue_mutex);
        queue.push_back(std::move(line));
        ++queued_count;
    }
    queue_ready.notify_one();
}

void AsyncPrinter::flush() {
    std::unique_lock lock(queue_mutex);
    const std::size_t target = queued_count;
    line_printed.wait(lock, [&] { return printed_count >= target || !accepting; });
}

void AsyncPrinter::print() {
    while (true) {
        Log line;
        {
            std::unique_lock lock(queue_mutex);
            queue_ready.wait(lock, [this] { return !queue.empty() || !accepting; });
            if (!accepting) {
                return;
            }
            line = std::move(queue.front());
            queue.pop_front();
        }
        write(line);
        {
            std::lock_guard lock(queue_mutex);
            ++printed_count;
        }
        line_printed.notify_all();
    }
}

void AsyncPrinter::write(const Log& line) {
    switch (line.level) {
        case Level::Debug:
            out << colour_debug << line.message << colour_reset << '\n';
            break;
        case Level::Warn:
            out << colour_warn << line.message << colour_reset << '\n';
            break;
        case Level::Error:
            out << colour_error << line.message << colour_reset << '\n';
            break;
        default:
            out << line.message << '\n';
            break;
    }
    out.flush();
    // A failing console must not stop the printer.
    out.clear();
}

}  // namespace velmor::log
