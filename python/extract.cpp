// extract(): converts the arguments, copies the core geometry out of the geometry object, runs
// the pipeline instance for that geometry type on the calling thread (the interpreter lock is
// held throughout) and turns the outcome into ExtractionStats or an exception.
#include "extract.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "args.hpp"
#include "bounding_box.hpp"
#include "cylinder.hpp"
#include "errors.hpp"
#include "extraction_stats.hpp"
#include "frustum.hpp"
#include "pipeline/executor.hpp"
#include "py_ref.hpp"

namespace quarrix_python {
namespace {

using quarrix_core::pipeline::executor::ExtractionPipeline;

template <class Geometry>
PyObject* run(const ExtractionPipeline& pipeline, const Geometry& geometry) {
  auto stats = pipeline.execute(geometry);
  if (!stats) {
    raise_extraction_failure(stats.error());
    return nullptr;
  }
  return make_extraction_stats(*stats);
}

bool is_instance(PyObject* object, PyTypeObject* type) {
  return type != nullptr && PyObject_TypeCheck(object, type);
}

constexpr std::array<Parameter, 4> kParameters{{
    {"index_path", true},
    {"output_path", true},
    {"geometry", true},
    {"verbose", false},
}};

PyObject* extract(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guarded([&]() -> PyObject* {
    std::array<PyObject*, 4> bound{};
    if (!bind_vector_call("extract", kParameters, args, nargs, kwnames, bound)) return nullptr;

    std::optional<std::string> index_path = to_utf8_string("index_path", bound[0]);
    if (!index_path) return nullptr;
    std::optional<std::string> output_path = to_utf8_string("output_path", bound[1]);
    if (!output_path) return nullptr;
    const PyRef geometry = PyRef::borrow(bound[2]);
    bool verbose = false;
    if (bound[3] != nullptr) {
      const std::optional<bool> flag = to_bool("verbose", bound[3]);
      if (!flag) return nullptr;
      verbose = *flag;
    }

    // Argument errors above win over a wrong geometry; the order of the tests is part of the
    // contract (the classes cannot be subclassed, so at most one matches).
    PyObject* object = geometry.get();
    const ExtractionPipeline pipeline =
        ExtractionPipeline::make(std::move(*index_path), std::move(*output_path), verbose);
    if (is_instance(object, bounding_box_type())) {
      const auto box = reinterpret_cast<PyBoundingBox*>(object)->value;
      return run(pipeline, box);
    }
    if (is_instance(object, cylinder_type())) {
      const auto cylinder = reinterpret_cast<PyCylinder*>(object)->value;
      return run(pipeline, cylinder);
    }
    if (is_instance(object, frustum_type())) {
      const auto frustum = reinterpret_cast<PyFrustum*>(object)->value;
      return run(pipeline, frustum);
    }
    PyErr_SetString(PyExc_ValueError, "geometry must be BoundingBox, Cylinder, or Frustum");
    return nullptr;
  });
}

PyMethodDef g_extract_def = {
    "extract",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(extract)),
    METH_FASTCALL | METH_KEYWORDS,
    "extract(index_path, output_path, geometry, verbose=False)\n"
    "--\n"
    "\n"
    "Extract points from LAS/LAZ files using a GeoPackage tile index.\n"
    "\n"
    "Args:\n"
    "    index_path: Path to the GeoPackage tile index file\n"
    "    output_path: Path where the extracted points will be written\n"
    "    geometry: Extraction geometry (BoundingBox or Cylinder)\n"
    "    verbose: Whether to log detailed progress information (default: False)\n"
    "\n"
    "Returns:\n"
    "    ExtractionStats: Statistics about the extraction process\n"
    "\n"
    "Raises:\n"
    "    ValueError: If the geometry is not valid\n"
    "    RuntimeError: If the extraction fails\n"
    "\n"
    "Example:\n"
    "    ```python\n"
    "    import quarrix\n"
    "\n"
    "    # Create a bounding box\n"
    "    bbox = quarrix.BoundingBox(10000, 20000, 30000, 40000)\n"
    "\n"
    "    # Extract points\n"
    "    stats = quarrix.extract(\"tiles.gpkg\", \"output.laz\", bbox, verbose=True)\n"
    "    print(f\"Extracted {stats.points_written} points\")\n"
    "    ```",
};

}  // namespace

PyMethodDef* extract_method_def() noexcept { return &g_extract_def; }

}  // namespace quarrix_python
