#include <velmor/motion/scene_json.hpp>

#include <array>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include <velmor/common/bounded_json.hpp>
#include <velmor/common/velmor_error.hpp>

namespace velmor {

namespace {

using nlohmann::json;

[[noreturn]] void refuse_scene(const std::string& message) {
    throw VelmorError("scene", message);
}

// Written with the keys in the order a person reads them.
using ordered_json = nlohmann::ordered_json;

ordered_json frame_json(const Frame& frame) {
    std::vector<double> values;
    for (const double value : frame.to_euler()) {
        // Adding zero turns -0, which reads oddly in a file, into 0.
        values.push_back(value + 0.0);
    }
    return values;
}

ordered_json shape_json(const std::string& name, const Shape& shape) {
    try {
        check_shape(shape);
    } catch (const VelmorError& error) {
        refuse_scene("The obstacle \"" + name + "\" cannot be written: " + error.message);
    }
    ordered_json object {{"name", name}};
    if (const auto* box = std::get_if<Box>(&shape)) {
        object["shape"] = "box";
        object["size"] = box->size;
        object["frame"] = frame_json(box->frame);
    } else if (const auto* sphere = std::get_if<Sphere>(&shape)) {
        object["shape"] = "sphere";
        object["radius"] = sphere->radius;
        object["frame"] = frame_json(sphere->frame);
    } else {
        const auto& cylinder = std::get<Cylinder>(shape);
        object["shape"] = "cylinder";
        object["radius"] = cylinder.radius;
        object["length"] = cylinder.length;
        object["frame"] = frame_json(cylinder.frame);
    }
    return object;
}

//! Reads one obstacle; `where` names it in messages.
class ObstacleReader {
public:
    ObstacleReader(const json& object, std::string where) : object(object), where(std::move(where)) {}

    template <typename T>
    T get(const char* key) {
        const auto item = object.find(key);
        if (item == object.end()) {
            refuse_scene(where + " has no key \"" + key + "\".");
        }
        used.insert(key);
        try {
            return item->get<T>();
        } catch (const json::exception&) {
            refuse_scene("The key \"" + std::string(key) + "\" of " + where + " has the wrong type.");
        }
    }

    //! An array of exactly N numbers: the JSON library would fill a shorter
    //! one's gap with an error but silently drop what a longer one has beyond N.
    template <std::size_t N>
    std::array<double, N> numbers(const char* key) {
        const auto item = object.find(key);
        if (item != object.end() && item->is_array() && item->size() != N) {
            refuse_scene("The key \"" + std::string(key) + "\" of " + where + " has the wrong type: it holds " +
                   std::to_string(item->size()) + " values where " + std::to_string(N) + " numbers belong.");
        }
        return get<std::array<double, N>>(key);
    }

    Frame frame() {
        if (!object.contains("frame")) {
            return Frame::Identity();
        }
        const auto e = numbers<6>("frame");
        return Frame::from_euler(e[0], e[1], e[2], e[3], e[4], e[5]);
    }

    void refuse_unknown_keys() const {
        for (const auto& [key, value] : object.items()) {
            if (used.count(key) == 0) {
                refuse_scene(where + " has the unknown key \"" + key + "\".");
            }
        }
    }

private:
    const json& object;
    std::string where;
    std::set<std::string> used;
};

std::pair<std::string, Shape> read_obstacle(const json& object, std::size_t index) {
    const auto name_item = object.is_object() ? object.find("name") : object.end();
    if (name_item == object.end() || !name_item->is_string() || name_item->get<std::string>().empty()) {
        refuse_scene("Obstacle " + std::to_string(index) + " of the scene is not a JSON object with a non-empty \"name\".");
    }
    const auto name = name_item->get<std::string>();
    ObstacleReader reader(object, "the obstacle \"" + name + "\"");
    reader.get<std::string>("name");
    const auto kind = reader.get<std::string>("shape");
    std::optional<Shape> shape;
    try {
        if (kind == "box") {
            const auto size = reader.numbers<3>("size");
            shape = Box(size, reader.frame());
        } else if (kind == "sphere") {
            const auto radius = reader.get<double>("radius");
            shape = Sphere(radius, reader.frame());
        } else if (kind == "cylinder") {
            const auto radius = reader.get<double>("radius");
            const auto length = reader.get<double>("length");
            shape = Cylinder(radius, length, reader.frame());
        }
    } catch (const VelmorError& error) {
        if (error.module == "scene") {
            throw;
        }
        refuse_scene("The obstacle \"" + name + "\" is invalid: " + error.message);
    }
    if (!shape) {
        refuse_scene("The obstacle \"" + name + "\" has the unknown shape \"" + kind +
               "\"; the shapes are box, sphere and cylinder.");
    }
    reader.refuse_unknown_keys();
    return {name, *shape};
}

}  // namespace

std::string scene_to_json(const std::map<std::string, Shape>& obstacles) {
    ordered_json list = ordered_json::array();
    for (const auto& [name, shape] : obstacles) {
        list.push_back(shape_json(name, shape));
    }
    return ordered_json {{"obstacles", list}}.dump();
}

std::map<std::string, Shape> scene_from_json(const std::string& text) {
    json object;
    bool too_deep = false;
    try {
        object = parse_bounded_json(text, too_deep, true);
    } catch (const json::exception& error) {
        // Besides syntax errors the parser throws for numbers beyond a double's range.
        refuse_scene(std::string("The scene cannot be parsed: ") + error.what());
    }
    if (too_deep) {
        refuse_scene("The scene cannot be parsed: it nests values more than " + std::to_string(max_json_nesting) + " deep.");
    }
    if (!object.is_object() || !object.contains("obstacles") || !object["obstacles"].is_array()) {
        refuse_scene("A scene is a JSON object whose key \"obstacles\" holds an array.");
    }
    std::map<std::string, Shape> result;
    std::size_t index = 0;
    for (const auto& item : object["obstacles"]) {
        auto [name, shape] = read_obstacle(item, index++);
        if (!result.emplace(name, std::move(shape)).second) {
            refuse_scene("The scene names the obstacle \"" + name + "\" twice.");
        }
    }
    return result;
}

void save_scene_file(const std::map<std::string, Shape>& obstacles, const std::string& path) {
    const std::string text = scene_to_json(obstacles);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        refuse_scene("Could not write the scene file '" + path + "'.");
    }
}

std::map<std::string, Shape> load_scene_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        refuse_scene("Could not open the scene file '" + path + "'.");
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        refuse_scene("Could not read the scene file '" + path + "'.");
    }
    return scene_from_json(text.str());
}

}  // namespace velmor
