// Loading signals from an I/O configuration file.
#include <velmor/drivers/simulated/controller.hpp>

#include <cstddef>
#include <fstream>
#include <iterator>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include <velmor/common/utf8_text.hpp>
#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

namespace velmor::drivers::simulated {

namespace {

using Json = nlohmann::json;

// The bytes of a stream as the parser reads them. The parser takes a NUL byte
// for the end of the text and would ignore whatever follows it, so a NUL byte
// is refused as the parse error it is.
class ParsedBytes {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = char;

    ParsedBytes() = default;
    explicit ParsedBytes(std::streambuf* bytes) : bytes(bytes) {}

    char operator*() const {
        const auto next = bytes->sgetc();
        if (next == 0) {
            throw Json::parse_error::create(101, offset + 1, "syntax error - a NUL byte is not JSON text", nullptr);
        }
        return std::char_traits<char>::to_char_type(next);
    }
    ParsedBytes& operator++() {
        bytes->sbumpc();
        ++offset;
        return *this;
    }
    bool operator==(const ParsedBytes& other) const { return at_end() == other.at_end(); }

private:
    bool at_end() const { return bytes == nullptr || bytes->sgetc() == std::char_traits<char>::eof(); }

    std::streambuf* bytes {nullptr};
    std::size_t offset {0};
};

Json parse_file(std::ifstream& stream) {
    try {
        return Json::parse(ParsedBytes(stream.rdbuf()), ParsedBytes());
    } catch (const Json::parse_error& error) {
        // The parser quotes what it read last, which may be a piece of a
        // character or a byte that is no UTF-8 at all.
        const std::string_view text = error.what();
        if (is_utf8(text)) {
            throw;
        }
        const auto separator = text.find(": ");
        const auto reason = separator == std::string_view::npos ? text : text.substr(separator + 2);
        throw Json::parse_error::create(error.id, error.byte, as_utf8(reason), nullptr);
    }
}

}  // namespace

void Controller::load_io_config_from_file(const std::filesystem::path& file) {
    std::error_code ignored;
    std::ifstream stream;
    if (!std::filesystem::is_directory(file, ignored)) {
        stream.open(file, std::ios::binary);
    }
    if (!stream.is_open()) {
        throw VelmorError("driver", "Could not open the I/O config json file at '" + as_utf8(file.string()) + "'.");
    }
    // The whole document is parsed before any signal is made, so a broken file changes nothing.
    const auto document = parse_file(stream);

    std::vector<std::pair<std::string, std::int32_t>> accepted;
    for (const auto& item : document.items()) {
        const auto& value = item.value();
        if (value.is_number_unsigned()) {
            accepted.emplace_back(item.key(), static_cast<std::int32_t>(value.get<std::uint64_t>()));
        } else if (value.is_number_integer()) {
            accepted.emplace_back(item.key(), static_cast<std::int32_t>(value.get<std::int64_t>()));
        } else {
            log::log_<log::Level::Warn>("driver",
                                        "Did not create I/O '" + item.key() + "' due to a wrong default type.");
        }
    }
    auto table = signals.lock();
    for (const auto& [name, value] : accepted) {
        table.store(Signal {name, value, std::nullopt}, IoSource::ConfigFile);
    }
}

}  // namespace velmor::drivers::simulated
