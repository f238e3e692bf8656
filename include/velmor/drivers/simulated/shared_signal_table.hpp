#pragma once

#include <mutex>
#include <optional>
#include <string>

#include <velmor/drivers/simulated/io_observer.hpp>
#include <velmor/drivers/simulated/signal.hpp>

namespace velmor::drivers::simulated {

//! The simulated controller's signals with the lock that guards them and the observer
//! told of every change of a value; the controller and its viewer share one.
class SharedSignalTable {
public:
    //! The table with its lock held: what is read and changed through it is one step that
    //! other threads never see half done. Signals it hands out keep their address for the
    //! table's life (entries are never removed) but may be read only while a lock is held.
    class Locked {
    public:
        //! The signal of that name; null when there is none.
        [[nodiscard]] const Signal* find(const std::string& name) const;
        //! Stores `value` in the signal `name` and tells the observer when it differs from
        //! the stored value. Null, with nothing changed, when there is no such signal or
        //! `value` is of the other kind (digital or analog). `device` names the device that
        //! makes the change, if one does.
        const Signal* set(const std::string& name, const SignalValue& value, IoSource source,
                          const std::string& device = {});
        //! Creates `signal`, or overwrites the stored one of its name with it, kind and
        //! description included; tells the observer of a new signal and of a changed value.
        const Signal& store(const Signal& signal, IoSource source);
        //! Every signal, by name.
        [[nodiscard]] const SignalTable& signals() const { return table.signals; }

    private:
        friend class SharedSignalTable;
        explicit Locked(SharedSignalTable& table) : table(table), guard(table.mutex) {}

        SharedSignalTable& table;
        std::unique_lock<std::mutex> guard;
    };

    SharedSignalTable() = default;
    //! A table that holds `signals` to begin with.
    explicit SharedSignalTable(SignalTable signals) : signals(std::move(signals)) {}

    // Locked views and the viewer's threads refer to the table, so it may not move.
    SharedSignalTable(const SharedSignalTable&) = delete;
    SharedSignalTable& operator=(const SharedSignalTable&) = delete;

    //! Holds the lock until the returned view goes.
    [[nodiscard]] Locked lock() { return Locked(*this); }
    //! lock().set(name, value, source).
    const Signal* set(const std::string& name, const SignalValue& value, IoSource source);
    //! A copy of the signal of that name, if any.
    [[nodiscard]] std::optional<Signal> get(const std::string& name) const;
    //! Tells `observer` of every later change of a value: with the lock held, on the
    //! thread that makes the change.
    void set_observer(IoObserver observer);

private:
    mutable std::mutex mutex;
    //! Guarded by mutex.
    SignalTable signals;
    //! Guarded by mutex, like the values it is told about.
    IoObserver observer;
};

}  // namespace velmor::drivers::simulated
