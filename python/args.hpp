// Argument matching and conversion shared by every function and method of the module: parameters
// are matched by position and by keyword with the interpreter's own error wording, and each value
// is converted to a plain C++ value with the TypeError text "argument '<name>': <reason>".
#pragma once

#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace quarrix_python {

// One declared parameter. Required parameters come first, as in a Python signature.
struct Parameter {
  const char* name;
  bool required;
};

// Matches a METH_FASTCALL | METH_KEYWORDS call (`args[0..nargs)` positional, then one value per
// name in `kwnames`) against `parameters`. On success `bound[i]` is a borrowed reference to the
// value of parameter i, or null when an optional parameter was not given. On failure a TypeError
// worded like the interpreter's ("f() missing 1 required positional argument: 'x'", "f() got an
// unexpected keyword argument 'y'", ...) is set and false is returned. `function_name` is used
// as written in those messages, without the parentheses.
[[nodiscard]] bool bind_vector_call(const char* function_name,
                                    std::span<const Parameter> parameters, PyObject* const* args,
                                    Py_ssize_t nargs, PyObject* kwnames,
                                    std::span<PyObject*> bound);

// The same for the tuple-and-dict convention of tp_new (`kwargs` may be null).
[[nodiscard]] bool bind_tuple_call(const char* function_name, std::span<const Parameter> parameters,
                                   PyObject* args, PyObject* kwargs, std::span<PyObject*> bound);

// Python float protocol: an exact float as it is, anything else through its float conversion
// (so ints are accepted). A wrong-type failure becomes TypeError "argument '<parameter>': ..."
// with the original error as its cause; any other failure (OverflowError, an exception raised
// by __float__) is left as it is. Returns nullopt with the error set.
[[nodiscard]] std::optional<double> to_double(const char* parameter, PyObject* value);

// A str (or subclass) as UTF-8 text. Anything else, bytes and path objects included, is a
// TypeError naming the parameter; text that cannot be encoded raises the codec's own
// UnicodeEncodeError unchanged.
[[nodiscard]] std::optional<std::string> to_utf8_string(const char* parameter, PyObject* value);

// Exactly True or False, or a NumPy boolean scalar (type module "numpy", type name "bool_" or
// "bool") taken through its truth-value slot. Everything else, 0/1 and None included, is a
// TypeError naming the parameter.
[[nodiscard]] std::optional<bool> to_bool(const char* parameter, PyObject* value);

// Converts the bound values of parameters that are all floats, in declaration order, stopping at
// the first failure.
template <std::size_t N>
[[nodiscard]] std::optional<std::array<double, N>> to_doubles(
    const std::array<Parameter, N>& parameters, const std::array<PyObject*, N>& values) {
  std::array<double, N> out{};
  for (std::size_t i = 0; i < N; ++i) {
    std::optional<double> value = to_double(parameters[i].name, values[i]);
    if (!value) return std::nullopt;
    out[i] = *value;
  }
  return out;
}

}  // namespace quarrix_python
