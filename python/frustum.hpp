// The Python class Frustum: what is seen from an origin within two corner azimuths, two corner
// elevations and a distance range, holding one core Frustum.
#pragma once

#include <Python.h>

#include "geometry/frustum.hpp"

namespace quarrix_python {

struct PyFrustum {
  PyObject_HEAD quarrix_core::geometry::frustum::Frustum value;
};

// Creates the type object (once per process) and returns a new reference, or null with the
// Python error set.
[[nodiscard]] PyObject* create_frustum_type();

// The type object (borrowed), or null before module initialisation.
[[nodiscard]] PyTypeObject* frustum_type() noexcept;

}  // namespace quarrix_python
