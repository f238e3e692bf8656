#include "urdf/disabled_collisions.hpp"

#include <algorithm>

#include <velmor/common/velmor_error.hpp>

namespace velmor::urdf_reading {

void disable_collisions(std::vector<LinkGeometry>& links, const std::map<std::string, std::size_t>& arm_link,
                        const urdf::ModelInterface& model,
                        const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::vector<std::string> unknown;
    for (const auto& [first, second] : pairs) {
        for (const std::string* name : {&first, &second}) {
            if (!model.getLink(*name) && std::find(unknown.begin(), unknown.end(), *name) == unknown.end()) {
                unknown.push_back(*name);
            }
        }
    }
    if (!unknown.empty()) {
        std::string text;
        for (std::size_t i = 0; i < unknown.size() && i < 10; ++i) {
            text += (i ? ", \"" : "\"") + unknown[i].substr(0, 100) + "\"";
        }
        throw VelmorError("urdf", "The disabled collisions name links that are not in the description: " + text +
                                      (unknown.size() > 10 ? " and " + std::to_string(unknown.size() - 10) + " more."
                                                           : "."));
    }
    for (const auto& [first, second] : pairs) {
        const auto a = arm_link.find(first);
        const auto b = arm_link.find(second);
        if (a == arm_link.end() || b == arm_link.end() || a->second == b->second) {
            continue;
        }
        auto& ignored = links.at(a->second).ignored_links;
        if (std::find(ignored.begin(), ignored.end(), b->second) == ignored.end()) {
            ignored.push_back(b->second);
        }
    }
}

}  // namespace velmor::urdf_reading
