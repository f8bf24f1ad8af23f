// The Python class ExtractionStats: an immutable snapshot of one extraction's statistics, made
// only by extract().
#pragma once

#include <Python.h>

#include <cstdint>

#include "pipeline/executor.hpp"

namespace quarrix_python {

struct PyExtractionStats {
  PyObject_HEAD std::uint64_t tiles_processed;
  std::uint64_t points_read;
  std::uint64_t points_written;
  double elapsed_time;  // seconds
};

// Creates the type object (once per process) and returns a new reference to it, or null with
// the Python error set.
[[nodiscard]] PyObject* create_extraction_stats_type();

// A new ExtractionStats holding the record's counts and its elapsed time in seconds, or null
// with the Python error set.
[[nodiscard]] PyObject* make_extraction_stats(
    const quarrix_core::pipeline::executor::ExtractionStats& stats);

}  // namespace quarrix_python
