#include <velmor/motion/environment.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>
#include <velmor/motion/robots.hpp>
#include <velmor/motion/scene_json.hpp>

namespace {

using namespace velmor;

std::map<std::string, Shape> cell() {
    return {
        {"table", Box({1.2, 0.8, 0.05}, Frame::from_euler(0.6, 0.0, -0.025, 0.3, 0.0, 0.0))},
        {"ball", Sphere(0.1, Frame::from_translation(0.2, 0.3, 0.4))},
        {"post", Cylinder(0.05, 0.6, Frame::from_euler(-0.4, 0.2, 0.3, 0.0, 0.5, 0.1))},
    };
}

std::string temporary_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("velmor_" + name + "_" + std::to_string(::getpid()))).string();
}

void expect_same_frames(const Frame& a, const Frame& b) {
    EXPECT_TRUE(a.transform.matrix().isApprox(b.transform.matrix(), 1e-12));
}

TEST(Environment, SceneFileRoundTripKeepsEveryObstacle) {
    Environment saved;
    for (const auto& [name, shape] : cell()) {
        saved.add_obstacle(name, shape);
    }
    const std::string path = temporary_path("scene.json");
    saved.save_scene(path);
    Environment loaded;
    loaded.add_obstacle("stale", Sphere(1.0));
    loaded.load_scene(path);
    std::remove(path.c_str());

    const auto obstacles = loaded.obstacles();
    ASSERT_EQ(obstacles.size(), 3U);
    const auto& table = std::get<Box>(obstacles.at("table"));
    EXPECT_EQ(table.size, (std::array<double, 3> {1.2, 0.8, 0.05}));
    expect_same_frames(table.frame, std::get<Box>(cell().at("table")).frame);
    EXPECT_EQ(std::get<Sphere>(obstacles.at("ball")).radius, 0.1);
    const auto& post = std::get<Cylinder>(obstacles.at("post"));
    EXPECT_EQ(post.length, 0.6);
    expect_same_frames(post.frame, std::get<Cylinder>(cell().at("post")).frame);
}

class InvalidScene : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(InvalidScene, IsRefusedNamingTheFaultAndChangesNothing) {
    const auto [text, fault] = GetParam();
    const std::string path = temporary_path("invalid_scene.json");
    std::ofstream(path) << text;
    Environment environment;
    environment.add_obstacle("kept", Sphere(0.2));
    try {
        environment.load_scene(path);
        ADD_FAILURE() << "accepted " << text;
    } catch (const VelmorError& error) {
        EXPECT_EQ(error.module, "scene");
        EXPECT_NE(error.message.find(fault), std::string::npos) << error.message;
    }
    std::remove(path.c_str());
    EXPECT_EQ(environment.obstacles().count("kept"), 1U);
}

INSTANTIATE_TEST_SUITE_P(
    Environment, InvalidScene,
    ::testing::Values(std::pair {"{\"obstacles\": [", "cannot be parsed"},
                      std::pair {"[]", "\"obstacles\" holds an array"},
                      std::pair {R"({"obstacles": [{"shape": "box"}]})", "Obstacle 0"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "cone"}]})", "unknown shape \"cone\""},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "box", "size": [1, 1]}]})", "wrong type"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "box", "size": [1, 1, 1, 9]}]})",
                                 "\"size\" of the obstacle \"a\" has the wrong type: it holds 4 values"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "sphere", "radius": 1,
                                                    "frame": [0, 0, 0, 0, 0, 0, 1]}]})",
                                 "\"frame\" of the obstacle \"a\" has the wrong type: it holds 7 values"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "sphere", "radius": 1e999}]})",
                                 "cannot be parsed"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "sphere", "radius": 1, "x":)"
                                 "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]}]}",
                                 "more than 32 deep"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "box", "size": [1, 0, 1]}]})",
                                 "\"a\" is invalid"},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "sphere", "radius": 1, "colour": 3}]})",
                                 "unknown key \"colour\""},
                      std::pair {R"({"obstacles": [{"name": "a", "shape": "sphere", "radius": 1},
                                                   {"name": "a", "shape": "sphere", "radius": 2}]})",
                                 "twice"}));

TEST(Environment, UnknownNamesAndMissingFilesAreRefused) {
    Environment environment;
    EXPECT_THROW(environment.remove_obstacle("nothing"), VelmorError);
    EXPECT_THROW(environment.add_obstacle("", Sphere(0.1)), VelmorError);
    EXPECT_THROW(environment.load_scene(temporary_path("missing")), VelmorError);
    const auto revision = environment.obstacles_revision();
    environment.add_obstacle("ball", Sphere(0.1));
    environment.remove_obstacle("ball");
    EXPECT_EQ(environment.obstacles_revision(), revision + 2);
    EXPECT_TRUE(environment.obstacles().empty());
}

// Run under ThreadSanitizer, this shows that readers need no lock of their own.
TEST(Environment, ObstaclesAndRobotsChangeWhileOtherThreadsReadThem) {
    Environment environment(robots::make("ur5e"));
    std::thread reader([&]() {
        for (int i = 0; i < 2000; ++i) {
            for (const auto& [name, shape] : environment.obstacles()) {
                check_shape(shape);
            }
            EXPECT_FALSE(environment.get_robots().empty());
        }
    });
    for (int i = 0; i < 2000; ++i) {
        environment.add_obstacle("box" + std::to_string(i % 7), Box({0.1, 0.2, 0.3}));
        environment.add_robot("spare", robots::make("ur5e"));
    }
    reader.join();
    EXPECT_EQ(environment.obstacles().size(), 7U);
}

}  // namespace
