// Shared by the Python modules of the driver and of the motion library.
#pragma once

#include <exception>
#include <new>
#include <stdexcept>

#include <pybind11/pybind11.h>

#include <velmor/common/utf8_text.hpp>

namespace velmor::python {

//! The Python exception type that pybind11 gives a standard exception.
inline PyObject* python_type_of(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return PyExc_MemoryError;
    }
    if (dynamic_cast<const std::out_of_range*>(&error) != nullptr) {
        return PyExc_IndexError;
    }
    if (dynamic_cast<const std::overflow_error*>(&error) != nullptr) {
        return PyExc_OverflowError;
    }
    if (dynamic_cast<const std::domain_error*>(&error) != nullptr ||
        dynamic_cast<const std::invalid_argument*>(&error) != nullptr ||
        dynamic_cast<const std::length_error*>(&error) != nullptr ||
        dynamic_cast<const std::range_error*>(&error) != nullptr) {
        return PyExc_ValueError;
    }
    return PyExc_RuntimeError;
}

//! Makes C++ exceptions whose message is not UTF-8 (a path or name of raw bytes,
//! such as VelmorError quotes) reach Python with those bytes written as \xNN:
//! Python decodes messages as UTF-8 and would otherwise raise the exception with
//! an empty message. Other exceptions go on to the translators registered before.
//! Each module registers it, since either may be imported alone; registering it
//! before a module's own translators lets those go first.
inline void register_velmor_error_translator() {
    pybind11::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) {
                std::rethrow_exception(error);
            }
        } catch (const pybind11::builtin_exception&) {
            throw;
        } catch (const std::exception& failure) {
            if (is_utf8(failure.what())) {
                throw;
            }
            PyErr_SetString(python_type_of(failure), as_utf8(failure.what()).c_str());
        }
    });
}

}  // namespace velmor::python
