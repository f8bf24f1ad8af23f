// The Python class BoundingBox: an axis-aligned extraction box, 2D or bounded in z, holding one
// core BoundingBox.
#pragma once

#include <Python.h>

#include "geometry/bounding_box.hpp"

namespace quarrix_python {

struct PyBoundingBox {
  PyObject_HEAD quarrix_core::geometry::BoundingBox value;
};

// Creates the type object (once per process) and returns a new reference, or null with the
// Python error set.
[[nodiscard]] PyObject* create_bounding_box_type();

// The type object (borrowed), or null before module initialisation.
[[nodiscard]] PyTypeObject* bounding_box_type() noexcept;

}  // namespace quarrix_python
