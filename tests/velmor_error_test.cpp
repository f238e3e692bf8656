#include <velmor/velmor_error.hpp>

#include <gtest/gtest.h>

namespace {

TEST(VelmorError, WhatShowsTagOnItsOwnLineAndIndentedMessage) {
    const velmor::VelmorError error("time-scaler", "No trajectory defined.");
    EXPECT_STREQ(error.what(), "\n[velmor.exception.time-scaler]\n\tNo trajectory defined.\n");
    EXPECT_EQ(error.module, "time-scaler");
    EXPECT_EQ(error.message, "No trajectory defined.");
}

TEST(VelmorError, EmptyModuleAndMessageKeepTheLayout) {
    EXPECT_STREQ(velmor::VelmorError("", "").what(), "\n[velmor.exception.]\n\t\n");
}

TEST(VelmorError, SameTextWhenCaughtAsStandardException) {
    try {
        throw velmor::VelmorError("driver", "x");
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "\n[velmor.exception.driver]\n\tx\n");
        return;
    }
    FAIL() << "not caught as std::exception";
}

TEST(VelmorError, CopiesCarryModuleAndMessage) {
    const velmor::VelmorError original("driver", "message");
    const velmor::VelmorError copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
    EXPECT_EQ(copy.module, "driver");
    EXPECT_EQ(copy.message, "message");
    EXPECT_STREQ(copy.what(), original.what());
}

}  // namespace
