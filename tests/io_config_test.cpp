#include <velmor/drivers/simulated/controller.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include <nlohmann/json.hpp>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

using namespace velmor::drivers::simulated;
using ::testing::HasSubstr;

namespace {

// Writes the text to a file of its own for one test.
class IoConfig : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& text) {
        path = std::filesystem::temp_directory_path() /
               ("velmor_io_config_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".json");
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    void TearDown() override {
        std::filesystem::remove(path);
    }

    // Loads the text and returns what was logged meanwhile.
    std::string load_logging(const std::string& text) {
        const auto file = write(text);
        ::testing::internal::CaptureStdout();
        controller.load_io_config_from_file(file);
        velmor::log::async_printer.flush();
        return ::testing::internal::GetCapturedStdout();
    }

    Controller controller {false, false};
    std::filesystem::path path;
};

TEST_F(IoConfig, MissingFileThrowsDriverError) {
    const std::filesystem::path missing = "/nonexistent/io.json";
    try {
        controller.load_io_config_from_file(missing);
        FAIL() << "no error";
    } catch (const velmor::VelmorError& error) {
        EXPECT_EQ(error.module, "driver");
        EXPECT_EQ(error.message, "Could not open the I/O config json file at '/nonexistent/io.json'.");
    }
}

TEST_F(IoConfig, IntegerMembersBecomeDigitalSignals) {
    controller.load_io_config_from_file(write(R"({"gripper": 0, "lamp": 1})"));
    EXPECT_EQ(controller.get_digital_input("gripper"), 0);
    EXPECT_EQ(controller.get_digital_input("lamp"), 1);
}

TEST_F(IoConfig, InvalidTextRaisesParseErrorAndChangesNothing) {
    controller.create_io("lamp", std::int32_t {4});
    for (const std::string text : {"", "{\"lamp\": 1", "{\"lamp\": 1} x", "// c\n{\"lamp\": 1}", "{\"lamp\": 1,}"}) {
        EXPECT_THROW(controller.load_io_config_from_file(write(text)), nlohmann::json::parse_error) << text;
        EXPECT_EQ(controller.get_digital_input("lamp"), 4) << text;
    }
}

TEST_F(IoConfig, EmptyObjectAndNullCreateNothingAndLogNothing) {
    EXPECT_EQ(load_logging("{}"), "");
    EXPECT_EQ(load_logging("null"), "");
    EXPECT_FALSE(controller.find_signal("").has_value());
}

TEST_F(IoConfig, IntegersWrapToThirtyTwoBits) {
    controller.load_io_config_from_file(
        write(R"({"big": 4294967297, "minus": -1, "top": 2147483648, "huge": 18446744073709551615})"));
    EXPECT_EQ(controller.get_digital_input("big"), 1);
    EXPECT_EQ(controller.get_digital_input("minus"), -1);
    EXPECT_EQ(controller.get_digital_input("top"), -2147483647 - 1);
    EXPECT_EQ(controller.get_digital_input("huge"), -1);
}

TEST_F(IoConfig, RefusedMembersAreWarnedInNameOrder) {
    const auto logged = load_logging(R"({"b": 1.5, "c": 2, "a": true, "d": "1", "e": 1.0, "f": [1], "g": null})");
    const auto warning = [](const std::string& name) {
        return "[velmor.driver] Did not create I/O '" + name + "' due to a wrong default type.";
    };
    std::size_t position = 0;
    for (const std::string name : {"a", "b", "d", "e", "f", "g"}) {
        const auto found = logged.find(warning(name), position);
        ASSERT_NE(found, std::string::npos) << name << " in " << logged;
        position = found;
    }
    EXPECT_EQ(controller.get_digital_input("c"), 2);
    for (const std::string name : {"a", "b", "d", "e", "f", "g"}) {
        EXPECT_FALSE(controller.find_signal(name).has_value()) << name;
    }
}

TEST_F(IoConfig, ArrayElementsAreNamedByIndex) {
    controller.load_io_config_from_file(write("[0, 1, 0.5]"));
    EXPECT_EQ(controller.get_digital_input("0"), 0);
    EXPECT_EQ(controller.get_digital_input("1"), 1);
    EXPECT_FALSE(controller.find_signal("2").has_value());
}

TEST_F(IoConfig, SingleValueIsOneItemWithEmptyName) {
    controller.load_io_config_from_file(write("7"));
    EXPECT_EQ(controller.get_digital_input(""), 7);
}

TEST_F(IoConfig, DuplicateNameKeepsTheLastValue) {
    controller.load_io_config_from_file(write(R"({"lamp": 1, "lamp": 0})"));
    EXPECT_EQ(controller.get_digital_input("lamp"), 0);
}

TEST_F(IoConfig, ReloadingResetsChangedValuesAndDescriptions) {
    controller.load_io_config({Signal {"lamp", std::int32_t {0}, "Cell lamp"}});
    const auto file = write(R"({"lamp": 1})");
    controller.load_io_config_from_file(file);
    controller.set_digital_output("lamp", 9);
    controller.load_io_config_from_file(file);
    EXPECT_EQ(controller.get_digital_input("lamp"), 1);
    EXPECT_FALSE(controller.find_signal("lamp")->description.has_value());
}

TEST_F(IoConfig, NumberBeyondDoubleRangeRaisesTheParserErrorAndChangesNothing) {
    controller.create_io("lamp", std::int32_t {4});
    EXPECT_THROW(controller.load_io_config_from_file(write(R"({"a": 1, "lamp": 1e999})")), nlohmann::json::out_of_range);
    EXPECT_EQ(controller.get_digital_input("lamp"), 4);
    EXPECT_FALSE(controller.find_signal("a").has_value());
}

TEST_F(IoConfig, TheProgramMayNotWriteAnInputAndIsWarned) {
    controller.create_io("part", std::int32_t {0}, Direction::Input);
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(controller.set_digital_output("part", 1));
    velmor::log::async_printer.flush();
    EXPECT_THAT(::testing::internal::GetCapturedStdout(), HasSubstr("'part': it is an input"));
    EXPECT_EQ(controller.get_digital_input("part"), 0);
}

}  // namespace
