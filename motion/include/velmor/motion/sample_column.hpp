#pragma once

#include <cstddef>
#include <iterator>
#include <span>
#include <vector>

namespace velmor {

//! One sample of a column: a value per joint, viewing the column's storage. It stays valid
//! while the column lives unchanged; it converts to a vector (a copy) where one is needed.
class SampleRow {
public:
    using value_type = double;
    using iterator = const double*;
    using const_iterator = const double*;

    SampleRow() = default;
    explicit SampleRow(std::span<const double> values) : values(values) {}

    [[nodiscard]] std::size_t size() const { return values.size(); }
    [[nodiscard]] bool empty() const { return values.empty(); }
    [[nodiscard]] double operator[](std::size_t joint) const { return values[joint]; }
    [[nodiscard]] const double* data() const { return values.data(); }
    [[nodiscard]] const double* begin() const { return values.data(); }
    [[nodiscard]] const double* end() const { return values.data() + values.size(); }
    [[nodiscard]] double front() const { return values.front(); }
    [[nodiscard]] double back() const { return values.back(); }

    //! A copy of the values.
    [[nodiscard]] std::vector<double> vector() const { return {begin(), end()}; }
    // Implicit, so that code written for rows held as vectors keeps working.
    operator std::vector<double>() const { return vector(); }

    friend bool operator==(const SampleRow& a, const SampleRow& b);
    friend bool operator==(const SampleRow& a, const std::vector<double>& b) { return a == SampleRow(b); }

private:
    std::span<const double> values;
};

//! Positions, velocities or accelerations of a trajectory's samples, stored sample after
//! sample in one block: `row(k)[j]` is joint j of sample k. Indexed like a vector of rows.
class SampleColumn {
public:
    using value_type = SampleRow;

    //! Walks the rows in order.
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = SampleRow;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = SampleRow;

        const_iterator() = default;
        const_iterator(const SampleColumn* column, std::size_t index) : column(column), index(index) {}
        SampleRow operator*() const { return (*column)[index]; }
        SampleRow operator[](difference_type n) const { return (*column)[index + static_cast<std::size_t>(n)]; }
        const_iterator& operator++() { return ++index, *this; }
        const_iterator operator++(int) { return {column, index++}; }
        const_iterator& operator--() { return --index, *this; }
        const_iterator operator--(int) { return {column, index--}; }
        const_iterator& operator+=(difference_type n) { return index += static_cast<std::size_t>(n), *this; }
        const_iterator& operator-=(difference_type n) { return index -= static_cast<std::size_t>(n), *this; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) {
            return static_cast<difference_type>(a.index) - static_cast<difference_type>(b.index);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.index == b.index; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.index <=> b.index; }

    private:
        const SampleColumn* column {nullptr};
        std::size_t index {0};
    };
    using iterator = const_iterator;

    //! No samples.
    SampleColumn() = default;
    //! `count` samples of `joints` values each, taken from `values` sample after sample;
    //! throws VelmorError (module "trajectory") when `values` does not hold count·joints values.
    SampleColumn(std::size_t count, std::size_t joints, std::vector<double> values);
    //! From rows that must all have `joints` values; throws VelmorError (module "trajectory")
    //! naming the first row that has not, with `what` naming the values.
    SampleColumn(const std::vector<std::vector<double>>& rows, std::size_t joints, const char* what);

    //! Number of samples.
    [[nodiscard]] std::size_t size() const { return count; }
    [[nodiscard]] bool empty() const { return count == 0; }
    //! Values per sample.
    [[nodiscard]] std::size_t joints() const { return width; }
    //! Sample `k` (unchecked).
    [[nodiscard]] SampleRow operator[](std::size_t k) const {
        return SampleRow(std::span<const double>(values.data() + k * width, width));
    }
    [[nodiscard]] SampleRow front() const { return (*this)[0]; }
    [[nodiscard]] SampleRow back() const { return (*this)[count - 1]; }
    [[nodiscard]] const_iterator begin() const { return {this, 0}; }
    [[nodiscard]] const_iterator end() const { return {this, count}; }
    //! Every value, sample after sample.
    [[nodiscard]] const std::vector<double>& flat() const { return values; }

    //! A copy as one vector per sample.
    [[nodiscard]] std::vector<std::vector<double>> rows() const;
    // Implicit, so that code written for rows held as vectors keeps working.
    operator std::vector<std::vector<double>>() const { return rows(); }

    //! The samples from `start` to `end` (exclusive), which must lie within the column.
    [[nodiscard]] SampleColumn slice(std::size_t start, std::size_t end) const;
    //! Appends the samples of `other` from `start` on; `other` must have as many joints.
    void append(const SampleColumn& other, std::size_t start);

    friend bool operator==(const SampleColumn& a, const SampleColumn& b);
    friend bool operator==(const SampleColumn& a, const std::vector<std::vector<double>>& b);

private:
    std::size_t count {0};
    std::size_t width {0};
    std::vector<double> values;
};

}  // namespace velmor
