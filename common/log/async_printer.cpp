#include <velmor/log/async_printer.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace velmor::log {

namespace {

// Writes all of `text` to standard output, retrying after signals and short writes.
// One write call carries a line unless the descriptor takes less; then the rest follows.
void write_to_standard_output(const std::string& text) {
    // Text that C++ or C code left in the C stream's buffer goes out first, in order.
    std::fflush(stdout);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = ::write(STDOUT_FILENO, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            // A closed or failing console must not stop the printer; the line is lost.
            return;
        }
        written += static_cast<std::size_t>(count);
    }
}

}  // namespace

bool colour_wanted() {
    return std::getenv("NO_COLOR") == nullptr;
}

AsyncPrinter::AsyncPrinter() : colour(colour_wanted()) {
    // Started last: every member the thread touches exists by now.
    printer_thread = std::thread(&AsyncPrinter::print, this);
}

AsyncPrinter::AsyncPrinter(std::ostream& out, bool colour) : out(&out), colour(colour) {
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

void AsyncPrinter::set_sink(LineSink new_sink) {
    std::lock_guard lock(sink_mutex);
    sink = std::move(new_sink);
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

std::string AsyncPrinter::format(const Log& line) const {
    const std::string* start = nullptr;
    switch (line.level) {
        case Level::Debug:
            start = &colour_debug;
            break;
        case Level::Warn:
            start = &colour_warn;
            break;
        case Level::Error:
            start = &colour_error;
            break;
        default:
            break;
    }
    const bool coloured = colour && start != nullptr;
    std::string text;
    text.reserve(line.message.size() + line.tag.size() + 32);
    if (coloured) {
        text += *start;
    }
    if (!line.tag.empty()) {
        text += "[velmor." + line.tag + "] ";
    }
    text += line.message;
    if (coloured) {
        text += colour_reset;
    }
    text += '\n';
    return text;
}

void AsyncPrinter::write(const Log& line) {
    {
        std::lock_guard lock(sink_mutex);
        if (sink) {
            sink(line);
            return;
        }
    }
    const std::string text = format(line);
    if (out == nullptr) {
        write_to_standard_output(text);
        return;
    }
    out->write(text.data(), static_cast<std::streamsize>(text.size()));
    out->flush();
    // A failing stream must not stop the printer.
    out->clear();
}

}  // namespace velmor::log
