// Initialisation of the extension module `quarrix`: the module object, its classes, the function
// extract and the attributes __doc__, __version__ and __all__.
#include <Python.h>

#include <cstdint>

#include "bounding_box.hpp"
#include "cylinder.hpp"
#include "errors.hpp"
#include "extract.hpp"
#include "extraction_stats.hpp"
#include "frustum.hpp"
#include "py_ref.hpp"

namespace quarrix_python {
namespace {

constexpr const char* kModuleDoc =
    "Python bindings for quarrix - extract points from LAS/LAZ files using GeoPackage tile "
    "indices";
constexpr const char* kVersion = "0.1.2";
constexpr int kModuleApiVersion = 1013;

// The module is made once per process and handed out again by later initialisations; the
// interpreter that made it is the only one allowed to import it. Both are touched only during
// import, under the interpreter lock.
PyObject* g_module = nullptr;
std::int64_t g_interpreter_id = -1;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "quarrix",  // m_name
    nullptr,    // m_doc: set through add(), so that "__doc__" is listed in __all__
    0,          // m_size: no per-module state
    nullptr,    // m_methods: extract is added through add() as well
    nullptr,    // m_slots
    nullptr,    // m_traverse
    nullptr,    // m_clear
    nullptr,    // m_free
};

// Appends `name` to the module's __all__ (creating the list the first time), then sets the
// attribute. Takes over `value`, a new reference or null with an error set.
bool add(PyObject* module, const char* name, PyRef value) {
  if (!value) return false;
  PyObject* dict = PyModule_GetDict(module);              // borrowed
  PyObject* all = PyDict_GetItemString(dict, "__all__");  // borrowed
  if (all == nullptr) {
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list || PyDict_SetItemString(dict, "__all__", list.get()) < 0) return false;
    all = list.get();  // the dict now holds it
  }
  PyRef key = PyRef::steal(PyUnicode_FromString(name));
  if (!key || PyList_Append(all, key.get()) < 0) return false;
  return PyObject_SetAttr(module, key.get(), value.get()) == 0;
}

// The sub-interpreter check: records the first interpreter and refuses every other one.
bool check_interpreter() {
  const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (id == -1 && PyErr_Occurred()) return false;
  if (g_interpreter_id == -1) {
    g_interpreter_id = id;
  } else if (g_interpreter_id != id) {
    PyErr_SetString(PyExc_ImportError,
                    "quarrix does not support sub-interpreters: it can be imported only in the "
                    "interpreter that imported it first");
    return false;
  }
  return true;
}

PyObject* initialise() {
  if (!check_interpreter()) return nullptr;
  if (g_module != nullptr) {
    Py_INCREF(g_module);
    return g_module;
  }
  if (!create_internal_failure_type()) return nullptr;

  PyRef module = PyRef::steal(PyModule_Create2(&g_module_def, kModuleApiVersion));
  if (!module) return nullptr;
#if PY_VERSION_HEX >= 0x030D0000 && defined(Py_GIL_DISABLED)
  // The module relies on the interpreter lock: extract() holds it for the whole extraction.
  if (PyUnstable_Module_SetGIL(module.get(), Py_MOD_GIL_USED) < 0) return nullptr;
#endif
  PyObject* m = module.get();
  PyRef module_name = PyRef::steal(PyUnicode_FromString("quarrix"));
  if (!module_name) return nullptr;
  if (!add(m, "ExtractionStats", PyRef::steal(create_extraction_stats_type())) ||
      !add(m, "BoundingBox", PyRef::steal(create_bounding_box_type())) ||
      !add(m, "Cylinder", PyRef::steal(create_cylinder_type())) ||
      !add(m, "Frustum", PyRef::steal(create_frustum_type())) ||
      !add(m, "extract",
           PyRef::steal(PyCFunction_NewEx(extract_method_def(), m, module_name.get()))) ||
      !add(m, "__doc__", PyRef::steal(PyUnicode_FromString(kModuleDoc))) ||
      !add(m, "__version__", PyRef::steal(PyUnicode_FromString(kVersion)))) {
    return nullptr;  // `module` releases the partly built module
  }
  g_module = module.release();
  Py_INCREF(g_module);  // one reference kept here for the life of the process
  return g_module;
}

}  // namespace
}  // namespace quarrix_python

PyMODINIT_FUNC PyInit_quarrix() {
  return quarrix_python::guarded([] { return quarrix_python::initialise(); });
}
