// qds.QdsError: a failure of the library as one Python exception, with the
// status's number and details as attributes and qdstool's words as its
// message; and KeyError for a missing part.

#include <string>

#include "python/binding.h"

namespace qds::python {
namespace {

// The class, made once when the module is imported; Python keeps a
// module's classes for the life of the interpreter.
PyObject* qdsErrorType = nullptr;

const char kQdsErrorDoc[] =
    "A failure of the QDS library.\n\n"
    "str(error) reads as qdstool's message: 'app.qds:3: syntax error: a key\n"
    "without \"=\" (status 7)'. Attributes: status (the number, which qdstool\n"
    "exits with), name (its name: 'SyntaxError', 'InvalidKey', ...), reason\n"
    "(the failure in words, without file or line), line (1-based, of a syntax\n"
    "error; 0 otherwise), position (where an expansion stopped; 0 otherwise),\n"
    "path (the file, or None).";

}  // namespace

namespace {

// The str of the library's UTF-8, with the bytes of a file name that are
// not UTF-8 kept as os.fsdecode keeps them.
py::str StrOfUtf8(std::string_view text) {
  PyObject* str =
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
  if (str == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(str);
}

}  // namespace

void RaiseStatus(const Status& status, std::string_view subject,
                 const std::filesystem::path& path) {
  std::string message = subject.empty()
                            ? status.Text() + " (status " + std::to_string(status.Number()) + ")"
                            : status.Describe(subject);
  py::object error = py::reinterpret_borrow<py::object>(qdsErrorType)(StrOfUtf8(message));
  error.attr("status") = status.Number();
  error.attr("name") = std::string(status.Name());
  error.attr("reason") = StrOfUtf8(status.Text());
  error.attr("line") = status.Line();
  error.attr("position") = status.Position();
  error.attr("path") = path.empty() ? py::object(py::none()) : StrOfUtf8(path.native());
  PyErr_SetObject(qdsErrorType, error.ptr());
  throw py::error_already_set();
}

void RaiseKeyError(std::u16string_view key) {
  PyErr_SetObject(PyExc_KeyError, StrOf(key).ptr());
  throw py::error_already_set();
}

void DefineErrors(py::module_& module) {
  qdsErrorType = PyErr_NewExceptionWithDoc("qds.QdsError", kQdsErrorDoc, PyExc_Exception, nullptr);
  if (qdsErrorType == nullptr) throw py::error_already_set();
  py::handle type(qdsErrorType);
  // The attributes of an error that Python code raised itself.
  type.attr("status") = 0;
  type.attr("name") = "";
  type.attr("reason") = "";
  type.attr("line") = 0;
  type.attr("position") = 0;
  type.attr("path") = py::none();
  module.add_object("QdsError", type);
}

}  // namespace qds::python
