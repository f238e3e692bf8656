#include "mirava_address.hpp"

#include <charconv>
#include <cstdlib>

#include <velmor/velmor_error.hpp>

namespace velmor {

MiravaAddress parse_mirava_address(const std::string& text) {
    const auto colon = text.rfind(':');
    const auto refuse = [&text]() {
        return VelmorError("mirava", "The Mirava address '" + text + "' is not of the form host:port.");
    };
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        throw refuse();
    }
    unsigned port = 0;
    const char* first = text.data() + colon + 1;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, port);
    if (error != std::errc() || end != last || port == 0 || port > 65535) {
        throw refuse();
    }
    return {text.substr(0, colon), static_cast<std::uint16_t>(port)};
}

MiravaAddress mirava_address_from_environment() {
    const char* value = std::getenv("VELMOR_MIRAVA_ADDRESS");
    if (value == nullptr || *value == '\0') {
        return {"127.0.0.1", 8768};
    }
    return parse_mirava_address(value);
}

}  // namespace velmor
