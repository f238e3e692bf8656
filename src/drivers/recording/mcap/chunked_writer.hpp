// Writes an MCAP file as bytes to be drained by its owner: messages are
// gathered into chunks (zstd-compressed unless asked otherwise), each followed
// by its message indexes; finish() adds the summary (schemas, channels,
// statistics, chunk indexes), the summary offsets and the footer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <velmor/drivers/recording/mcap_compression.hpp>

namespace velmor::drivers::mcap {

class ChunkedWriter {
public:
    //! Uncompressed bytes after which a chunk is closed: small enough for a viewer
    //! to fetch one at a time, large enough for zstd to find the repetitions.
    static constexpr std::size_t chunk_bytes = std::size_t {1} << 20;

    //! Begins the file: magic and header record.
    explicit ChunkedWriter(McapCompression compression);
    ~ChunkedWriter();
    ChunkedWriter(const ChunkedWriter&) = delete;
    ChunkedWriter& operator=(const ChunkedWriter&) = delete;

    //! Adds a channel of JSON messages described by the JSON Schema `schema`
    //! (its own schema record, with the same id); returns the channel's id.
    std::uint16_t add_channel(std::string_view topic, std::string_view schema_name, std::string_view schema);
    //! Adds one message; times in nanoseconds.
    void add_message(std::uint16_t channel, std::uint64_t log_time, std::uint64_t publish_time,
                     std::string_view data);
    //! Closes the last chunk and ends the file. Nothing may be added afterwards.
    void finish();

    //! The bytes made since the last call: swapped into `out`, which the writer's
    //! buffer takes in exchange so that both keep their capacity.
    void take_output(std::string& out);

private:
    struct Channel {
        std::string topic;
        std::string schema_name;
        std::string schema;
        std::uint64_t messages {0};
        // (log time, offset in the open chunk) of its messages there.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> index;
    };
    struct ChunkIndex {
        std::uint64_t start_time;
        std::uint64_t end_time;
        std::uint64_t offset;
        std::uint64_t length;
        std::vector<std::pair<std::uint16_t, std::uint64_t>> index_offsets;
        std::uint64_t index_length;
        std::uint64_t compressed_size;
        std::uint64_t uncompressed_size;
    };

    // Appends to the output and keeps the offset and the data section's CRC.
    void emit(std::string_view bytes);
    void close_chunk();
    void append_schema(std::string& out, std::uint16_t id) const;
    void append_channel(std::string& out, std::uint16_t id) const;
    [[nodiscard]] std::string summary(std::uint64_t summary_start, std::uint64_t& offsets_start) const;

    const McapCompression compression;
    // The zstd context, reused for every chunk.
    void* context {nullptr};
    std::string output;
    std::uint64_t offset {0};
    std::uint32_t data_crc {0};
    std::vector<Channel> channels;
    std::vector<ChunkIndex> chunk_indexes;
    std::string chunk;
    std::string compressed;
    std::string scratch;
    std::uint64_t chunk_start_time {0};
    std::uint64_t chunk_end_time {0};
    std::uint64_t messages {0};
    std::uint64_t first_time {0};
    std::uint64_t last_time {0};
    bool finished {false};
};

}  // namespace velmor::drivers::mcap
