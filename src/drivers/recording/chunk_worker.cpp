#include "drivers/recording/chunk_worker.hpp"

#include <cerrno>
#include <cstring>
#include <utility>

#include "drivers/recording/record_json.hpp"

namespace velmor::drivers::recording {

namespace {

// Spare chunks a recording in memory keeps ready: at time_speed 0 the loop
// fills one in a fraction of a millisecond, about as long as it takes to make one.
constexpr std::size_t memory_spares = 3;

}  // namespace

ChunkWorker::ChunkWorker(std::size_t degrees_of_freedom, std::size_t capacity)
    : degrees_of_freedom(degrees_of_freedom), capacity(capacity), pool(memory_spares) {
    start();
}

ChunkWorker::ChunkWorker(std::size_t degrees_of_freedom, std::size_t capacity, std::FILE* file, std::size_t pool,
                         std::unique_ptr<mcap::RecordingWriter> mcap)
    : degrees_of_freedom(degrees_of_freedom), capacity(capacity), file(file), pool(pool), mcap(std::move(mcap)) {
    start();
}

void ChunkWorker::start() {
    // The first chunks are made before the recording begins, so that its first cycles find them.
    while (spares.size() < pool) {
        spares.push_back(std::make_unique<CycleChunk>(degrees_of_freedom, capacity));
    }
    thread = std::thread([this] { run(); });
}

ChunkWorker::~ChunkWorker() {
    if (thread.joinable()) {
        finish("");
    }
}

std::unique_ptr<CycleChunk> ChunkWorker::take() {
    std::unique_lock lock(mutex);
    if (file != nullptr) {
        chunk_ready.wait(lock, [this] { return !spares.empty(); });
    } else if (spares.empty()) {
        return nullptr;
    }
    auto chunk = std::move(spares.back());
    spares.pop_back();
    chunk->count = 0;
    wake.notify_one();
    return chunk;
}

bool ChunkWorker::wait_for_spare() {
    std::unique_lock lock(mutex);
    if (!spares.empty()) {
        return false;
    }
    // Every chunk that is not spare waits for the file or is being written, and comes back.
    chunk_ready.wait(lock, [this] { return !spares.empty() || finishing; });
    return true;
}

void ChunkWorker::write(std::unique_ptr<CycleChunk> chunk) {
    {
        const std::lock_guard lock(mutex);
        to_write.push_back(std::move(chunk));
    }
    wake.notify_one();
}

void ChunkWorker::write(Record record) {
    {
        const std::lock_guard lock(mutex);
        records.push_back(std::move(record));
    }
    wake.notify_one();
}

std::optional<std::string> ChunkWorker::finish(const std::string& last_line) {
    {
        const std::lock_guard lock(mutex);
        finishing = true;
    }
    wake.notify_one();
    chunk_ready.notify_all();
    thread.join();
    if (file != nullptr) {
        if (mcap) {
            std::string end;
            try {
                mcap->finish();
                mcap->take_output(end);
            } catch (const std::exception& failure) {
                error = error.value_or(failure.what());
            }
            write_text(end);
        } else {
            write_text(last_line);
        }
        if (std::fclose(file) != 0 && !error) {
            error = "closing failed: " + std::string(std::strerror(errno));
        }
        file = nullptr;
    }
    return error;
}

void ChunkWorker::write_text(const std::string& text) {
    // After a failure the rest is dropped: the loop must get its chunks back whatever the disk does.
    if (error || text.empty()) {
        return;
    }
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        error = "writing failed: " + std::string(std::strerror(errno));
    }
}

void ChunkWorker::format(const std::vector<Record>& taken, const CycleChunk* chunk, std::string& text) {
    text.clear();
    if (mcap) {
        // A compressor that fails ends the file as a failed write would, never this thread.
        try {
            for (const auto& record : taken) {
                std::visit([this](const auto& alternative) { mcap->add(alternative); }, record);
            }
            if (chunk != nullptr) {
                mcap->add(*chunk);
            }
            mcap->take_output(text);
        } catch (const std::exception& failure) {
            error = error.value_or(failure.what());
        }
        return;
    }
    for (const auto& record : taken) {
        std::visit([&text](const auto& alternative) { append_record_line(alternative, text); }, record);
    }
    if (chunk != nullptr) {
        append_chunk_line(*chunk, text);
    }
}

void ChunkWorker::run() {
    std::string text;
    std::vector<Record> taken;
    std::unique_lock lock(mutex);
    while (true) {
        wake.wait(lock, [this] { return finishing || short_of_spares() || !to_write.empty() || !records.empty(); });
        if (short_of_spares() && !finishing) {
            // Allocated (and its pages touched) here, not on the control loop.
            lock.unlock();
            auto chunk = std::make_unique<CycleChunk>(degrees_of_freedom, capacity);
            lock.lock();
            spares.push_back(std::move(chunk));
            continue;
        }
        std::unique_ptr<CycleChunk> chunk;
        if (!to_write.empty()) {
            chunk = std::move(to_write.front());
            to_write.pop_front();
        }
        taken.clear();
        taken.swap(records);
        if (!chunk && taken.empty()) {
            if (finishing) {
                return;
            }
            continue;
        }
        lock.unlock();
        format(taken, chunk.get(), text);
        write_text(text);
        lock.lock();
        if (chunk) {
            spares.push_back(std::move(chunk));
            chunk_ready.notify_all();
        }
    }
}

}  // namespace velmor::drivers::recording
