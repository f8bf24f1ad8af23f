// Failure mapping for the module: every Python exception the module raises for a core error or an
// internal fault is made here.
#include "errors.hpp"

#include <new>

namespace quarrix_python {
namespace {

// Created once and kept for the life of the process, like the module itself.
PyObject* g_internal_failure = nullptr;

}  // namespace

bool create_internal_failure_type() {
  if (g_internal_failure != nullptr) return true;
  g_internal_failure = PyErr_NewExceptionWithDoc(
      "quarrix.InternalError",
      "Raised when quarrix meets a broken internal invariant; this is a bug in quarrix, not a "
      "problem with the input.",
      PyExc_BaseException, nullptr);
  return g_internal_failure != nullptr;
}

PyObject* internal_failure_type() noexcept { return g_internal_failure; }

void raise_internal_failure(const char* message) noexcept {
  PyErr_SetString(g_internal_failure != nullptr ? g_internal_failure : PyExc_SystemError, message);
}

void raise_extraction_failure(const quarrix_core::error::TileIndexError& error) {
  const std::string text = "Extraction failed: " + error.message();
  PyRef message = PyRef::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) return;
  PyErr_SetObject(PyExc_ValueError, message.get());
}

void raise_from_current_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& fault) {
    raise_internal_failure(fault.what());
  } catch (...) {
    raise_internal_failure("unknown internal failure");
  }
}

PyRef take_exception() noexcept {
#if PY_VERSION_HEX >= 0x030C0000
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return PyRef();
  PyErr_NormalizeException(&type, &value, &traceback);
  if (traceback != nullptr && value != nullptr) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return PyRef::steal(value);
#endif
}

void restore_exception(PyRef exception) noexcept {
  if (!exception) return;
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(exception.release());
#else
  PyObject* value = exception.release();
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  Py_INCREF(type);
  PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

}  // namespace quarrix_python
