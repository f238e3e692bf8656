#include <velmor/motion/planner.hpp>

#include <filesystem>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include <velmor/motion/robots.hpp>

namespace {

using namespace velmor;

// Stretched along -x, the arm's wrist reaches about (-0.82, -0.23, 0.06) [m], into `in_reach`.
const std::vector<double> stretched(6, 0.0);
const Box in_reach({0.2, 0.2, 0.2}, Frame::from_translation(-0.8, -0.2, 0.1));
const Box far_away({0.1, 0.1, 0.1}, Frame::from_translation(3.0, 3.0, 3.0));

std::shared_ptr<Environment> cell() {
    auto environment = std::make_shared<Environment>(robots::make("ur5e"));
    environment->add_obstacle("far", far_away);
    return environment;
}

using Change = void (*)(Planner&);

class KeptCollisionModel : public ::testing::TestWithParam<Change> {};

TEST_P(KeptCollisionModel, IsBuiltAgainAfterAChangeOnly) {
    Planner planner(cell());
    const auto before = planner.collision_model();
    EXPECT_EQ(planner.collision_model(), before);
    GetParam()(planner);
    const auto after = planner.collision_model();
    EXPECT_NE(after, before);
    EXPECT_EQ(planner.collision_model(), after);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, KeptCollisionModel,
    ::testing::Values([](Planner& planner) { planner.environment->add_obstacle("box", in_reach); },
                      [](Planner& planner) { planner.environment->remove_obstacle("far"); },
                      [](Planner& planner) {
                          const auto path = std::filesystem::temp_directory_path() /
                                            ("velmor_kept_model_" + std::to_string(::getpid()) + ".json");
                          planner.environment->save_scene(path.string());
                          planner.environment->load_scene(path.string());
                          std::filesystem::remove(path);
                      },
                      // As many obstacle changes as the old one: only its identity tells it apart.
                      [](Planner& planner) { planner.environment = cell(); },
                      [](Planner& planner) { planner.environment->add_robot("ur5e", robots::make("ur5e")); }));

// One thread checks while another moves an obstacle in and out of the arm's way.
TEST(KeptCollisionModel, ChecksSeeTheObstaclesAsAnotherThreadChangesThem) {
    Planner planner(cell());
    std::thread mover([&planner] {
        for (int i = 0; i < 200; ++i) {
            planner.environment->add_obstacle("box", i % 2 == 0 ? in_reach : far_away);
        }
    });
    for (int i = 0; i < 200; ++i) {
        const auto met = planner.check_collision(stretched);
        EXPECT_TRUE(!met || met->obstacle == "box");
    }
    mover.join();
    EXPECT_FALSE(planner.check_collision(stretched));
    planner.environment->add_obstacle("box", in_reach);
    const auto met = planner.check_collision(stretched);
    ASSERT_TRUE(met);
    EXPECT_EQ(met->obstacle, "box");
}

// A motion into the box's place: each check after a change of the obstacles sees the change.
TEST(KeptCollisionModel, AMotionIsBlockedOnceTheBoxIsAddedAndFreeOnceItIsRemoved) {
    Planner planner(cell());
    const auto robot = planner.environment->get_robots().front();
    const auto trajectory = planner.plan(Motion(robot, "", std::vector<double> {0.0, -1.5, 0.0, 0.0, 0.0, 0.0}, stretched));
    ASSERT_TRUE(trajectory);
    for (int round = 0; round < 2; ++round) {
        EXPECT_FALSE(planner.check_trajectory(*trajectory));
        planner.environment->add_obstacle("box", in_reach);
        const auto met = planner.check_trajectory(*trajectory);
        ASSERT_TRUE(met);
        EXPECT_EQ(met->obstacle, "box");
        planner.environment->remove_obstacle("box");
    }
    EXPECT_FALSE(planner.check_trajectory(*trajectory));
}

}  // namespace
