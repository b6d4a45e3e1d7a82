// The Python module qds over libqds: its classes, and the functions that
// work on documents and texts: merge, expand, evaluate.

#include <string>

#include "python/binding.h"

namespace qds::python {
namespace {

void MergeDocuments(DocumentBox& target, DocumentBox& compat) {
  if (&target == &compat) RaiseStatus(LibraryStatus::MergedIntoItself, "merge");
  Using usingTarget(target), usingCompat(compat);
  Status status;
  {
    py::gil_scoped_release released;
    // The library's merge empties the compat document; it merges a copy, so
    // that the caller's stays as it was. The copy is read back from the
    // canonical text, which holds the same sections, keys and values.
    std::string bytes;
    QdsDocument copy;
    status = compat.document.Write(&bytes);
    if (status.Ok()) status = copy.LoadBytes(bytes);
    if (status.Ok()) status = Merge(target.document, copy);
  }
  if (!status.Ok()) RaiseStatus(status, "merge");
}

py::str ExpandText(py::handle text, py::object symbols, bool legacy, bool commands) {
  if (!symbols.is_none() && !PyDict_Check(symbols.ptr())) {
    throw py::type_error(std::string("symbols must be a dict, not ") +
                         Py_TYPE(symbols.ptr())->tp_name);
  }
  SymbolTable table;
  if (!symbols.is_none()) {
    for (auto [name, value] : py::cast<py::dict>(symbols)) {
      table.Set(TextOf(name, "symbol name"), TextOf(value, "symbol value"));
    }
  }
  ExpandFlags flags = (legacy ? ExpandFlags::Legacy : ExpandFlags::None) |
                      (commands ? ExpandFlags::None : ExpandFlags::NoCommands);
  std::u16string out;
  Status status = Expand(table, TextOf(text, "text"), &out, flags);
  if (!status.Ok()) RaiseStatus(status, "expand");
  if (!symbols.is_none()) {
    py::dict given = py::cast<py::dict>(symbols);
    table.ForEach([&](std::u16string_view name, std::u16string_view value) {
      given[StrOf(name)] = StrOf(value);
    });
  }
  return StrOf(out);
}

py::int_ EvaluateExpression(py::handle expression) {
  std::string result;
  Status status = Evaluate(TextOf(expression, "expression"), &result);
  if (!status.Ok()) RaiseStatus(status, "eval");
  return py::int_(
      py::reinterpret_steal<py::object>(PyLong_FromString(result.c_str(), nullptr, 10)));
}

}  // namespace
}  // namespace qds::python

PYBIND11_MODULE(qds, module) {
  using namespace qds::python;
  module.doc() =
      "QDS package scripts: load, read, edit, sign, merge and save them, and "
      "expand the symbols and commands of their values.";
  DefineErrors(module);
  DefineDocument(module);
  DefineSectionView(module);
  module.def("merge", &MergeDocuments, py::arg("target"), py::arg("compat"),
             R"(Adds every entry of `compat` to `target` as knitfold does.

`compat` stays as it was; target.dumps(canonical=True) then holds the bytes
that knitfold writes for the same pair. QdsError (status 40) when they are
one document.)");
  module.def("expand", &ExpandText, py::arg("text"), py::arg("symbols") = py::none(), py::kw_only(),
             py::arg("legacy") = false, py::arg("commands") = true,
             R"(Expands the symbols and commands of `text`.

`symbols`, a dict of str to str, gives the symbols, and is updated with what
the text's commands set (a command that a text defines as "!name"). legacy
tests "if" as documents of version 1 do; commands=False refuses command
calls. Raises QdsError, whose .position tells where it stopped.)");
  module.def("evaluate", &EvaluateExpression, py::arg("expression"),
             "The value of an expression of the \"if\" and \"eval\" commands.");
}
