#include "mirava_address.hpp"

#include <cstdlib>

namespace velmor {

HostPort mirava_address_from_environment() {
    const char* value = std::getenv("VELMOR_MIRAVA_ADDRESS");
    if (value == nullptr || *value == '\0') {
        return {"127.0.0.1", 8768};
    }
    return parse_host_port(value, PortZero::Refused, "Mirava address");
}

}  // namespace velmor
