// A recording as MCAP: the scene, one joint-state and one tool-pose message per
// control cycle, and one message per command, event and I/O change, each on its own channel
// (see schemas.hpp). Log times are simulated times, publish times wall-clock
// times since the recording began, both in nanoseconds; each message also holds
// both as seconds, written so that they read back bit for bit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <velmor/drivers/recording/mcap_compression.hpp>
#include <velmor/drivers/recording/recording.hpp>

#include "drivers/recording/cycle_chunk.hpp"
#include "drivers/recording/mcap/chunked_writer.hpp"
#include "drivers/recording/mcap/tool_pose_channel.hpp"

namespace velmor::drivers::mcap {

//! Whether `path` names an MCAP file (suffix ".mcap", in any case).
bool is_mcap_path(const std::filesystem::path& path);

class RecordingWriter {
public:
    //! Begins the file with the channels and the scene of `header`; the tool poses
    //! are those of `arms` (see Recording::arms).
    RecordingWriter(const RecordingHeader& header, std::vector<std::shared_ptr<const RobotArm>> arms,
                    McapCompression compression);

    void add(const CycleChunk& chunk);
    void add(const CommandRecord& record);
    void add(const EventRecord& record);
    void add(const IoRecord& record);
    void add(const MarkRecord& record);
    void add(const WaitRecord& record);
    //! Ends the file with its summary and footer.
    void finish() { writer.finish(); }
    //! The bytes made since the last call (see ChunkedWriter::take_output).
    void take_output(std::string& out) { writer.take_output(out); }

private:
    ChunkedWriter writer;
    std::uint16_t scene {0};
    std::uint16_t joint_states {0};
    ToolPoseChannel tool_poses;
    std::uint16_t commands {0};
    std::uint16_t events {0};
    std::uint16_t io {0};
    std::uint16_t marks {0};
    std::uint16_t waits {0};
    // The "name" member of every joint-state message, made once.
    std::string names;
    std::string message;
};

//! Writes a stopped recording kept in memory to `path` as MCAP.
void save(const Recording& recording, const std::filesystem::path& path, McapCompression compression);

}  // namespace velmor::drivers::mcap
