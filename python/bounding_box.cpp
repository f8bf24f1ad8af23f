// BoundingBox: the constructors with their checks, contains(), the properties and the repr.
#include "bounding_box.hpp"

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

using quarrix_core::geometry::BoundingBox;
using quarrix_core::geometry::float_text;

PyTypeObject* g_type = nullptr;  // kept for the life of the process

const BoundingBox& box_of(PyObject* self) { return reinterpret_cast<PyBoundingBox*>(self)->value; }

// An omitted or None vertical bound is absent; anything else must convert to a float.
bool convert_optional(const char* name, PyObject* value, std::optional<double>& out) {
  out.reset();
  if (value == nullptr || value == Py_None) return true;
  std::optional<double> converted = to_double(name, value);
  if (!converted) return false;
  out = *converted;
  return true;
}

// The one validating step of every constructor. The tests are rejections, so NaN bounds pass.
PyObject* make_box(PyTypeObject* type, const BoundingBox& box) {
  if (box.min_x >= box.max_x) {
    PyErr_SetString(PyExc_ValueError, "min_x must be less than max_x");
    return nullptr;
  }
  if (box.min_y >= box.max_y) {
    PyErr_SetString(PyExc_ValueError, "min_y must be less than max_y");
    return nullptr;
  }
  if (box.min_z && box.max_z && *box.min_z >= *box.max_z) {
    PyErr_SetString(PyExc_ValueError, "min_z must be less than max_z");
    return nullptr;
  }
  return new_value_object<PyBoundingBox>(type, box);
}

constexpr std::array<Parameter, 4> k2dParameters{{
    {"min_x", true},
    {"max_x", true},
    {"min_y", true},
    {"max_y", true},
}};

constexpr std::array<Parameter, 6> kNewParameters{{
    {"min_x", true},
    {"max_x", true},
    {"min_y", true},
    {"max_y", true},
    {"min_z", false},
    {"max_z", false},
}};

PyObject* box_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 6> bound{};
    if (!bind_tuple_call("BoundingBox.__new__", kNewParameters, args, kwargs, bound)) {
      return nullptr;
    }
    // The planar bounds convert as in new_2d, in order, before the vertical ones.
    std::optional<std::array<double, 4>> planar =
        to_doubles(k2dParameters, {bound[0], bound[1], bound[2], bound[3]});
    if (!planar) return nullptr;
    const auto& p = *planar;
    BoundingBox box{p[0], p[1], p[2], p[3], std::nullopt, std::nullopt};
    if (!convert_optional("min_z", bound[4], box.min_z)) return nullptr;
    if (!convert_optional("max_z", bound[5], box.max_z)) return nullptr;
    return make_box(type, box);
  });
}

PyObject* box_new_2d(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 4> bound{};
    if (!bind_vector_call("BoundingBox.new_2d", k2dParameters, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    std::optional<std::array<double, 4>> values = to_doubles(k2dParameters, bound);
    if (!values) return nullptr;
    const auto& v = *values;
    return make_box(g_type, BoundingBox{v[0], v[1], v[2], v[3], std::nullopt, std::nullopt});
  });
}

constexpr std::array<Parameter, 6> k3dParameters{{
    {"min_x", true},
    {"max_x", true},
    {"min_y", true},
    {"max_y", true},
    {"min_z", true},
    {"max_z", true},
}};

PyObject* box_new_3d(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 6> bound{};
    if (!bind_vector_call("BoundingBox.new_3d", k3dParameters, args, nargs, kwnames, bound)) {
      return nullptr;
    }
    // None is not a float here: new_3d always bounds z on both sides.
    std::optional<std::array<double, 6>> values = to_doubles(k3dParameters, bound);
    if (!values) return nullptr;
    const auto& v = *values;
    return make_box(g_type, BoundingBox{v[0], v[1], v[2], v[3], v[4], v[5]});
  });
}

constexpr std::array<Parameter, 3> kContainsParameters{{
    {"x", true},
    {"y", true},
    {"z", false},
}};

PyObject* box_contains(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 3> bound{};
    if (!bind_vector_call("BoundingBox.contains", kContainsParameters, args, nargs, kwnames,
                          bound)) {
      return nullptr;
    }
    const std::optional<double> x = to_double("x", bound[0]);
    if (!x) return nullptr;
    const std::optional<double> y = to_double("y", bound[1]);
    if (!y) return nullptr;
    const BoundingBox& box = box_of(self);
    if (bound[2] == nullptr || bound[2] == Py_None) {
      // Without z only the plan view counts, even on a box bounded in z.
      return PyBool_FromLong(box.min_x <= *x && *x <= box.max_x && box.min_y <= *y &&
                             *y <= box.max_y);
    }
    const std::optional<double> z = to_double("z", bound[2]);
    if (!z) return nullptr;
    return PyBool_FromLong(box.contains_xyz(*x, *y, *z));
  });
}

PyObject* box_repr(PyObject* self) {
  return guarded([&]() -> PyObject* {
    const BoundingBox& box = box_of(self);
    if (box.min_z && box.max_z) {
      return new_unicode(
          fmt::format("BoundingBox(min_x={}, max_x={}, min_y={}, max_y={}, min_z={}, max_z={})",
                      float_text(box.min_x), float_text(box.max_x), float_text(box.min_y),
                      float_text(box.max_y), float_text(*box.min_z), float_text(*box.max_z)));
    }
    return new_unicode(fmt::format("BoundingBox(min_x={}, max_x={}, min_y={}, max_y={})",
                                   float_text(box.min_x), float_text(box.max_x),
                                   float_text(box.min_y), float_text(box.max_y)));
  });
}

PyObject* optional_float(const std::optional<double>& value) {
  if (!value) Py_RETURN_NONE;
  return PyFloat_FromDouble(*value);
}

PyObject* get_min_x(PyObject* self, void*) { return PyFloat_FromDouble(box_of(self).min_x); }
PyObject* get_max_x(PyObject* self, void*) { return PyFloat_FromDouble(box_of(self).max_x); }
PyObject* get_min_y(PyObject* self, void*) { return PyFloat_FromDouble(box_of(self).min_y); }
PyObject* get_max_y(PyObject* self, void*) { return PyFloat_FromDouble(box_of(self).max_y); }
PyObject* get_min_z(PyObject* self, void*) { return optional_float(box_of(self).min_z); }
PyObject* get_max_z(PyObject* self, void*) { return optional_float(box_of(self).max_z); }

PyMethodDef kMethods[] = {
    {"new_2d", as_method(box_new_2d), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "new_2d(min_x, max_x, min_y, max_y)\n--\n\n"
     "Create a new 2D bounding box (convenience method).\n"
     "\n"
     "Args:\n"
     "    min_x: Minimum X coordinate\n"
     "    max_x: Maximum X coordinate\n"
     "    min_y: Minimum Y coordinate\n"
     "    max_y: Maximum Y coordinate\n"
     "\n"
     "Returns:\n"
     "    BoundingBox: A new 2D bounding box geometry"},
    {"new_3d", as_method(box_new_3d), METH_FASTCALL | METH_KEYWORDS | METH_STATIC,
     "new_3d(min_x, max_x, min_y, max_y, min_z, max_z)\n--\n\n"
     "Create a new 3D bounding box (convenience method).\n"
     "\n"
     "Args:\n"
     "    min_x: Minimum X coordinate\n"
     "    max_x: Maximum X coordinate\n"
     "    min_y: Minimum Y coordinate\n"
     "    max_y: Maximum Y coordinate\n"
     "    min_z: Minimum Z coordinate\n"
     "    max_z: Maximum Z coordinate\n"
     "\n"
     "Returns:\n"
     "    BoundingBox: A new 3D bounding box geometry"},
    {"contains", as_method(box_contains), METH_FASTCALL | METH_KEYWORDS,
     "contains($self, x, y, z=None)\n--\n\n"
     "Check if a point is inside the bounding box.\n"
     "\n"
     "Args:\n"
     "    x: X coordinate\n"
     "    y: Y coordinate\n"
     "    z: Optional Z coordinate (only checked for 3D boxes)\n"
     "\n"
     "Returns:\n"
     "    bool: True if the point is inside the bounding box"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kGetSet[] = {
    {"min_x", get_min_x, nullptr, nullptr, nullptr},
    {"max_x", get_max_x, nullptr, nullptr, nullptr},
    {"min_y", get_min_y, nullptr, nullptr, nullptr},
    {"max_y", get_max_y, nullptr, nullptr, nullptr},
    {"min_z", get_min_z, nullptr, nullptr, nullptr},
    {"max_z", get_max_z, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The "name(signature)\n--\n\n" prefix gives the class its __text_signature__; __doc__ shows the
// rest.
PyType_Slot kSlots[] = {
    {Py_tp_doc,
     const_cast<char*>("BoundingBox(min_x, max_x, min_y, max_y, min_z=None, max_z=None)\n--\n\n"
                       "Python wrapper for a 2D/3D bounding box geometry.")},
    {Py_tp_new, reinterpret_cast<void*>(box_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_value_object)},
    {Py_tp_repr, reinterpret_cast<void*>(box_repr)},
    {Py_tp_methods, kMethods},
    {Py_tp_getset, kGetSet},
    {0, nullptr},
};

PyType_Spec kSpec = {
    "builtins.BoundingBox", static_cast<int>(sizeof(PyBoundingBox)), 0, Py_TPFLAGS_DEFAULT, kSlots,
};

}  // namespace

PyObject* create_bounding_box_type() { return create_type_once(kSpec, g_type); }

PyTypeObject* bounding_box_type() noexcept { return g_type; }

}  // namespace quarrix_python
