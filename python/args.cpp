// Argument matching and conversion for the module's functions and methods.
#include "args.hpp"

#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "errors.hpp"
#include "py_ref.hpp"

namespace quarrix_python {
namespace {

struct KeywordArgument {
  PyObject* name;   // borrowed
  PyObject* value;  // borrowed
};

std::size_t required_count(std::span<const Parameter> parameters) {
  std::size_t count = 0;
  for (const Parameter& parameter : parameters) {
    if (parameter.required) ++count;
  }
  return count;
}

void raise_too_many_positional(const char* function_name, std::span<const Parameter> parameters,
                               Py_ssize_t given) {
  const std::size_t most = parameters.size();
  const std::size_t least = required_count(parameters);
  const char* verb = given == 1 ? "was" : "were";
  std::string text;
  if (least == most) {
    text = fmt::format("{}() takes {} positional argument{} but {} {} given", function_name, most,
                       most == 1 ? "" : "s", given, verb);
  } else {
    text = fmt::format("{}() takes from {} to {} positional arguments but {} {} given",
                       function_name, least, most, given, verb);
  }
  PyErr_SetString(PyExc_TypeError, text.c_str());
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'": the interpreter's way of listing missing names.
std::string list_names(const std::vector<const char*>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ",";
      text += " ";
      if (i + 1 == names.size()) text += "and ";
    }
    text += fmt::format("'{}'", names[i]);
  }
  return text;
}

bool match_arguments(const char* function_name, std::span<const Parameter> parameters,
                     PyObject* const* args, Py_ssize_t nargs,
                     const std::vector<KeywordArgument>& keywords, std::span<PyObject*> bound) {
  for (PyObject*& slot : bound) slot = nullptr;
  if (nargs > static_cast<Py_ssize_t>(parameters.size())) {
    raise_too_many_positional(function_name, parameters, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) bound[static_cast<std::size_t>(i)] = args[i];

  for (const KeywordArgument& keyword : keywords) {
    if (!PyUnicode_Check(keyword.name)) {
      PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", function_name);
      return false;
    }
    std::size_t index = parameters.size();
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      if (PyUnicode_CompareWithASCIIString(keyword.name, parameters[i].name) == 0) {
        index = i;
        break;
      }
    }
    if (index == parameters.size()) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function_name,
                   keyword.name);
      return false;
    }
    if (bound[index] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function_name,
                   parameters[index].name);
      return false;
    }
    bound[index] = keyword.value;
  }

  std::vector<const char*> missing;
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (parameters[i].required && bound[i] == nullptr) missing.push_back(parameters[i].name);
  }
  if (!missing.empty()) {
    const std::string text =
        fmt::format("{}() missing {} required positional argument{}: {}", function_name,
                    missing.size(), missing.size() == 1 ? "" : "s", list_names(missing));
    PyErr_SetString(PyExc_TypeError, text.c_str());
    return false;
  }
  return true;
}

// Replaces a pending TypeError by "argument '<parameter>': <its message>", keeping the original
// as the cause. Any other pending error is left as it is.
void rename_type_error(const char* parameter) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
  PyRef original = take_exception();
  PyRef text = PyRef::steal(PyObject_Str(original.get()));
  if (!text) return;
  PyErr_Format(PyExc_TypeError, "argument '%s': %U", parameter, text.get());
  PyRef renamed = take_exception();
  PyException_SetCause(renamed.get(), original.release());
  restore_exception(std::move(renamed));
}

void raise_wrong_type(const char* parameter, const char* expected, PyObject* value) {
  PyErr_Format(PyExc_TypeError, "argument '%s': must be %s, not %.200s", parameter, expected,
               Py_TYPE(value)->tp_name);
}

bool attribute_equals(PyObject* object, const char* attribute, std::string_view expected) {
  PyRef value = PyRef::steal(PyObject_GetAttrString(object, attribute));
  if (!value || !PyUnicode_Check(value.get())) {
    PyErr_Clear();
    return false;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(value.get(), &size);
  if (text == nullptr) {
    PyErr_Clear();
    return false;
  }
  return std::string_view(text, static_cast<std::size_t>(size)) == expected;
}

bool is_numpy_bool(PyObject* value) {
  auto* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  if (!attribute_equals(type, "__module__", "numpy")) return false;
  return attribute_equals(type, "__name__", "bool_") || attribute_equals(type, "__name__", "bool");
}

}  // namespace

bool bind_vector_call(const char* function_name, std::span<const Parameter> parameters,
                      PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      std::span<PyObject*> bound) {
  std::vector<KeywordArgument> keywords;
  if (kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
    keywords.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
      keywords.push_back({PyTuple_GET_ITEM(kwnames, i), args[nargs + i]});
    }
  }
  return match_arguments(function_name, parameters, args, nargs, keywords, bound);
}

bool bind_tuple_call(const char* function_name, std::span<const Parameter> parameters,
                     PyObject* args, PyObject* kwargs, std::span<PyObject*> bound) {
  std::vector<KeywordArgument> keywords;
  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* name = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &name, &value)) keywords.push_back({name, value});
  }
  return match_arguments(function_name, parameters, PySequence_Fast_ITEMS(args),
                         PyTuple_GET_SIZE(args), keywords, bound);
}

std::optional<double> to_double(const char* parameter, PyObject* value) {
  if (PyFloat_CheckExact(value)) return PyFloat_AS_DOUBLE(value);
  const double result = PyFloat_AsDouble(value);
  if (result == -1.0 && PyErr_Occurred()) {
    rename_type_error(parameter);
    return std::nullopt;
  }
  return result;
}

std::optional<std::string> to_utf8_string(const char* parameter, PyObject* value) {
  if (!PyUnicode_Check(value)) {
    raise_wrong_type(parameter, "str", value);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(value, &size);
  if (text == nullptr) return std::nullopt;
  return std::string(text, static_cast<std::size_t>(size));
}

std::optional<bool> to_bool(const char* parameter, PyObject* value) {
  if (value == Py_True) return true;
  if (value == Py_False) return false;
  if (is_numpy_bool(value)) {
    PyNumberMethods* number = Py_TYPE(value)->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
      PyErr_Format(PyExc_TypeError,
                   "argument '%s': object of type '%.200s' does not define a '__bool__' conversion",
                   parameter, Py_TYPE(value)->tp_name);
      return std::nullopt;
    }
    const int truth = number->nb_bool(value);
    if (truth < 0) return std::nullopt;
    return truth != 0;
  }
  raise_wrong_type(parameter, "bool", value);
  return std::nullopt;
}

}  // namespace quarrix_python
