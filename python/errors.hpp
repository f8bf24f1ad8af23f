// How failures become Python exceptions: the core's errors, internal faults, and C++ exceptions
// caught at the boundary, so that nothing but a Python exception ever reaches the interpreter.
#pragma once

#include <Python.h>

#include <exception>
#include <string>

#include "error/error.hpp"
#include "py_ref.hpp"

namespace quarrix_python {

// Makes the internal-failure exception type (a subclass of BaseException, not of Exception, so a
// broad `except Exception` does not hide a broken invariant). Called once at module
// initialisation; returns false with the Python error set.
[[nodiscard]] bool create_internal_failure_type();

// The internal-failure type (borrowed), or null before module initialisation.
[[nodiscard]] PyObject* internal_failure_type() noexcept;

// Raises the internal-failure exception with `message`.
void raise_internal_failure(const char* message) noexcept;

// Raises ValueError "Extraction failed: <the error's message>".
void raise_extraction_failure(const quarrix_core::error::TileIndexError& error);

// Turns the C++ exception being handled into a Python exception: MemoryError for
// std::bad_alloc, the internal-failure exception for anything else. Call only inside a catch.
void raise_from_current_exception() noexcept;

// Runs one CPython entry point's body so that no C++ exception leaves it. `body` returns a new
// reference, or null with a Python error set.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    raise_from_current_exception();
    return nullptr;
  }
}

// Takes the pending exception out of the interpreter (normalised, traceback attached), or an
// empty handle when none is pending; restore_exception puts one back.
[[nodiscard]] PyRef take_exception() noexcept;
void restore_exception(PyRef exception) noexcept;

}  // namespace quarrix_python
