#include <velmor/net/allowed_hosts.hpp>

#include <algorithm>
#include <array>
#include <climits>

#include <unistd.h>

namespace velmor {

namespace {

namespace ip = boost::asio::ip;

std::string lower(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return result;
}

// A dual-stack socket reports IPv4 peers as mapped IPv6 addresses.
ip::address unmapped(const ip::address& address) {
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return ip::make_address_v4(ip::v4_mapped, address.to_v6());
    }
    return address;
}

std::optional<ip::address> address_of(const std::string& text) {
    boost::system::error_code ec;
    const auto address = ip::make_address(text, ec);
    if (ec) {
        return std::nullopt;
    }
    return unmapped(address);
}

// Lower case, without one trailing dot, and addresses in their canonical form,
// so that equal names compare equal as text.
std::string canonical(std::string_view name) {
    auto result = lower(name);
    if (result.size() > 1 && result.back() == '.') {
        result.pop_back();
    }
    if (const auto address = address_of(result)) {
        return address->to_string();
    }
    return result;
}

bool is_port(std::string_view text) {
    return text.size() <= 5 && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The host of "name", "name:port" or "[v6]:port"; nothing when the text is none of these.
std::optional<std::string_view> strip_port(std::string_view host) {
    if (host.starts_with('[')) {
        const auto close = host.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        const auto rest = host.substr(close + 1);
        if (!rest.empty() && (!rest.starts_with(':') || !is_port(rest.substr(1)))) {
            return std::nullopt;
        }
        return host.substr(1, close - 1);
    }
    const auto colon = host.find(':');
    if (colon == std::string_view::npos) {
        return host;
    }
    if (!is_port(host.substr(colon + 1))) {
        return std::nullopt;
    }
    return host.substr(0, colon);
}

std::string own_host_name() {
    std::array<char, HOST_NAME_MAX + 1> buffer {};
    if (gethostname(buffer.data(), buffer.size() - 1) != 0) {
        return {};
    }
    return canonical(buffer.data());
}

}  // namespace

AllowedHosts::AllowedHosts(const ip::address& listening, const std::vector<std::string>& listed)
    : network_(!unmapped(listening).is_loopback()) {
    for (const auto& name : listed) {
        names_.push_back(canonical(name));
    }
    if (network_) {
        if (auto name = own_host_name(); !name.empty()) {
            names_.push_back(std::move(name));
        }
    }
}

bool AllowedHosts::allows_host(std::string_view host, std::string_view local_address) const {
    const auto name = strip_port(host);
    return name.has_value() && allows_name(canonical(*name), local_address);
}

bool AllowedHosts::allows_origin(std::optional<std::string_view> origin, std::string_view local_address) const {
    if (!origin) {
        return true;
    }
    const auto separator = origin->find("://");
    if (separator == std::string_view::npos) {
        return false;
    }
    const auto scheme = lower(origin->substr(0, separator));
    if (scheme != "http" && scheme != "https") {
        return false;
    }
    return allows_host(origin->substr(separator + 3), local_address);
}

bool AllowedHosts::allows_name(std::string name, std::string_view local_address) const {
    if (name.empty()) {
        return false;
    }
    if (name == "localhost") {
        return true;
    }
    if (const auto address = address_of(name); address && address->is_loopback()) {
        return true;
    }
    if (network_ && name == canonical(local_address)) {
        return true;
    }
    return std::find(names_.begin(), names_.end(), name) != names_.end();
}

std::vector<std::string> split_host_list(std::string_view text) {
    std::vector<std::string> names;
    while (!text.empty()) {
        const auto comma = text.find(',');
        auto entry = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view {} : text.substr(comma + 1);
        const auto first = entry.find_first_not_of(" \t");
        if (first == std::string_view::npos) {
            continue;
        }
        entry = entry.substr(first, entry.find_last_not_of(" \t") - first + 1);
        names.emplace_back(entry);
    }
    return names;
}

}  // namespace velmor
