#include <velmor/drivers/result.hpp>

#include <string>

#include <gtest/gtest.h>

#include <velmor/drivers/controller_status.hpp>

namespace {

using velmor::drivers::ControllerStatus;
using velmor::drivers::Result;

// Built while this test program initialises, after the constants' own
// initialisation in this translation unit: they must already hold their values.
const Result success_seen_at_static_initialisation = Result::Success;
const ControllerStatus unknown_seen_at_static_initialisation = ControllerStatus::Unknown;

TEST(Result, ComparesByValueOnly) {
    EXPECT_TRUE(Result::ErrorTrajectoryAborted == Result::ErrorTrajectoryAborted);
    EXPECT_TRUE(Result::Success > Result::Error);
    EXPECT_FALSE(Result::Error < Result::ErrorController);
    EXPECT_TRUE(Result::Error > Result::ErrorController);
    EXPECT_TRUE(Result::ErrorController <= Result::ErrorController);
    EXPECT_TRUE(Result::ErrorControllerConnection < Result::ErrorControllerSendingStop);
    EXPECT_TRUE(Result::Success != Result::Error);

    Result renamed = Result::Success;
    renamed.description = "something else";
    EXPECT_EQ(renamed, Result::Success);
    EXPECT_FALSE(renamed != Result::Success);
}

TEST(Result, ConstantsCarryTheirCodesAndTexts) {
    EXPECT_EQ(Result::Success.value, 1);
    EXPECT_EQ(Result::Success.description, "Finished successfully.");
    EXPECT_EQ(Result::Error.value, -1);
    EXPECT_EQ(Result::ErrorTrajectoryAborted.value, -104);
    EXPECT_EQ(Result::ErrorTrajectoryAborted.description, "Trajectory was aborted by a stop command.");
    EXPECT_EQ(Result::ErrorControllerSafetyViolation.description, "Safety violation occured on the controller.");
    EXPECT_EQ(Result::ErrorController.description, "General error on the controller");
    EXPECT_EQ(Result::ErrorControllerConnection.value, -210);
    EXPECT_EQ(Result::ErrorControllerConnection.description, "No connection to controller.");
}

TEST(Result, OnlySuccessHasAPositiveCode) {
    for (const Result* result :
         {&Result::Error, &Result::ErrorStartPositionDeviation, &Result::ErrorTrajectoryDidNotUpdate,
          &Result::ErrorReachGoalTimeout, &Result::ErrorCommandAlreadyInProgress, &Result::ErrorTrajectoryAborted,
          &Result::ErrorController, &Result::ErrorControllerEStopActive, &Result::ErrorControllerSafetyViolation,
          &Result::ErrorControllerAlarmActive, &Result::ErrorControllerNotInAutoMode,
          &Result::ErrorControllerNotInRemoteMode, &Result::ErrorControllerInHoldState,
          &Result::ErrorControllerEnableMotors, &Result::ErrorControllerProgramStopped,
          &Result::ErrorControllerSendingStop, &Result::ErrorControllerConnection}) {
        EXPECT_LT(result->value, 0) << result->description;
    }
    EXPECT_GT(Result::Success.value, 0);
}

TEST(Result, ConstantsAreReadyDuringStaticInitialisation) {
    EXPECT_EQ(success_seen_at_static_initialisation.value, 1);
    EXPECT_EQ(success_seen_at_static_initialisation.description, "Finished successfully.");
    EXPECT_EQ(unknown_seen_at_static_initialisation.value, -5);
    EXPECT_EQ(unknown_seen_at_static_initialisation.description, "Unknown");
}

TEST(ControllerStatus, ConstantsAndComparisons) {
    EXPECT_EQ(ControllerStatus::Ready.value, 1);
    EXPECT_EQ(ControllerStatus::NotReady.description, "Not Ready");
    EXPECT_EQ(ControllerStatus::Failure.value, -4);
    EXPECT_TRUE(ControllerStatus::Ready > ControllerStatus::Unknown);
    EXPECT_TRUE(ControllerStatus::Busy == ControllerStatus::Busy);
}

}  // namespace
