// The helper thread of a recording: keeps the next chunk ready so that the
// control loop never allocates, and for a streamed recording writes full
// chunks and finished records to the file and hands the chunks back.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include <velmor/drivers/recording/records.hpp>

#include "drivers/recording/cycle_chunk.hpp"
#include "drivers/recording/mcap/recording_writer.hpp"

namespace velmor::drivers::recording {

class ChunkWorker {
public:
    //! A finished record on its way to the file.
    using Record = std::variant<CommandRecord, EventRecord, IoRecord, MarkRecord, WaitRecord>;

    //! For a recording kept in memory: allocates spare chunks ahead of need.
    ChunkWorker(std::size_t degrees_of_freedom, std::size_t capacity);
    //! For a streamed recording: writes to `file`, which it closes in finish();
    //! `pool` chunks circulate between the loop and the file. With `mcap`, the
    //! file is MCAP and `mcap` makes its bytes; else it is JSON Lines.
    ChunkWorker(std::size_t degrees_of_freedom, std::size_t capacity, std::FILE* file, std::size_t pool,
                std::unique_ptr<mcap::RecordingWriter> mcap = nullptr);
    //! Ends the thread; finish() is the way to end a stream that is to be complete.
    ~ChunkWorker();
    ChunkWorker(const ChunkWorker&) = delete;
    ChunkWorker& operator=(const ChunkWorker&) = delete;

    //! An empty chunk. Kept in memory: a spare, or null when none is ready (the
    //! caller then allocates). Streamed: waits until the file has taken one.
    std::unique_ptr<CycleChunk> take();
    //! Streamed: waits until take() has a chunk to give at once, or the stream is finishing;
    //! whether it had to wait.
    bool wait_for_spare();
    //! Streamed: queues a chunk to be written, after which it comes back through take().
    void write(std::unique_ptr<CycleChunk> chunk);
    //! Streamed: queues a record to be written.
    void write(Record record);
    //! Writes what is queued and `last_line` (or the end of an MCAP file), closes
    //! the file and ends the thread; the reason when something could not be written.
    std::optional<std::string> finish(const std::string& last_line);

private:
    void start();
    void run();
    void write_text(const std::string& text);
    // Formats what the worker took off the queues into `text`.
    void format(const std::vector<Record>& taken, const CycleChunk* chunk, std::string& text);
    // Kept in memory, chunks stay in the recording and spares must be made anew;
    // streamed, every chunk is made in start() and circulates. Needs `mutex`.
    [[nodiscard]] bool short_of_spares() const { return file == nullptr && spares.size() < pool; }

    const std::size_t degrees_of_freedom;
    const std::size_t capacity;
    std::FILE* file {nullptr};
    // Chunks that exist at most (streamed); spares to keep ready (in memory).
    const std::size_t pool;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable chunk_ready;
    std::vector<std::unique_ptr<CycleChunk>> spares;
    std::deque<std::unique_ptr<CycleChunk>> to_write;
    std::vector<Record> records;
    bool finishing {false};
    // Written by the worker thread only until it is joined, as are the MCAP writer's buffers.
    std::optional<std::string> error;
    std::unique_ptr<mcap::RecordingWriter> mcap;
    std::thread thread;
};

}  // namespace velmor::drivers::recording
