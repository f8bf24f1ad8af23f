// ExtractionStats: four read-only properties and the str/repr texts, with no constructor and no
// subclassing.
#include "extraction_stats.hpp"

#include <string>

#include <fmt/format.h>

#include "errors.hpp"

namespace quarrix_python {
namespace {

PyTypeObject* g_type = nullptr;  // kept for the life of the process

PyExtractionStats* as_stats(PyObject* self) { return reinterpret_cast<PyExtractionStats*>(self); }

PyObject* unicode(const std::string& text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

void stats_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// fmt's fixed notation is correctly rounded from the double's exact value, ties to even.
PyObject* stats_str(PyObject* self) {
  return guarded([&] {
    const PyExtractionStats* stats = as_stats(self);
    return unicode(fmt::format("Extracted {} points from {} tiles in {:.2f} seconds",
                               stats->points_written, stats->tiles_processed, stats->elapsed_time));
  });
}

PyObject* stats_repr(PyObject* self) {
  return guarded([&] {
    const PyExtractionStats* stats = as_stats(self);
    return unicode(fmt::format(
        "ExtractionStats(tiles_processed={}, points_read={}, points_written={}, "
        "elapsed_time={:.2f}s)",
        stats->tiles_processed, stats->points_read, stats->points_written, stats->elapsed_time));
  });
}

PyObject* get_tiles_processed(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(as_stats(self)->tiles_processed);
}
PyObject* get_points_read(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(as_stats(self)->points_read);
}
PyObject* get_points_written(PyObject* self, void*) {
  return PyLong_FromUnsignedLongLong(as_stats(self)->points_written);
}
PyObject* get_elapsed_time(PyObject* self, void*) {
  return PyFloat_FromDouble(as_stats(self)->elapsed_time);
}

#ifndef Py_TPFLAGS_DISALLOW_INSTANTIATION
// Before CPython 3.10 a type without a flag for it would inherit object's constructor.
PyObject* stats_new(PyTypeObject* type, PyObject*, PyObject*) {
  PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
  return nullptr;
}
#define QUARRIX_NO_INSTANTIATION 0
#else
#define QUARRIX_NO_INSTANTIATION Py_TPFLAGS_DISALLOW_INSTANTIATION
#endif

PyGetSetDef kGetSet[] = {
    {"tiles_processed", get_tiles_processed, nullptr,
     "Number of tiles that were successfully processed.", nullptr},
    {"points_read", get_points_read, nullptr, "Total number of points read from all tiles.",
     nullptr},
    {"points_written", get_points_written, nullptr,
     "Number of points that passed the geometry filter.", nullptr},
    {"elapsed_time", get_elapsed_time, nullptr, "Total time taken for the extraction in seconds.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("Python wrapper for extraction statistics.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(stats_dealloc)},
    {Py_tp_str, reinterpret_cast<void*>(stats_str)},
    {Py_tp_repr, reinterpret_cast<void*>(stats_repr)},
    {Py_tp_getset, kGetSet},
#ifndef Py_TPFLAGS_DISALLOW_INSTANTIATION
    {Py_tp_new, reinterpret_cast<void*>(stats_new)},
#endif
    {0, nullptr},
};

// "builtins." as the module part: __module__ reads "builtins", __name__ "ExtractionStats".
PyType_Spec kSpec = {
    "builtins.ExtractionStats",
    static_cast<int>(sizeof(PyExtractionStats)),
    0,
    Py_TPFLAGS_DEFAULT | QUARRIX_NO_INSTANTIATION,
    kSlots,
};

}  // namespace

PyObject* create_extraction_stats_type() {
  if (g_type == nullptr) {
    g_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kSpec));
    if (g_type == nullptr) return nullptr;
  }
  Py_INCREF(g_type);
  return reinterpret_cast<PyObject*>(g_type);
}

PyObject* make_extraction_stats(const quarrix_core::pipeline::executor::ExtractionStats& stats) {
  if (g_type == nullptr) {
    raise_internal_failure("ExtractionStats used before the module was initialised");
    return nullptr;
  }
  PyObject* object = g_type->tp_alloc(g_type, 0);
  if (object == nullptr) return nullptr;
  PyExtractionStats* result = as_stats(object);
  result->tiles_processed = stats.tiles_processed;
  result->points_read = stats.points_read;
  result->points_written = stats.points_written;
  // Whole seconds plus nanoseconds / 1e9, in double arithmetic.
  result->elapsed_time =
      static_cast<double>(stats.seconds()) + static_cast<double>(stats.subsec_nanos()) / 1e9;
  return object;
}

}  // namespace quarrix_python
