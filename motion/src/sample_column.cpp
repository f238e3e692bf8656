#include <velmor/motion/sample_column.hpp>

#include <algorithm>
#include <string>

#include <velmor/common/velmor_error.hpp>

namespace velmor {

bool operator==(const SampleRow& a, const SampleRow& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

SampleColumn::SampleColumn(std::size_t count, std::size_t joints, std::vector<double> values)
    : count(count), width(joints), values(std::move(values)) {
    if (this->values.size() != count * joints) {
        throw VelmorError("trajectory", std::to_string(count) + " samples of " + std::to_string(joints) +
                                            " joints need " + std::to_string(count * joints) + " values, not " +
                                            std::to_string(this->values.size()) + ".");
    }
}

SampleColumn::SampleColumn(const std::vector<std::vector<double>>& rows, std::size_t joints, const char* what)
    : count(rows.size()), width(joints) {
    values.reserve(count * width);
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (rows[k].size() != width) {
            throw VelmorError("trajectory", "Sample " + std::to_string(k) + " has " + std::to_string(rows[k].size()) +
                                                " " + what + " instead of " + std::to_string(width) + ".");
        }
        values.insert(values.end(), rows[k].begin(), rows[k].end());
    }
}

std::vector<std::vector<double>> SampleColumn::rows() const {
    std::vector<std::vector<double>> result;
    result.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        result.push_back((*this)[k].vector());
    }
    return result;
}

SampleColumn SampleColumn::slice(std::size_t start, std::size_t end) const {
    const auto from = values.begin() + static_cast<std::ptrdiff_t>(start * width);
    const auto to = values.begin() + static_cast<std::ptrdiff_t>(end * width);
    return SampleColumn(end - start, width, std::vector<double>(from, to));
}

void SampleColumn::append(const SampleColumn& other, std::size_t start) {
    values.insert(values.end(), other.values.begin() + static_cast<std::ptrdiff_t>(start * width), other.values.end());
    count += other.count - start;
}

bool operator==(const SampleColumn& a, const SampleColumn& b) {
    return a.count == b.count && a.width == b.width && a.values == b.values;
}

bool operator==(const SampleColumn& a, const std::vector<std::vector<double>>& b) {
    return a.count == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const SampleRow& row, const std::vector<double>& other) {
               return row == other;
           });
}

}  // namespace velmor
