#include <velmor/drivers/simulated/shared_signal_table.hpp>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace velmor::drivers::simulated;

namespace {

using Change = std::tuple<std::string, std::optional<SignalValue>, SignalValue, IoSource>;

// A digital and an analog signal, and what the observer is told (under the table's lock).
struct Observed {
    SharedSignalTable table {SignalTable {{"lamp", Signal {"lamp", std::int32_t {0}, "Lamp"}},
                                          {"speed", Signal {"speed", 0.5F, std::nullopt}}}};
    std::vector<Change> changes;

    Observed() {
        table.set_observer([this](const std::string& name, const std::optional<SignalValue>& old_value,
                                  const SignalValue& new_value, IoSource source, const std::string&) {
            changes.emplace_back(name, old_value, new_value, source);
        });
    }
};

struct SetCase {
    std::string name;
    SignalValue value;
    // The value stored afterwards; empty when there is no such signal.
    std::optional<SignalValue> stored;
    std::vector<Change> told;
};

class SharedSignalTableSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(SharedSignalTableSet, StoresAValueOfTheSignalsKindAndTellsOnlyAChange) {
    const SetCase& expected = GetParam();
    Observed observed;
    const bool taken = observed.table.set(expected.name, expected.value, IoSource::Viewer) != nullptr;
    EXPECT_EQ(taken, expected.stored == expected.value);
    EXPECT_EQ(observed.changes, expected.told);
    const auto after = observed.table.get(expected.name);
    EXPECT_EQ(after ? std::optional(after->value) : std::nullopt, expected.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SharedSignalTableSet,
    ::testing::Values(SetCase {"lamp", std::int32_t {1}, std::int32_t {1}, {{"lamp", 0, 1, IoSource::Viewer}}},
                      SetCase {"speed", 0.25F, 0.25F, {{"speed", 0.5F, 0.25F, IoSource::Viewer}}},
                      SetCase {"lamp", std::int32_t {0}, std::int32_t {0}, {}},
                      SetCase {"lamp", 1.0F, std::int32_t {0}, {}},
                      SetCase {"speed", std::int32_t {1}, 0.5F, {}},
                      SetCase {"fan", std::int32_t {1}, std::nullopt, {}}));

}  // namespace
