// The Python class Cylinder: a vertical cylinder of unlimited height, holding one core
// VerticalCylinder.
#pragma once

#include <Python.h>

#include "geometry/cylinder.hpp"

namespace quarrix_python {

struct PyCylinder {
  PyObject_HEAD quarrix_core::geometry::cylinder::VerticalCylinder value;
};

// Creates the type object (once per process) and returns a new reference, or null with the
// Python error set.
[[nodiscard]] PyObject* create_cylinder_type();

// The type object (borrowed), or null before module initialisation.
[[nodiscard]] PyTypeObject* cylinder_type() noexcept;

}  // namespace quarrix_python
