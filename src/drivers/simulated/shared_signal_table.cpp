#include <velmor/drivers/simulated/shared_signal_table.hpp>

namespace velmor::drivers::simulated {

const Signal* SharedSignalTable::Locked::find(const std::string& name) const {
    const auto found = table.signals.find(name);
    return found == table.signals.end() ? nullptr : &found->second;
}

const Signal* SharedSignalTable::Locked::set(const std::string& name, const SignalValue& value, IoSource source,
                                             const std::string& device) {
    const auto found = table.signals.find(name);
    if (found == table.signals.end() || found->second.value.index() != value.index()) {
        return nullptr;
    }
    Signal& signal = found->second;
    if (table.observer && signal.value != value) {
        table.observer(name, signal.value, value, source, device);
    }
    signal.value = value;
    return &signal;
}

const Signal& SharedSignalTable::Locked::store(const Signal& signal, IoSource source) {
    auto [stored, inserted] = table.signals.try_emplace(signal.name, signal);
    std::optional<SignalValue> old_value;
    if (!inserted) {
        old_value = stored->second.value;
        stored->second = signal;
    }
    if (table.observer && old_value != signal.value) {
        table.observer(signal.name, old_value, signal.value, source, {});
    }
    return stored->second;
}

const Signal* SharedSignalTable::set(const std::string& name, const SignalValue& value, IoSource source) {
    return lock().set(name, value, source);
}

std::optional<Signal> SharedSignalTable::get(const std::string& name) const {
    const std::lock_guard guard(mutex);
    const auto found = signals.find(name);
    return found == signals.end() ? std::nullopt : std::optional<Signal>(found->second);
}

void SharedSignalTable::set_observer(IoObserver observer) {
    const std::lock_guard guard(mutex);
    this->observer = std::move(observer);
}

}  // namespace velmor::drivers::simulated
