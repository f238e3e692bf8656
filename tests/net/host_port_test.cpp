#include <velmor/net/host_port.hpp>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>

namespace {

struct HostPortCase {
    std::string text;
    velmor::PortZero port_zero;
    bool valid;
};

class ParseHostPort : public ::testing::TestWithParam<HostPortCase> {};

TEST_P(ParseHostPort, AcceptsExactlyHostColonPort) {
    const auto& [text, port_zero, valid] = GetParam();
    if (valid) {
        EXPECT_EQ(velmor::parse_host_port(text, port_zero, "address").to_string(), text);
    } else {
        EXPECT_THROW(static_cast<void>(velmor::parse_host_port(text, port_zero, "address")), velmor::VelmorError);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseHostPort,
    ::testing::Values(HostPortCase {"127.0.0.1:8768", velmor::PortZero::Refused, true},
                      HostPortCase {"[::1]:65535", velmor::PortZero::Refused, true},
                      HostPortCase {"localhost:0", velmor::PortZero::Allowed, true},
                      HostPortCase {"localhost:0", velmor::PortZero::Refused, false},
                      HostPortCase {"localhost:65536", velmor::PortZero::Allowed, false},
                      HostPortCase {":80", velmor::PortZero::Allowed, false},
                      HostPortCase {"host:", velmor::PortZero::Allowed, false},
                      HostPortCase {"host:8x", velmor::PortZero::Allowed, false},
                      HostPortCase {"host", velmor::PortZero::Allowed, false}));

TEST(ParseHostPort, ErrorNamesWhatWasParsed) {
    try {
        static_cast<void>(velmor::parse_host_port("nowhere", velmor::PortZero::Refused, "Mirava address"));
        FAIL();
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.message, "The Mirava address 'nowhere' is not of the form host:port.");
    }
}

}  // namespace
