#pragma once

#include <atomic>
#include <string>

#include <velmor/log/async_printer.hpp>

namespace velmor::log {

//! Minimum level of the lines that are queued; set from VELMOR_LOG_LEVEL when
//! the library loads and again by every driver construction.
extern std::atomic<Level> level;

//! The level named by VELMOR_LOG_LEVEL ("debug", "info", "warn", "error", any
//! letter case); Level::Warn when unset or unknown.
Level get_default_level();

//! The process's printer, started when the library loads.
extern AsyncPrinter async_printer;

//! Queues "[velmor.<tag>] <message>" at level L; a filtered call builds no string.
template <Level L>
void log_(const std::string& tag, const std::string& message) {
    if (level.load(std::memory_order_relaxed) > L) {
        return;
    }
    async_printer.enqueue(Log {L, message, tag});
}

}  // namespace velmor::log
