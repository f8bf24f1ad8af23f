// Cylinder: the constructor and from_diameter with their checks, contains(), the properties and
// the repr.
#include "cylinder.hpp"

#include <array>
#include <optional>

#include <fmt/format.h>

#include "args.hpp"
#include "errors.hpp"
#include "geometry/float_text.hpp"
#include "value_object.hpp"

namespace quarrix_python {
namespace {

using quarrix_core::geometry::float_text;
using quarrix_core::geometry::cylinder::VerticalCylinder;

PyTypeObject* g_type = nullptr;  // kept for the life of the process

const VerticalCylinder& cylinder_of(PyObject* self) {
  return reinterpret_cast<PyCylinder*>(self)->value;
}

constexpr std::array<Parameter, 3> kNewParameters{{
    {"center_x", true},
    {"center_y", true},
    {"radius", true},
}};

PyObject* cylinder_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_tuple_call("Cylinder.__new__", kNewParameters, args, kwargs, bound)) return nullptr;
    std::optional<std::array<double, 3>> values = to_doubles(kNewParameters, bound);
    if (!values) return nullptr;
    const auto& v = *values;
    // A rejection of values <= 0, so a NaN radius passes.
    if (v[2] <= 0.0) {
      PyErr_SetString(PyExc_ValueError, "radius must be positive");
      return nullptr;
    }
    return new_value_object<PyCylinder>(type, VerticalCylinder{v[0], v[1], v[2]});
  });
}

constexpr std::array<Parameter, 3> kFromDiameterParameters{{
    {"center_x", true},
    {"center_y", true},
    {"diameter", true},
}};

PyObject* cylinder_from_diameter(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_vector_call("Cylinder.from_diameter", kFromDiameterParameters, args, nargs, kwnames,
                          bound)) {
      return nullptr;
    }
    std::optional<std::array<double, 3>> values = to_doubles(kFromDiameterParameters, bound);
    if (!values) return nullptr;
    const auto& v = *values;
    if (v[2] <= 0.0) {
      PyErr_SetString(PyExc_ValueError, "diameter must be positive");
      return nullptr;
    }
    return new_value_object<PyCylinder>(g_type, VerticalCylinder{v[0], v[1], v[2] * 0.5});
  });
}

constexpr std::array<Parameter, 3> kContainsParameters{{
    {"x", true},
    {"y", true},
    {"z", false},
}};

PyObject* cylinder_contains(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_vector_call("Cylinder.contains", kContainsParameters, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    const std::optional<double> x = to_double("x", bound[0]);
    if (!x) return nullptr;
    const std::optional<double> y = to_double("y", bound[1]);
    if (!y) return nullptr;
    // z plays no part in the answer but must still be a float when given.
    double z = 0.0;
    if (bound[2] != nullptr) {
      const std::optional<double> given = to_double("z", bound[2]);
      if (!given) return nullptr;
      z = *given;
    }
    return PyBool_FromLong(cylinder_of(self).contains_xyz(*x, *y, z));
  });
}

PyObject* cylinder_repr(PyObject* self) {
  return guarded([&]() -> PyObject* {
    const VerticalCylinder& cylinder = cylinder_of(self);
    return new_unicode(fmt::format("Cylinder(center_x={}, center_y={}, radius={})",
                                   float_text(cylinder.center_x), float_text(cylinder.center_y),
                                   float_text(cylinder.radius)));
  });
}

PyObject* get_center_x(PyObject* self, void*) {
  return PyFloat_FromDouble(cylinder_of(self).center_x);
}
PyObject* get_center_y(PyObject* self, void*) {
  return PyFloat_FromDouble(cylinder_of(self).center_y);
}
PyObject* get_radius(PyObject* self, void*) { return PyFloat_FromDouble(cylinder_of(self).radius); }
PyObject* get_diameter(PyObject* self, void*) {
  const double radius = cylinder_of(self).radius;
  return PyFloat_FromDouble(radius + radius);
}

PyMethodDef kMethods[] = {
    {"from_diameter", as_method(cylinder_from_diameter),
     METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "from_diameter(center_x, center_y, diameter)\n--\n\n"
     "Create a new vertical cylinder from center coordinates and diameter.\n"
     "\n"
     "Args:\n"
     "    center_x: X coordinate of the cylinder center\n"
     "    center_y: Y coordinate of the cylinder center\n"
     "    diameter: Diameter of the cylinder\n"
     "\n"
     "Returns:\n"
     "    Cylinder: A new vertical cylinder geometry"},
    {"contains", as_method(cylinder_contains), METH_FASTCALL | METH_KEYWORDS,
     "contains($self, x, y, z=0.0)\n--\n\n"
     "Check if a point is inside the cylinder.\n"
     "\n"
     "Args:\n"
     "    x: X coordinate\n"
     "    y: Y coordinate\n"
     "    z: Z coordinate (ignored for vertical cylinders)\n"
     "\n"
     "Returns:\n"
     "    bool: True if the point is inside the cylinder"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kGetSet[] = {
    {"center_x", get_center_x, nullptr, nullptr, nullptr},
    {"center_y", get_center_y, nullptr, nullptr, nullptr},
    {"radius", get_radius, nullptr, nullptr, nullptr},
    {"diameter", get_diameter, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("Cylinder(center_x, center_y, radius)\n--\n\n"
                                  "Python wrapper for a vertical cylinder geometry.")},
    {Py_tp_new, reinterpret_cast<void*>(cylinder_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value_object)},
    {Py_tp_repr, reinterpret_cast<void*>(cylinder_repr)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetSet},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "builtins.Cylinder", static_cast<int>(sizeof(PyCylinder)), 0, Py_TPFLAGS_DEFAULT, kSlots,
};

}  // namespace

PyObject* create_cylinder_type() { return create_type_once(kSpec, g_type); }

PyTypeObject* cylinder_type() noexcept { return g_type; }

}  // namespace quarrix_python
