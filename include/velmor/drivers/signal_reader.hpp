#pragma once

#include <functional>
#include <optional>
#include <string>

namespace velmor::drivers {

//! Where the triggers evaluated on this thread read I/O signals: a driver installs
//! one around each evaluation (its control cycles, its waits), so that a trigger
//! stays independent of the driver it is handed to. Readers nest; the innermost wins.
class SignalReader {
public:
    //! The value of a signal; empty when there is no signal of that name.
    using Function = std::function<std::optional<double>(const std::string&)>;

    //! Makes `read`, which must outlive this object, the thread's reader until this goes.
    explicit SignalReader(const Function& read);
    ~SignalReader();
    SignalReader(const SignalReader&) = delete;
    SignalReader& operator=(const SignalReader&) = delete;

    //! The signal's value through the thread's reader; empty for an unknown signal.
    //! Throws VelmorError (module "driver") when no reader is installed: the trigger is
    //! evaluated by something that has no signals.
    static std::optional<double> read(const std::string& name);

private:
    const Function& function;
    const SignalReader* outer;
};

}  // namespace velmor::drivers
