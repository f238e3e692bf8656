#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <velmor/drivers/devices/device.hpp>
#include <velmor/drivers/simulated/io_observer.hpp>
#include <velmor/drivers/simulated/shared_signal_table.hpp>
#include <velmor/drivers/simulated/signal.hpp>
#include <velmor/drivers/simulated/signal_viewer.hpp>

namespace velmor::drivers::devices {
class CellDevices;
}

namespace velmor::drivers::simulated {

//! The simulated robot controller's I/O: a table of named digital and analog
//! signals, optionally shown and changed in the I/O signal viewer, and the cell's
//! devices that answer the program through them. On its own the controller keeps the
//! devices on a clock that the program advances; a driver puts them on its own clock.
class Controller {
public:
    //! Starts the viewer on `io_viewer_port` (0: any free port) when `serve_io_viewer`;
    //! with `keep_io_viewer_running` destruction waits for the viewer without closing it.
    Controller(bool serve_io_viewer, bool keep_io_viewer_running,
               std::uint16_t io_viewer_port = SignalViewer::default_port);
    //! Closes the viewer (unless kept running) and waits until its open pages have gone.
    ~Controller();

    // The viewer refers to the table, so it may not move.
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    //! Creates the signal, or overwrites the stored one of that name whole (value,
    //! direction, no description); without a direction it takes any writer.
    void create_io(const std::string& name, std::variant<std::int32_t, float> value,
                   std::optional<Direction> direction = std::nullopt);
    //! Creates or overwrites each signal of the list in order, descriptions included.
    void load_io_config(const std::vector<Signal>& config);
    //! Creates a digital signal for every integer member of a JSON file; throws
    //! VelmorError when the file cannot be opened (a directory cannot) and the JSON
    //! parse error when it is not valid JSON (a NUL byte anywhere makes it invalid),
    //! leaving the table unchanged in both cases. Error messages are UTF-8 text:
    //! bytes of the path or the file that are not are written as \xNN.
    void load_io_config_from_file(const std::filesystem::path& file);
    //! The value of a digital signal; empty for an unknown or analog signal or while unreachable.
    //! With strict_io an unknown or analog signal throws VelmorError naming it instead.
    std::optional<std::int32_t> get_digital_input(const std::string& name);
    //! Stores the value in a digital signal and announces it to the viewer;
    //! false for an unknown or analog signal or while unreachable, and false with a
    //! warning for an input, which the program may not write. With strict_io an
    //! unknown or analog signal throws VelmorError naming it instead.
    bool set_digital_output(const std::string& name, std::int32_t value);

    //! A copy of the stored signal of that name, if any.
    std::optional<Signal> find_signal(const std::string& name) const;
    //! The value of the signal of that name as a number, digital or analog; empty when there is none.
    std::optional<double> value_of(const std::string& name);
    //! Tells `observer` of every later change of a signal's value, from the client,
    //! the viewer page, a toggle thread, a configuration file or a device.
    void set_io_observer(IoObserver observer);

    //! Adds a device after the others; it acts from now on. Throws VelmorError (module
    //! "devices") for a name taken and when the device refuses the cell.
    void add_device(std::shared_ptr<devices::Device> device);
    //! Removes the device of that name; whether there was one.
    bool remove_device(const std::string& name);
    //! The devices, in the order they act.
    [[nodiscard]] std::vector<std::shared_ptr<devices::Device>> devices() const;
    //! The time [s] of the clock the devices act on.
    [[nodiscard]] double clock() const;
    //! Advances the controller's own clock by `seconds`, each device acting at the times
    //! it names. Throws VelmorError (module "devices") for a length that is negative or not
    //! finite and on a driver's controller, and rethrows the error of a device that failed
    //! meanwhile (that device is gone).
    void advance(double seconds);
    //! The devices and their timing, for the driver that owns this controller.
    [[nodiscard]] devices::CellDevices& cell_devices() { return *cell; }
    //! The viewer, or null when none is served.
    const std::shared_ptr<SignalViewer>& get_viewer() const { return viewer; }
    //! Whether destruction leaves the viewer open and waits for it without end.
    bool keeps_io_viewer_running() const { return keep_io_viewer_running; }

    //! While false, the digital accessors behave as if the controller were unreachable.
    bool connect_result {true};
    //! When true, the program's reads and writes of an unknown signal or one of the
    //! other kind (digital or analog) throw instead of answering empty or false.
    std::atomic<bool> strict_io {false};

private:
    void write_as_device(const std::string& device, const std::string& name, SignalValue value);

    // Declared before the viewer: the viewer's threads use it.
    SharedSignalTable signals;
    std::shared_ptr<SignalViewer> viewer;
    // Declared after the table and the viewer, which its devices write to.
    std::unique_ptr<devices::CellDevices> cell;
    bool keep_io_viewer_running;
};

}  // namespace velmor::drivers::simulated
