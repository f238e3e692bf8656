#include <velmor/mcap/message_reader.hpp>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include <zstd.h>

#include <velmor/mcap/crc32.hpp>
#include <velmor/mcap/records.hpp>

namespace velmor::mcap {

namespace {

constexpr std::size_t max_topic_bytes = 1024;

// The fields of one record's content, read in order; running past its end is an error.
class Fields {
public:
    explicit Fields(std::string_view data) : data(data) {}

    template <typename T>
    T take() {
        T value {};
        std::memcpy(&value, bytes(sizeof(T)).data(), sizeof(T));
        return value;
    }
    std::string_view text() { return bytes(take<std::uint32_t>()); }
    std::string_view bytes(std::uint64_t size) {
        if (size > data.size() - at) {
            throw std::runtime_error("a record is shorter than its fields");
        }
        const auto part = data.substr(at, size);
        at += size;
        return part;
    }
    [[nodiscard]] std::string_view rest() const { return data.substr(at); }

private:
    std::string_view data;
    std::size_t at {0};
};

class RecordWalker {
public:
    explicit RecordWalker(const std::function<void(const Message&)>& on_message) : on_message(on_message) {}

    void record(Opcode opcode, std::string_view content, bool in_chunk) {
        Fields fields(content);
        switch (opcode) {
            case Opcode::Channel: {
                const auto id = fields.take<std::uint16_t>();
                fields.take<std::uint16_t>();
                const std::string_view topic = fields.text();
                // Kept for the whole file, so each is bounded; real topics are a few words.
                if (topic.size() > max_topic_bytes) {
                    throw std::runtime_error("a channel's topic is longer than " + std::to_string(max_topic_bytes) +
                                             " bytes");
                }
                topics[id] = std::string(topic);
                break;
            }
            case Opcode::Message:
                message(fields);
                break;
            case Opcode::Chunk:
                if (in_chunk) {
                    throw std::runtime_error("a chunk holds a chunk");
                }
                chunk(fields);
                break;
            default:
                break;
        }
    }

private:
    void chunk(Fields& fields) {
        fields.take<std::uint64_t>();
        fields.take<std::uint64_t>();
        const auto size = fields.take<std::uint64_t>();
        const auto crc = fields.take<std::uint32_t>();
        const std::string_view compression = fields.text();
        const std::string_view stored = fields.bytes(fields.take<std::uint64_t>());
        if (size > max_record_bytes) {
            throw std::runtime_error("a chunk claims " + std::to_string(size) + " bytes, more than " +
                                     std::to_string(max_record_bytes));
        }
        std::string_view records = stored;
        if (compression == "zstd") {
            // Checked before decompressing: the frame could otherwise be bigger than the chunk claims.
            if (ZSTD_getFrameContentSize(stored.data(), stored.size()) != size) {
                throw std::runtime_error("a chunk's zstd frame does not hold the " + std::to_string(size) +
                                         " bytes it claims");
            }
            plain.resize(size);
            const auto made = ZSTD_decompress(plain.data(), plain.size(), stored.data(), stored.size());
            if (ZSTD_isError(made) != 0U || made != size) {
                throw std::runtime_error("a chunk could not be decompressed");
            }
            records = plain;
        } else if (!compression.empty()) {
            // Only a short, printable excerpt of the name reaches the message.
            std::string name(compression.substr(0, 16));
            for (char& c : name) {
                c = c >= ' ' && c <= '~' && c != '"' ? c : '?';
            }
            throw std::runtime_error("a chunk is compressed with \"" + name + "\", which this library does not read");
        } else if (stored.size() != size) {
            throw std::runtime_error("a chunk does not hold the " + std::to_string(size) + " bytes it claims");
        }
        if (crc != 0 && crc32(0, records) != crc) {
            throw std::runtime_error("a chunk's CRC does not match its content");
        }
        Fields inner(records);
        while (!inner.rest().empty()) {
            const auto opcode = static_cast<Opcode>(inner.take<std::uint8_t>());
            record(opcode, inner.bytes(inner.take<std::uint64_t>()), true);
        }
    }

    void message(Fields& fields) {
        const auto found = topics.find(fields.take<std::uint16_t>());
        if (found == topics.end()) {
            throw std::runtime_error("a message comes before its channel");
        }
        fields.take<std::uint32_t>();
        const auto log_time = fields.take<std::uint64_t>();
        fields.take<std::uint64_t>();
        on_message(Message {found->second, log_time, fields.rest()});
    }

    const std::function<void(const Message&)>& on_message;
    std::map<std::uint16_t, std::string> topics;
    std::string plain;
};

// Reads `size` bytes; false when the file ends first.
bool read_exactly(std::istream& stream, std::string& out, std::size_t size) {
    out.resize(size);
    stream.read(out.data(), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(stream.gcount()) == size;
}

}  // namespace

bool starts_with_magic(std::istream& stream) {
    char start[magic.size()] {};
    stream.read(start, sizeof(start));
    if (static_cast<std::size_t>(stream.gcount()) == sizeof(start) && std::string_view(start, sizeof(start)) == magic) {
        return true;
    }
    stream.clear();
    stream.seekg(0);
    return false;
}

ReadOutcome read_messages(std::istream& stream, const std::function<void(const Message&)>& on_message,
                          std::uint64_t& position) {
    RecordWalker walker(on_message);
    ReadOutcome outcome;
    std::string prefix;
    std::string content;
    position = magic.size();
    while (!outcome.ended && read_exactly(stream, prefix, record_prefix)) {
        const auto opcode = static_cast<Opcode>(prefix[0]);
        std::uint64_t length = 0;
        std::memcpy(&length, prefix.data() + 1, sizeof(length));
        if (length > max_record_bytes) {
            throw std::runtime_error("a record claims " + std::to_string(length) + " bytes, more than " +
                                     std::to_string(max_record_bytes));
        }
        if (!read_exactly(stream, content, length)) {
            break;
        }
        walker.record(opcode, content, false);
        outcome.chunks += opcode == Opcode::Chunk ? 1 : 0;
        outcome.ended = opcode == Opcode::DataEnd;
        position += record_prefix + length;
    }
    return outcome;
}

}  // namespace velmor::mcap
