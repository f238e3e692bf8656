#include <velmor/log/log.hpp>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <velmor/join.hpp>

namespace {

using velmor::log::AsyncPrinter;
using velmor::log::Level;
using velmor::log::Log;

// A stream buffer that the printer thread writes while the test reads.
class LockedBuffer : public std::streambuf {
public:
    std::string text() const {
        std::lock_guard lock(mutex);
        return written;
    }

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            std::lock_guard lock(mutex);
            written.push_back(static_cast<char>(c));
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        std::lock_guard lock(mutex);
        written.append(s, static_cast<std::size_t>(n));
        return n;
    }

private:
    mutable std::mutex mutex;
    std::string written;
};

// Polls until `predicate` holds or a generous deadline passes.
template <typename Predicate>
bool eventually(Predicate predicate) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (predicate()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return predicate();
}

class EnvironmentLevel : public testing::Test {
protected:
    void TearDown() override { unsetenv("VELMOR_LOG_LEVEL"); }
};

TEST_F(EnvironmentLevel, NamesAreMatchedIgnoringCase) {
    unsetenv("VELMOR_LOG_LEVEL");
    EXPECT_EQ(velmor::log::get_default_level(), Level::Warn);
    const std::pair<const char*, Level> cases[] = {
        {"debug", Level::Debug}, {"DEBUG", Level::Debug}, {"Debug", Level::Debug}, {"info", Level::Info},
        {"WARN", Level::Warn},   {"error", Level::Error}, {"eRRoR", Level::Error},
    };
    for (const auto& [text, expected] : cases) {
        setenv("VELMOR_LOG_LEVEL", text, 1);
        EXPECT_EQ(velmor::log::get_default_level(), expected) << text;
    }
}

TEST_F(EnvironmentLevel, UnknownNamesFallBackToWarn) {
    for (const char* text : {"verbose", "", " info", "info ", "debugging", "warning"}) {
        setenv("VELMOR_LOG_LEVEL", text, 1);
        EXPECT_EQ(velmor::log::get_default_level(), Level::Warn) << '"' << text << '"';
    }
}

TEST(AsyncPrinter, ColoursEachLevelAndKeepsOrder) {
    LockedBuffer buffer;
    std::ostream out(&buffer);
    {
        AsyncPrinter printer(out);
        printer.enqueue(Log {Level::Debug, "[velmor.driver] x"});
        printer.enqueue(Log {Level::Info, "[velmor.driver] plain"});
        printer.enqueue(Log {Level::Warn, "[velmor.driver] careful"});
        printer.enqueue(Log {Level::Error, "[velmor.driver] broken"});
        printer.enqueue(Log {static_cast<Level>(7), "odd level"});
        ASSERT_TRUE(eventually([&] { return buffer.text().find("odd level") != std::string::npos; }));
    }
    EXPECT_EQ(buffer.text(),
              "\x1b[37m[velmor.driver] x\x1b[0m\n"
              "[velmor.driver] plain\n"
              "\x1b[1;33m[velmor.driver] careful\x1b[0m\n"
              "\x1b[1;31m[velmor.driver] broken\x1b[0m\n"
              "odd level\n");
}

TEST(AsyncPrinter, PrintsUncolouredOrHandsLinesToItsSink) {
    LockedBuffer buffer;
    std::ostream out(&buffer);
    AsyncPrinter printer(out, false);
    std::vector<std::string> sunk;
    printer.enqueue(Log {Level::Warn, "careful", "driver"});
    printer.flush();
    printer.set_sink([&](const Log& line) { sunk.push_back(line.tag + ": " + line.message); });
    printer.enqueue(Log {Level::Error, "broken", "planner"});
    printer.flush();
    EXPECT_EQ(buffer.text(), "[velmor.driver] careful\n");
    EXPECT_EQ(sunk, std::vector<std::string> {"planner: broken"});
}

TEST(AsyncPrinter, KeepsTheOrderOfEachThread) {
    LockedBuffer buffer;
    std::ostream out(&buffer);
    AsyncPrinter printer(out);
    constexpr int lines_per_thread = 200;
    auto write_lines = [&](char name) {
        for (int i = 0; i < lines_per_thread; ++i) {
            printer.enqueue(Log {Level::Info, std::string(1, name) + std::to_string(i)});
        }
    };
    std::thread a(write_lines, 'a');
    std::thread b(write_lines, 'b');
    a.join();
    b.join();
    ASSERT_TRUE(eventually([&] { return buffer.text().find("a199\n") != std::string::npos &&
                                        buffer.text().find("b199\n") != std::string::npos; }));
    std::istringstream lines(buffer.text());
    int next_a = 0;
    int next_b = 0;
    for (std::string line; std::getline(lines, line);) {
        int& next = line[0] == 'a' ? next_a : next_b;
        EXPECT_EQ(std::stoi(line.substr(1)), next) << line;
        ++next;
    }
    EXPECT_EQ(next_a, lines_per_thread);
    EXPECT_EQ(next_b, lines_per_thread);
}

TEST(AsyncPrinter, ShutsDownWhetherIdleOrBusy) {
    // A hang here (a missed wake-up) fails the test by its CTest timeout.
    for (int round = 0; round < 300; ++round) {
        LockedBuffer buffer;
        std::ostream out(&buffer);
        AsyncPrinter printer(out);
        for (int i = 0; i < round % 3; ++i) {
            printer.enqueue(Log {Level::Info, "line"});
        }
    }
}

TEST(AsyncPrinter, FlushWaitsForEveryQueuedLine) {
    LockedBuffer buffer;
    std::ostream out(&buffer);
    AsyncPrinter printer(out);
    for (int i = 0; i < 100; ++i) {
        printer.enqueue(Log {Level::Info, std::to_string(i)});
    }
    printer.flush();
    EXPECT_NE(buffer.text().find("\n99\n"), std::string::npos);
}

TEST(Log, FiltersBelowTheGlobalLevelAndTagsLines) {
    const Level saved = velmor::log::level.load();
    testing::internal::CaptureStdout();
    velmor::log::level = Level::Warn;
    velmor::log::log_<Level::Debug>("driver", "hidden debug");
    velmor::log::log_<Level::Info>("driver", "hidden info");
    velmor::log::log_<Level::Warn>("driver", "shown warning");
    velmor::log::level = Level::Debug;
    velmor::log::log_<Level::Debug>("test", "shown debug");
    velmor::log::log_<Level::Error>("test", "last");
    velmor::log::async_printer.flush();
    const std::string printed = testing::internal::GetCapturedStdout();
    velmor::log::level = saved;
    EXPECT_EQ(printed.find("hidden"), std::string::npos);
    EXPECT_NE(printed.find("\x1b[1;33m[velmor.driver] shown warning\x1b[0m\n"), std::string::npos);
    EXPECT_NE(printed.find("\x1b[37m[velmor.test] shown debug\x1b[0m\n"), std::string::npos);
    EXPECT_LT(printed.find("shown warning"), printed.find("shown debug"));
}

TEST(Join, WritesSignificantDigitsSeparatedByCommas) {
    EXPECT_EQ(velmor::join(std::vector<double> {1.0, 2.5, 3.14159}, 4), "1, 2.5, 3.142");
    EXPECT_EQ(velmor::join(std::vector<double> {0.0000001}, 4), "1e-07");
    EXPECT_EQ(velmor::join(std::vector<double> {}, 4), "");
    EXPECT_EQ(velmor::join(std::vector<double> {0.0, 1.5707963}, 4), "0, 1.571");
    EXPECT_EQ(velmor::join(std::vector<int> {1, -2}, 4), "1, -2");
}

}  // namespace
