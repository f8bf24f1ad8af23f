// The module function extract(): one extraction from Python, from argument conversion to the
// ExtractionStats it returns.
#pragma once

#include <Python.h>

namespace quarrix_python {

// The method definition of `extract` (METH_FASTCALL | METH_KEYWORDS), with its docstring and
// text signature; static storage, as a function object made from it refers to it.
[[nodiscard]] PyMethodDef* extract_method_def() noexcept;

}  // namespace quarrix_python
