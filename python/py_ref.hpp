// An owner of one strong reference to a Python object, so that every path out of a function
// releases what it holds. Use only while holding the interpreter lock.
#pragma once

#include <Python.h>

#include <utility>

namespace quarrix_python {

// Rules of use: steal() takes over a new reference (as returned by most CPython calls); borrow()
// adds a reference of its own to a borrowed one; release() hands the reference back to the caller,
// who then owns it. A null handle is allowed everywhere and means "nothing held".
class PyRef {
 public:
  PyRef() noexcept = default;
  [[nodiscard]] static PyRef steal(PyObject* object) noexcept { return PyRef(object); }
  [[nodiscard]] static PyRef borrow(PyObject* object) noexcept {
    Py_XINCREF(object);
    return PyRef(object);
  }

  PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) {
      PyObject* old = std::exchange(object_, std::exchange(other.object_, nullptr));
      Py_XDECREF(old);
    }
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(object_); }

  [[nodiscard]] PyObject* get() const noexcept { return object_; }
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(object_, nullptr); }
  explicit operator bool() const noexcept { return object_ != nullptr; }

 private:
  explicit PyRef(PyObject* object) noexcept : object_(object) {}

  PyObject* object_ = nullptr;
};

}  // namespace quarrix_python
