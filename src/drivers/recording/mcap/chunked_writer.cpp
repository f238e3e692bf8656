#include "drivers/recording/mcap/chunked_writer.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include <zstd.h>

#include <velmor/velmor_error.hpp>

#include <velmor/mcap/crc32.hpp>
#include <velmor/mcap/records.hpp>

namespace velmor::drivers::mcap {

using namespace velmor::mcap;

namespace {

// Level 1: joint samples repeat enough that the fastest level already shrinks
// them about five times, and the writer must keep pace with a loop at time_speed 0.
constexpr int zstd_level = 1;

std::string_view compression_name(McapCompression compression) {
    return compression == McapCompression::Zstd ? "zstd" : "";
}

void put_group_record(std::string& out, Opcode opcode, std::uint64_t start, std::uint64_t length) {
    const std::size_t record = begin_record(out, Opcode::SummaryOffset);
    put(out, static_cast<std::uint8_t>(opcode));
    put(out, start);
    put(out, length);
    end_record(out, record);
}

}  // namespace

ChunkedWriter::ChunkedWriter(McapCompression compression) : compression(compression) {
    if (compression == McapCompression::Zstd) {
        context = ZSTD_createCCtx();
        if (context == nullptr) {
            throw VelmorError("recording", "Could not make a zstd compressor: out of memory.");
        }
        ZSTD_CCtx_setParameter(static_cast<ZSTD_CCtx*>(context), ZSTD_c_compressionLevel, zstd_level);
    }
    std::string header;
    header.append(magic);
    const std::size_t record = begin_record(header, Opcode::Header);
    put_text(header, "");
    put_text(header, "velmor-simulated-driver");
    end_record(header, record);
    emit(header);
    chunk.reserve(chunk_bytes + chunk_bytes / 4);
}

ChunkedWriter::~ChunkedWriter() {
    ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(context));
}

void ChunkedWriter::emit(std::string_view bytes) {
    if (!finished) {
        data_crc = crc32(data_crc, bytes);
    }
    offset += bytes.size();
    output.append(bytes);
}

void ChunkedWriter::take_output(std::string& out) {
    out.clear();
    out.swap(output);
}

// A channel's schema has the channel's id.
void ChunkedWriter::append_schema(std::string& out, std::uint16_t id) const {
    const Channel& channel = channels[id - 1U];
    const std::size_t record = begin_record(out, Opcode::Schema);
    put(out, id);
    put_text(out, channel.schema_name);
    put_text(out, "jsonschema");
    put_text(out, channel.schema);
    end_record(out, record);
}

void ChunkedWriter::append_channel(std::string& out, std::uint16_t id) const {
    const Channel& channel = channels[id - 1U];
    const std::size_t record = begin_record(out, Opcode::Channel);
    put(out, id);
    put(out, id);
    put_text(out, channel.topic);
    put_text(out, "json");
    put(out, std::uint32_t {0});
    end_record(out, record);
}

std::uint16_t ChunkedWriter::add_channel(std::string_view topic, std::string_view schema_name,
                                         std::string_view schema) {
    // Id 0 means "no schema" in a channel record, so ids begin at 1.
    if (channels.size() >= std::numeric_limits<std::uint16_t>::max() - 1U) {
        throw std::length_error("too many MCAP channels");
    }
    channels.push_back({std::string(topic), std::string(schema_name), std::string(schema), 0, {}});
    const auto id = static_cast<std::uint16_t>(channels.size());
    // Written at once, ahead of the chunk that will hold the channel's first messages.
    scratch.clear();
    append_schema(scratch, id);
    append_channel(scratch, id);
    emit(scratch);
    return id;
}

void ChunkedWriter::add_message(std::uint16_t channel, std::uint64_t log_time, std::uint64_t publish_time,
                                std::string_view data) {
    if (chunk.empty()) {
        chunk_start_time = chunk_end_time = log_time;
    }
    chunk_start_time = std::min(chunk_start_time, log_time);
    chunk_end_time = std::max(chunk_end_time, log_time);
    first_time = messages == 0 ? log_time : std::min(first_time, log_time);
    last_time = std::max(last_time, log_time);
    ++messages;
    Channel& target = channels.at(channel - 1U);
    ++target.messages;
    target.index.emplace_back(log_time, chunk.size());
    const std::size_t record = begin_record(chunk, Opcode::Message);
    put(chunk, channel);
    put(chunk, static_cast<std::uint32_t>(target.messages - 1));
    put(chunk, log_time);
    put(chunk, publish_time);
    chunk.append(data);
    end_record(chunk, record);
    if (chunk.size() >= chunk_bytes) {
        close_chunk();
    }
}

void ChunkedWriter::close_chunk() {
    if (chunk.empty()) {
        return;
    }
    std::string_view stored = chunk;
    if (compression == McapCompression::Zstd) {
        compressed.resize(ZSTD_compressBound(chunk.size()));
        const std::size_t size = ZSTD_compress2(static_cast<ZSTD_CCtx*>(context), compressed.data(),
                                                compressed.size(), chunk.data(), chunk.size());
        if (ZSTD_isError(size) != 0U) {
            throw VelmorError("recording", std::string("Could not compress a chunk: ") + ZSTD_getErrorName(size) + ".");
        }
        compressed.resize(size);
        stored = compressed;
    }
    ChunkIndex index {chunk_start_time, chunk_end_time, offset, 0, {}, 0, stored.size(), chunk.size()};
    scratch.clear();
    const std::size_t record = begin_record(scratch, Opcode::Chunk);
    put(scratch, chunk_start_time);
    put(scratch, chunk_end_time);
    put(scratch, static_cast<std::uint64_t>(chunk.size()));
    put(scratch, crc32(0, chunk));
    put_text(scratch, compression_name(compression));
    put(scratch, static_cast<std::uint64_t>(stored.size()));
    scratch.append(stored);
    end_record(scratch, record);
    index.length = scratch.size();
    const std::uint64_t index_start = offset + scratch.size();
    for (std::size_t c = 0; c < channels.size(); ++c) {
        auto& entries = channels[c].index;
        if (entries.empty()) {
            continue;
        }
        const auto id = static_cast<std::uint16_t>(c + 1);
        index.index_offsets.emplace_back(id, offset + scratch.size());
        const std::size_t entry_record = begin_record(scratch, Opcode::MessageIndex);
        put(scratch, id);
        put(scratch, static_cast<std::uint32_t>(entries.size() * 2 * sizeof(std::uint64_t)));
        for (const auto& [time, position] : entries) {
            put(scratch, time);
            put(scratch, position);
        }
        end_record(scratch, entry_record);
        entries.clear();
    }
    index.index_length = offset + scratch.size() - index_start;
    emit(scratch);
    chunk_indexes.push_back(std::move(index));
    chunk.clear();
}

void ChunkedWriter::finish() {
    close_chunk();
    std::string tail;
    const std::size_t record = begin_record(tail, Opcode::DataEnd);
    put(tail, data_crc);
    end_record(tail, record);
    emit(tail);
    finished = true;
    const std::uint64_t summary_start = offset;
    std::uint64_t offsets_start = 0;
    std::string rest = summary(summary_start, offsets_start);
    // The footer's length is known ahead, as its CRC covers it: the summary and its
    // offsets, then the footer up to the CRC.
    rest.push_back(static_cast<char>(Opcode::Footer));
    put(rest, std::uint64_t {2 * sizeof(std::uint64_t) + sizeof(std::uint32_t)});
    put(rest, summary_start);
    put(rest, offsets_start);
    put(rest, crc32(0, rest));
    rest.append(magic);
    emit(rest);
}

std::string ChunkedWriter::summary(std::uint64_t summary_start, std::uint64_t& offsets_start) const {
    std::string out;
    struct Group {
        Opcode opcode;
        std::size_t start;
        std::size_t end;
    };
    std::vector<Group> groups;
    const auto group = [&](Opcode opcode, const auto& write) {
        const std::size_t start = out.size();
        write();
        groups.push_back({opcode, start, out.size()});
    };
    group(Opcode::Schema, [&] {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            append_schema(out, static_cast<std::uint16_t>(c + 1));
        }
    });
    group(Opcode::Channel, [&] {
        for (std::size_t c = 0; c < channels.size(); ++c) {
            append_channel(out, static_cast<std::uint16_t>(c + 1));
        }
    });
    group(Opcode::Statistics, [&] {
        const std::size_t record = begin_record(out, Opcode::Statistics);
        put(out, messages);
        put(out, static_cast<std::uint16_t>(channels.size()));
        put(out, static_cast<std::uint32_t>(channels.size()));
        put(out, std::uint32_t {0});
        put(out, std::uint32_t {0});
        put(out, static_cast<std::uint32_t>(chunk_indexes.size()));
        put(out, first_time);
        put(out, last_time);
        const std::size_t counts = begin_group(out);
        for (std::size_t c = 0; c < channels.size(); ++c) {
            put(out, static_cast<std::uint16_t>(c + 1));
            put(out, channels[c].messages);
        }
        end_group(out, counts);
        end_record(out, record);
    });
    group(Opcode::ChunkIndex, [&] {
        for (const auto& index : chunk_indexes) {
            const std::size_t record = begin_record(out, Opcode::ChunkIndex);
            put(out, index.start_time);
            put(out, index.end_time);
            put(out, index.offset);
            put(out, index.length);
            const std::size_t offsets = begin_group(out);
            for (const auto& [id, position] : index.index_offsets) {
                put(out, id);
                put(out, position);
            }
            end_group(out, offsets);
            put(out, index.index_length);
            put_text(out, compression_name(compression));
            put(out, index.compressed_size);
            put(out, index.uncompressed_size);
            end_record(out, record);
        }
    });
    offsets_start = summary_start + out.size();
    for (const auto& [opcode, start, end] : groups) {
        if (end > start) {
            put_group_record(out, opcode, summary_start + start, end - start);
        }
    }
    return out;
}

}  // namespace velmor::drivers::mcap
