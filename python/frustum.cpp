// Frustum: the constructor with its distance checks, contains(), the properties and the repr
// (which leaves the angles out).
#include "frustum.hpp"

#include <array>
#include <optional>
#include <string>

#include <fmt/format.h>

#include "args.hpp"
#include "errors.hpp"
#include "geometry/float_text.hpp"
#include "value_object.hpp"

namespace quarrix_python {
namespace {

using quarrix_core::geometry::float_text;
using quarrix_core::geometry::frustum::Frustum;

PyTypeObject* g_type = nullptr;  // kept for the life of the process

const Frustum& frustum_of(PyObject* self) { return reinterpret_cast<PyFrustum*>(self)->value; }

constexpr std::array<Parameter, 9> kNewParameters{{
    {"origin_x", true},
    {"origin_y", true},
    {"origin_z", true},
    {"phi1", true},
    {"theta1", true},
    {"phi2", true},
    {"theta2", true},
    {"min_distance", true},
    {"max_distance", true},
}};

PyObject* frustum_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 9> bound{};
    if (!bind_tuple_call("Frustum.__new__", kNewParameters, args, kwargs, bound)) return nullptr;
    std::optional<std::array<double, 9>> values = to_doubles(kNewParameters, bound);
    if (!values) return nullptr;
    const auto& v = *values;
    const double min_distance = v[7];
    const double max_distance = v[8];
    // Rejections, so NaN distances pass here and are refused by the core below.
    if (min_distance < 0.0) {
      PyErr_SetString(PyExc_ValueError, "min_distance must be non-negative");
      return nullptr;
    }
    if (min_distance > max_distance) {
      PyErr_SetString(PyExc_ValueError, "max_distance must be >= min_distance");
      return nullptr;
    }
    tl::expected<Frustum, std::string> frustum =
        Frustum::make(v[0], v[1], v[2], v[3], v[4], v[5], v[6], min_distance, max_distance);
    if (!frustum) {
      PyRef message = PyRef::steal(new_unicode(frustum.error()));
      if (message) PyErr_SetObject(PyExc_ValueError, message.get());
      return nullptr;
    }
    return new_value_object<PyFrustum>(type, *frustum);
  });
}

constexpr std::array<Parameter, 3> kContainsParameters{{
    {"x", true},
    {"y", true},
    {"z", true},
}};

PyObject* frustum_contains(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_vector_call("Frustum.contains", kContainsParameters, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    std::optional<std::array<double, 3>> point = to_doubles(kContainsParameters, bound);
    if (!point) return nullptr;
    const auto& p = *point;
    return PyBool_FromLong(frustum_of(self).contains_xyz(p[0], p[1], p[2]));
  });
}

PyObject* frustum_repr(PyObject* self) {
  return guarded([&]() -> PyObject* {
    const Frustum& frustum = frustum_of(self);
    return new_unicode(fmt::format("Frustum(origin=({}, {}, {}), min_distance={}, max_distance={})",
                                   float_text(frustum.origin_x()), float_text(frustum.origin_y()),
                                   float_text(frustum.origin_z()),
                                   float_text(frustum.min_distance()),
                                   float_text(frustum.max_distance())));
  });
}

PyObject* get_origin_x(PyObject* self, void*) {
  return PyFloat_FromDouble(frustum_of(self).origin_x());
}
PyObject* get_origin_y(PyObject* self, void*) {
  return PyFloat_FromDouble(frustum_of(self).origin_y());
}
PyObject* get_origin_z(PyObject* self, void*) {
  return PyFloat_FromDouble(frustum_of(self).origin_z());
}
PyObject* get_min_distance(PyObject* self, void*) {
  return PyFloat_FromDouble(frustum_of(self).min_distance());
}
PyObject* get_max_distance(PyObject* self, void*) {
  return PyFloat_FromDouble(frustum_of(self).max_distance());
}

PyMethodDef kMethods[] = {
    {"contains", as_method(frustum_contains), METH_FASTCALL | METH_KEYWORDS,
     "contains($self, x, y, z)\n--\n\n"
     "Check if a 3D point is inside the frustum.\n"
     "\n"
     "Args:\n"
     "    x: X coordinate\n"
     "    y: Y coordinate\n"
     "    z: Z coordinate\n"
     "\n"
     "Returns:\n"
     "    bool: True if the point is inside the frustum"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kGetSet[] = {
    {"origin_x", get_origin_x, nullptr, nullptr, nullptr},
    {"origin_y", get_origin_y, nullptr, nullptr, nullptr},
    {"origin_z", get_origin_z, nullptr, nullptr, nullptr},
    {"min_distance", get_min_distance, nullptr, nullptr, nullptr},
    {"max_distance", get_max_distance, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "Frustum(origin_x, origin_y, origin_z, phi1, theta1, phi2, theta2, min_distance, "
         "max_distance)\n--\n\n"
         "Python wrapper for a frustum (truncated pyramid) geometry.\n"
         "\n"
         "A frustum is defined by an origin point, angular bounds (two corner angles),\n"
         "and distance bounds (near and far planes).\n"
         "\n"
         "Uses geographic coordinates:\n"
         "- phi (azimuth): measured clockwise from north (0-360 degrees)\n"
         "- theta (elevation): measured above/below horizontal (-90 to +90 degrees)")},
    {Py_tp_new, reinterpret_cast<void*>(frustum_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value_object)},
    {Py_tp_repr, reinterpret_cast<void*>(frustum_repr)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetSet},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "builtins.Frustum", static_cast<int>(sizeof(PyFrustum)), 0, Py_TPFLAGS_DEFAULT, kSlots,
};

}  // namespace

PyObject* create_frustum_type() { return create_type_once(kSpec, g_type); }

PyTypeObject* frustum_type() noexcept { return g_type; }

}  // namespace quarrix_python
