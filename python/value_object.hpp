// Helpers for the Python classes that each hold one immutable core value inside the object.
#pragma once

#include <Python.h>

#include <new>
#include <string>
#include <type_traits>

namespace quarrix_python {

// A new instance of `type` (a heap type whose instances are `Object`, with a member `value`)
// holding a copy of `value`; null with the Python error set when allocation fails.
template <class Object, class Value>
[[nodiscard]] PyObject* new_value_object(PyTypeObject* type, const Value& value) {
  static_assert(std::is_trivially_destructible_v<Value>,
                "the deallocator frees the memory without running a destructor");
  PyObject* object = type->tp_alloc(type, 0);
  if (object == nullptr) return nullptr;
  ::new (static_cast<void*>(&reinterpret_cast<Object*>(object)->value)) Value(value);
  return object;
}

// tp_dealloc of those classes: instances of heap types hold a reference to their type.
inline void dealloc_value_object(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// Creates a heap type from `type_spec` once per process, keeping a reference in `slot`, and returns
// a new reference to it (null with the Python error set on failure).
[[nodiscard]] inline PyObject* create_type_once(PyType_Spec& type_spec, PyTypeObject*& slot) {
  if (slot == nullptr) {
    slot = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&type_spec));
    if (slot == nullptr) return nullptr;
  }
  Py_INCREF(slot);
  return reinterpret_cast<PyObject*>(slot);
}

[[nodiscard]] inline PyObject* new_unicode(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Method-table entries store every C signature as PyCFunction; going through a function pointer
// of no arguments keeps -Wcast-function-type quiet, as CPython's own modules do.
template <class Function>
[[nodiscard]] PyCFunction as_method(Function function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

}  // namespace quarrix_python
