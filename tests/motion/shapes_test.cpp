#include <velmor/motion/shapes.hpp>

#include <cmath>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>

namespace {

using namespace velmor;

TEST(Shapes, ContainTheirSurfaceButNotBeyondIt) {
    const Frame turned = Frame::from_euler(1.0, 2.0, 3.0, std::numbers::pi / 2, 0.0, 0.0);
    // Turned a quarter about z: the box's x edge (0.4 m) lies along the world's y.
    const Box box({0.4, 0.2, 0.1}, turned);
    EXPECT_TRUE(box.contains({1.0, 2.2 - 1e-12, 3.0}));
    EXPECT_FALSE(box.contains({1.0, 2.2 + 1e-9, 3.0}));
    EXPECT_FALSE(box.contains({1.2 - 1e-12, 2.0, 3.0}));
    EXPECT_TRUE(box.contains({1.1 - 1e-12, 2.0, 3.05 - 1e-12}));

    const Sphere sphere(0.5, Frame::from_translation(0.0, 0.0, 1.0));
    EXPECT_TRUE(sphere.contains({0.3, 0.4, 1.0}));
    EXPECT_FALSE(sphere.contains({0.3, 0.4, 1.001}));

    const Cylinder cylinder(0.1, 1.0, Frame::from_euler(0.0, 0.0, 0.0, 0.0, std::numbers::pi / 2, 0.0));
    // Its axis lies along the world's x after the turn about y.
    EXPECT_TRUE(cylinder.contains({0.5 - 1e-12, 0.0, 0.1 - 1e-12}));
    EXPECT_FALSE(cylinder.contains({0.5 + 1e-9, 0.0, 0.0}));
    EXPECT_FALSE(cylinder.contains({0.0, 0.08, 0.08}));
}

class InvalidDimension : public ::testing::TestWithParam<double> {};

TEST_P(InvalidDimension, IsRefusedByEveryShape) {
    const double bad = GetParam();
    EXPECT_THROW(Box({0.1, bad, 0.1}), VelmorError);
    EXPECT_THROW(Sphere {bad}, VelmorError);
    EXPECT_THROW(Cylinder(bad, 1.0), VelmorError);
    EXPECT_THROW(Cylinder(0.1, bad), VelmorError);
}

INSTANTIATE_TEST_SUITE_P(Shapes, InvalidDimension,
                         ::testing::Values(0.0, -0.1, std::numeric_limits<double>::infinity(),
                                           std::numeric_limits<double>::quiet_NaN()));

TEST(Shapes, CheckRefusesAShapeChangedAfterConstruction) {
    Shape shape = Box({0.1, 0.1, 0.1});
    EXPECT_NO_THROW(check_shape(shape));
    std::get<Box>(shape).size[2] = -1.0;
    EXPECT_THROW(check_shape(shape), VelmorError);
    Sphere sphere(0.1);
    sphere.frame.transform.translation().x() = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(check_shape(sphere), VelmorError);
}

}  // namespace
