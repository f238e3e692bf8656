// The readers live on the stack of the evaluating thread, linked from the innermost:
// installing one allocates nothing, as a control cycle must not.
#include <velmor/drivers/signal_reader.hpp>

#include <velmor/velmor_error.hpp>

namespace velmor::drivers {

namespace {

// The default TLS model, as the control cycle's marks (see control_cycle.cpp).
thread_local const SignalReader* innermost {nullptr};

}  // namespace

SignalReader::SignalReader(const Function& read) : function(read), outer(innermost) {
    innermost = this;
}

SignalReader::~SignalReader() {
    innermost = outer;
}

std::optional<double> SignalReader::read(const std::string& name) {
    if (innermost == nullptr) {
        throw VelmorError("driver", "The I/O signal '" + name +
                                        "' can be read only by a driver's own triggers: its events and waits.");
    }
    return innermost->function(name);
}

}  // namespace velmor::drivers
