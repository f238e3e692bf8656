#pragma once

#include <cstddef>

#include <Eigen/Core>

#include "collision/model.hpp"

// How far the bodies of a collision model lie from the joints' axes, for the bounds on
// how fast a joint can bring two bodies together.
namespace velmor::collision {

//! Distance [m] of `point` from the line through `through` along the unit vector `axis`.
double off_axis(const Eigen::Vector3d& axis, const Eigen::Vector3d& through, const Eigen::Vector3d& point);

//! How far [m] any capsule of `link` lies from the axis of the joint that follows it in
//! its arm (+infinity without such a turning joint). That joint turns the later links about
//! an axis fixed to the link: however far their points lie from it, their distance from
//! the link changes by at most this much per radian, since turning them one way is turning
//! the link the other way.
double reach_about_next_joint(const CollisionModel::Impl& model, const CollisionModel::Impl::Link& link);

//! For a `link` whose capsules all lie on the axis of the joint after it: how far [m] they
//! lie from the axis of the joint after that one (+infinity when there is none or it
//! slides). Turning the first joint does not change the link's distance from anything it
//! carries, so the second one bounds, as reach_about_next_joint, the motion of the links
//! it carries relative to this one.
double reach_about_joint_after_next(const CollisionModel::Impl& model, const CollisionModel::Impl::Link& link);

//! How far [m] any point of `obstacle` (of a sphere: its centre) lies from the axis of
//! the first joint of `arm`, fixed in the world (+infinity when that joint slides); as
//! reach_about_next_joint, for turns of the whole arm about the obstacle.
double reach_about_first_joint(const CollisionModel::Impl::Arm& arm, const CollisionModel::Impl::Obstacle& obstacle);

//! The axis of box `obstacle` (0 to 2) parallel to the axis of the first joint of `arm`,
//! if it turns: heights along that axis stay as they are while the joint turns, and so
//! does any gap to the box's slab along it. 3 when there is none.
std::size_t slab_about_first_joint(const CollisionModel::Impl::Arm& arm, const CollisionModel::Impl::Obstacle& obstacle);

}  // namespace velmor::collision
