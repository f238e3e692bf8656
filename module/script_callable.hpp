#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include <pybind11/pybind11.h>

// The module is built with default visibility (it shares the library's inline
// statics); types that hold pybind11 objects stay hidden like pybind11 itself.
#define VELMOR_PYTHON_HIDDEN __attribute__((visibility("hidden")))

namespace velmor::python {

//! A Python object that may be copied and dropped on any thread: copies share
//! one reference, and the last one releases it under the interpreter lock.
std::shared_ptr<pybind11::object> share_object(pybind11::object object);

//! A Python exception raised by a script callable on a thread of the driver.
//! It carries the exception object itself, so it can cross threads, be thrown
//! again any number of times and reach the script with its own type.
class VELMOR_PYTHON_HIDDEN ScriptError : public std::runtime_error {
public:
    //! Takes over the exception of `error` (the interpreter lock must be held).
    explicit ScriptError(pybind11::error_already_set& error);

    //! Raises the carried exception in the interpreter (the lock must be held).
    void restore() const;

private:
    std::shared_ptr<pybind11::object> exception;
};

//! Calls a script function with the time of an event [s], holding the interpreter
//! lock for the call only; a Python exception leaves it as ScriptError.
class VELMOR_PYTHON_HIDDEN ScriptCallable {
public:
    explicit ScriptCallable(pybind11::function function) : function(share_object(std::move(function))) {}

    void operator()(double time) const;

private:
    std::shared_ptr<pybind11::object> function;
};

//! Makes ScriptError reach scripts as the exception that the callable raised.
void register_script_error_translator();

}  // namespace velmor::python
