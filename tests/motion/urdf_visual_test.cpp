#include <velmor/motion/urdf.hpp>

#include <gtest/gtest.h>

#include <velmor/common/velmor_error.hpp>

namespace {

using velmor::VisualShape;

// Links of every kind of placement: on the base, behind a moving joint, behind a fixed
// joint between two moving ones, and behind a fixed joint after the last moving one
// (the flange). Each holds the same sphere as visual and as collision shape, so the
// visual must sit where the independently placed collision capsule does.
const char* placed_spheres = R"(<robot name="placed">
  <material name="red"><color rgba="1 0 0 1"/></material>
  <link name="base"><visual><origin xyz="0 0 0.1"/><geometry><sphere radius="0.05"/></geometry></visual>
    <collision><origin xyz="0 0 0.1"/><geometry><sphere radius="0.05"/></geometry></collision></link>
  <link name="a"><visual><origin xyz="0.1 0.02 0"/><geometry><sphere radius="0.04"/></geometry>
    <material name="red"/></visual>
    <collision><origin xyz="0.1 0.02 0"/><geometry><sphere radius="0.04"/></geometry></collision></link>
  <link name="bracket"><visual><origin xyz="0 0.05 0.03" rpy="0.3 0 0"/><geometry><sphere radius="0.03"/></geometry></visual>
    <collision><origin xyz="0 0.05 0.03" rpy="0.3 0 0"/><geometry><sphere radius="0.03"/></geometry></collision></link>
  <link name="b"><visual><origin xyz="0.2 0 0"/><geometry><sphere radius="0.02"/></geometry></visual>
    <collision><origin xyz="0.2 0 0"/><geometry><sphere radius="0.02"/></geometry></collision></link>
  <link name="tip"><visual><origin xyz="0 0 0.02"/><geometry><sphere radius="0.01"/></geometry></visual>
    <collision><origin xyz="0 0 0.02"/><geometry><sphere radius="0.01"/></geometry></collision></link>
  <joint name="j1" type="revolute"><parent link="base"/><child link="a"/><origin xyz="0 0 0.3" rpy="0 0.2 0"/>
    <axis xyz="0 0 1"/><limit lower="-3" upper="3" velocity="1" effort="1"/></joint>
  <joint name="fix" type="fixed"><parent link="a"/><child link="bracket"/><origin xyz="0.3 0 0" rpy="0 0 0.5"/></joint>
  <joint name="j2" type="prismatic"><parent link="bracket"/><child link="b"/><origin xyz="0 0.1 0"/>
    <axis xyz="1 0 0"/><limit lower="0" upper="0.5" velocity="1" effort="1"/></joint>
  <joint name="flange" type="fixed"><parent link="b"/><child link="tip"/><origin xyz="0.25 0 0" rpy="0 1.5 0"/></joint>
</robot>)";

TEST(UrdfVisuals, ShapesSitWhereTheCollisionShapesOfTheirLinksDo) {
    const auto arm = velmor::robots::from_urdf(placed_spheres);
    const auto& visuals = arm->get_link_visuals();
    const auto& links = arm->get_link_geometry();
    ASSERT_EQ(visuals.size(), 3U);
    const std::vector<std::size_t> shapes_per_link {1, 2, 2};
    for (std::size_t i = 0; i < visuals.size(); ++i) {
        ASSERT_EQ(visuals[i].shapes.size(), shapes_per_link[i]) << "link " << i;
        ASSERT_EQ(links[i].capsules.size(), shapes_per_link[i]) << "link " << i;
        for (std::size_t k = 0; k < shapes_per_link[i]; ++k) {
            const VisualShape& shape = visuals[i].shapes[k];
            EXPECT_EQ(shape.kind, VisualShape::Kind::Sphere);
            EXPECT_EQ(shape.radius, links[i].capsules[k].radius);
            const Eigen::Vector3d centre(links[i].capsules[k].start.data());
            EXPECT_LT((shape.origin.translation() - centre).norm(), 1e-12) << "link " << i << " shape " << k;
        }
    }
    EXPECT_EQ(visuals[1].name, "a");
    ASSERT_TRUE(visuals[1].shapes[0].colour.has_value());
    EXPECT_EQ(*visuals[1].shapes[0].colour, (std::array<double, 4> {1, 0, 0, 1}));
    EXPECT_FALSE(visuals[1].shapes[1].colour.has_value());
    EXPECT_THROW(arm->set_link_visuals(std::vector<velmor::LinkVisual>(2)), velmor::VelmorError);
}

}  // namespace
