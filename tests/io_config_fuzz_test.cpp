#include <velmor/drivers/simulated/controller.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>

#include <nlohmann/json.hpp>

#include <velmor/log/log.hpp>
#include <velmor/velmor_error.hpp>

using namespace velmor::drivers::simulated;

namespace {

// Builds JSON-like texts: mostly valid objects of mixed member types, some
// arrays and scalars, and some damaged by cutting or inserting characters.
class TextGenerator {
public:
    explicit TextGenerator(std::uint32_t seed) : random(seed) {}

    std::string next() {
        std::string text;
        switch (pick(10)) {
            case 0: text = value(2); break;
            case 1: text = array(2); break;
            default: text = object(2); break;
        }
        if (pick(4) == 0) {
            damage(text);
        }
        return text;
    }

private:
    std::size_t pick(std::size_t count) { return std::uniform_int_distribution<std::size_t>(0, count - 1)(random); }

    std::string name() {
        static const std::vector<std::string> names {"a", "b", "lamp", "gripper", "0", "", "é", "a\\\"b", "Z"};
        return "\"" + names[pick(names.size())] + "\"";
    }

    std::string integer() {
        static const std::vector<std::string> edges {"0", "1", "-1", "2147483647", "2147483648", "-2147483649",
                                                     "4294967297", "18446744073709551615", "-9223372036854775808",
                                                     "99999999999999999999999"};
        if (pick(2) == 0) {
            return edges[pick(edges.size())];
        }
        return std::to_string(std::uniform_int_distribution<std::int64_t>(-1000000, 1000000)(random));
    }

    std::string value(int depth) {
        switch (pick(depth > 0 ? 9 : 7)) {
            case 0: case 1: case 2: return integer();
            case 3: return std::to_string(std::uniform_real_distribution<double>(-10, 10)(random));
            case 4: return pick(2) == 0 ? "true" : "false";
            case 5: return "null";
            case 6: return pick(2) == 0 ? "\"1\"" : "1e3";
            case 7: return array(depth - 1);
            default: return object(depth - 1);
        }
    }

    std::string array(int depth) {
        std::string text = "[";
        for (std::size_t i = 0, count = pick(5); i < count; ++i) {
            text += (i > 0 ? ", " : "") + value(depth);
        }
        return text + "]";
    }

    std::string object(int depth) {
        std::string text = "{";
        for (std::size_t i = 0, count = pick(7); i < count; ++i) {
            text += (i > 0 ? ", " : "") + name() + ": " + value(depth);
        }
        return text + "}";
    }

    void damage(std::string& text) {
        static const std::string noise = "{}[]\",:0-.e \n/\\x";
        if (text.empty() || pick(2) == 0) {
            text.insert(text.empty() ? 0 : pick(text.size()), 1, noise[pick(noise.size())]);
        } else {
            text.resize(pick(text.size()));
        }
    }

    std::mt19937 random;
};

// What the table must hold after a successful load: every integer item, wrapped to 32 bits.
std::map<std::string, std::int32_t> expected_signals(const std::string& text) {
    std::map<std::string, std::int32_t> expected;
    const auto document = nlohmann::json::parse(text);
    for (const auto& item : document.items()) {
        if (item.value().is_number_unsigned()) {
            expected[item.key()] = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.value().get<std::uint64_t>()));
        } else if (item.value().is_number_integer()) {
            expected[item.key()] = static_cast<std::int32_t>(static_cast<std::uint32_t>(item.value().get<std::int64_t>()));
        }
    }
    return expected;
}

double fuzz_seconds() {
    const char* text = std::getenv("VELMOR_FUZZ_SECONDS");
    return text == nullptr ? 2.0 : std::atof(text);
}

}  // namespace

TEST(IoConfigFuzz, LoadsExactlyTheIntegerItemsOrFailsWithADocumentedError) {
    // Refused members log warnings; keep them off the console here.
    velmor::log::level = velmor::log::Level::Error;
    const auto path = std::filesystem::temp_directory_path() / ("velmor_io_fuzz_" + std::to_string(::getpid()) + ".json");
    TextGenerator generator(20240611U);
    const auto start = std::chrono::steady_clock::now();
    const auto budget = std::chrono::duration<double>(fuzz_seconds());
    std::size_t executions = 0;
    std::size_t loaded = 0;
    while (std::chrono::steady_clock::now() - start < budget && executions < 10000000) {
        const std::string text = generator.next();
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        Controller controller(false, false);
        controller.create_io("preexisting", 1.5F);
        ++executions;
        try {
            controller.load_io_config_from_file(path);
        } catch (const nlohmann::json::exception&) {
            // A syntax error, or a number too large for a double (out_of_range), both from the parser.
            EXPECT_EQ(controller.find_signal("preexisting")->value, (std::variant<std::int32_t, float>(1.5F))) << text;
            EXPECT_THROW(expected_signals(text), nlohmann::json::exception) << text;
            continue;
        } catch (const velmor::VelmorError& error) {
            ADD_FAILURE() << "unexpected " << error.what() << " for " << text;
            continue;
        }
        ++loaded;
        const auto expected = expected_signals(text);
        for (const auto& [name, value] : expected) {
            EXPECT_EQ(controller.get_digital_input(name), value) << name << " in " << text;
        }
        for (const std::string name : {"a", "b", "lamp", "gripper", "0", "1", "2", "3", "4", "", "é", "a\"b", "Z"}) {
            EXPECT_EQ(controller.find_signal(name).has_value(), expected.count(name) == 1) << name << " in " << text;
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    std::filesystem::remove(path);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "io_config fuzz: " << executions << " executions (" << loaded << " loaded) in " << elapsed << " s\n";
    EXPECT_GT(loaded, 0U);
    EXPECT_GT(executions, loaded);
}
