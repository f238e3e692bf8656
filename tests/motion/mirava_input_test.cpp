#include "mirava_app/replay.hpp"
#include "mirava_app/protocol.hpp"

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <unistd.h>

#include <velmor/common/velmor_error.hpp>

namespace {

// A recording file of one header (with `header_members` spliced in) and one more line.
std::filesystem::path write_file(const std::string& header_members, const std::string& line) {
    const auto path = std::filesystem::temp_directory_path() / ("hostile_replay_" + std::to_string(::getpid()) + ".jsonl");
    std::ofstream(path) << R"({"type":"header","format":"velmor-recording","robot":"ur5e")" << header_members << "}\n"
                        << line << "\n";
    return path;
}

const std::string two_cycles = R"({"type":"cycles","count":2,"time":"","position":""})";

std::string nested(std::size_t depth) {
    return R"({"type":"io","name":"x","old":0,"new":)" + std::string(depth, '[') + std::string(depth, ']') +
           R"(,"source":"script","time":0})";
}

class HostileReplay : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(HostileReplay, IsRefusedWithAShortReason) {
    const auto& [header_members, expected] = GetParam();
    const bool nesting = header_members.empty();
    const auto path = write_file(nesting ? R"(,"degrees_of_freedom":1)" : header_members,
                                 nesting ? nested(100'000) : two_cycles);
    try {
        velmor::mirava_app::read_replay(path);
        ADD_FAILURE() << "read " << header_members;
    } catch (const velmor::VelmorError& error) {
        EXPECT_NE(error.message.find(expected), std::string::npos) << error.message;
        EXPECT_LT(error.message.size(), 400U);
    }
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    MiravaApp, HostileReplay,
    ::testing::Values(
        // The product of a wrapped joint count and the cycle count would pass a size check at 0.
        std::pair {std::string(R"(,"degrees_of_freedom":9223372036854775808)"), std::string("number of joints")},
        std::pair {std::string(R"(,"degrees_of_freedom":1000000000000)"), std::string("number of joints")},
        std::pair {std::string(R"(,"degrees_of_freedom":0)"), std::string("has no joints")},
        std::pair {std::string(R"(,"degrees_of_freedom":-3)"), std::string("number of joints")},
        std::pair {std::string(R"(,"degrees_of_freedom":6,"joint_offset":18446744073709551615)"),
                   std::string("joint offset")},
        std::pair {std::string(R"(,"degrees_of_freedom":6,"version":4294967296)"), std::string("version is not 1")},
        std::pair {std::string(R"(,"degrees_of_freedom":6,"version":-7)"), std::string("version is not 1")},
        // An I/O value nested 100,000 deep, which a recursive reader dies of.
        std::pair {std::string(), std::string("nested more than 32 deep")}));

TEST(MiravaApp, RefusesDriverMessagesNestedTooDeep) {
    const auto message = velmor::mirava_app::parse_driver_message(
        R"({"type":"joint_position","position":[0],"robot":)" + std::string(100'000, '[') + std::string(100'000, ']') + "}",
        1);
    EXPECT_EQ(message.error, "nested more than 32 deep");
}

}  // namespace
