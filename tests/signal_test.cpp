#include <velmor/drivers/simulated/signal.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using velmor::drivers::simulated::Signal;
using velmor::drivers::simulated::SignalTable;

TEST(Signal, IntegerAndFloatOfEqualNumberAreDifferentKinds) {
    const Signal digital {"a", std::int32_t {1}, std::nullopt};
    const Signal analog {"a", 1.0F, std::nullopt};
    EXPECT_TRUE(std::holds_alternative<std::int32_t>(digital.value));
    EXPECT_TRUE(std::holds_alternative<float>(analog.value));
    EXPECT_NE(digital.value, analog.value);
}

TEST(Signal, CopiesAreIndependent) {
    Signal original {"lamp", std::int32_t {0}, "Lamp"};
    Signal copy = original;
    copy.value = 1.5F;
    copy.description.reset();
    EXPECT_EQ(std::get<std::int32_t>(original.value), 0);
    EXPECT_EQ(original.description, "Lamp");
}

TEST(SignalTable, StoredSignalsKeepTheirAddressWhenTheTableGrows) {
    SignalTable table;
    table.emplace("first", Signal {"first", std::int32_t {0}, std::nullopt});
    const Signal* first = &table.at("first");
    std::vector<const Signal*> addresses {first};
    for (int i = 0; i < 1000; ++i) {
        const std::string name = "s" + std::to_string(i);
        addresses.push_back(&table.emplace(name, Signal {name, std::int32_t {i}, std::nullopt}).first->second);
    }
    EXPECT_EQ(&table.at("first"), first);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(&table.at("s" + std::to_string(i)), addresses[static_cast<std::size_t>(i) + 1]);
    }
}
