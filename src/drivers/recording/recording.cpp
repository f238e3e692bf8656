#include <velmor/drivers/recording/recording.hpp>

#include <algorithm>

#include "drivers/recording/recorder.hpp"

namespace velmor::drivers {

namespace {

template <typename T>
void copy_rows(const std::vector<std::unique_ptr<CycleChunk>>& chunks, std::vector<T> CycleChunk::*column,
               std::size_t width, T* out) {
    for (const auto& chunk : chunks) {
        const auto& values = (*chunk).*column;
        out = std::copy_n(values.begin(), chunk->count * width, out);
    }
}

}  // namespace

Recording::~Recording() = default;

std::size_t Recording::cycle_count() const {
    std::size_t count = 0;
    for (const auto& chunk : chunks) {
        count += chunk->count;
    }
    return count;
}

void Recording::copy_column(CycleColumn column, double* out) const {
    auto member = &CycleChunk::time;
    if (column == CycleColumn::WallTime) {
        member = &CycleChunk::wall_time;
    } else if (column == CycleColumn::Scale) {
        member = &CycleChunk::scale;
    }
    copy_rows(chunks, member, 1, out);
}

void Recording::copy_commands(std::int64_t* out) const {
    copy_rows(chunks, &CycleChunk::command, 1, out);
}

void Recording::copy_joints(JointColumn column, double* out) const {
    auto member = &CycleChunk::position;
    if (column == JointColumn::Velocity) {
        member = &CycleChunk::velocity;
    } else if (column == JointColumn::Acceleration) {
        member = &CycleChunk::acceleration;
    }
    copy_rows(chunks, member, header.degrees_of_freedom, out);
}

void Recording::stop() {
    if (!link) {
        return;
    }
    // Held while the recorder stops, so that the recorder cannot go away meanwhile.
    const std::lock_guard lock(link->mutex);
    if (link->recorder != nullptr && running) {
        link->recorder->stop(*this);
    }
}

void Recording::read_back() {
    if (!is_on_file_only()) {
        return;
    }
    const auto loaded = load(*stream_path);
    header = loaded->header;
    chunks = std::move(loaded->chunks);
    commands = std::move(loaded->commands);
    events = std::move(loaded->events);
    io = std::move(loaded->io);
    marks = std::move(loaded->marks);
    waits = std::move(loaded->waits);
    read_back_done = true;
}

}  // namespace velmor::drivers
