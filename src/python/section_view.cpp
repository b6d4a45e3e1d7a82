// qds.Section: one section of a document as a mapping of keys to their
// first values, read as `qdstool get` prints them and changed as qdstool's
// set, add, del and rename change them.

#include <string>

#include "python/binding.h"

namespace qds::python {
namespace {

// The section that `view` names; KeyError when the document has none.
Section Find(const SectionView& view) {
  std::optional<Section> section = view.box->document.FindSection(view.name);
  if (!section) RaiseKeyError(view.name);
  return *section;
}

// The key `name` of the section that `view` names; KeyError when missing.
Key FindKey(const SectionView& view, const std::u16string& name) {
  std::optional<Key> key = Find(view).FindKey(name);
  if (!key) RaiseKeyError(name);
  return *key;
}

// The first value of a key, as reads give it or as stored.
py::str FirstValue(const SectionView& view, py::handle name, bool unquoted) {
  std::u16string key = TextOf(name, "key");
  Using using_(*view.box);
  Value value = *FindKey(view, key).Values().begin();
  return StrOf(unquoted ? value.Unquoted16() : value.Text16());
}

py::list AllValues(const SectionView& view, py::handle name) {
  std::u16string key = TextOf(name, "key");
  Using using_(*view.box);
  py::list values;
  for (Value value : FindKey(view, key).Values()) values.append(StrOf(value.Unquoted16()));
  return values;
}

py::list KeyNames(const SectionView& view) {
  Using using_(*view.box);
  py::list names;
  for (Key key : Find(view).Keys()) names.append(StrOf(key.Name16()));
  return names;
}

// Built with a list of its final size: a section of thousands of values
// reads in one call.
py::list Items(const SectionView& view) {
  Using using_(*view.box);
  Section section = Find(view);
  py::list items(section.EntryCount());
  size_t index = 0;
  for (Key key : section.Keys()) {
    py::str name = StrOf(key.Name16());
    for (Value value : key.Values()) {
      PyObject* pair = PyTuple_New(2);
      if (pair == nullptr) throw py::error_already_set();
      PyTuple_SET_ITEM(pair, 0, name.inc_ref().ptr());
      PyTuple_SET_ITEM(pair, 1, StrOf(value.Unquoted16()).release().ptr());
      PyList_SET_ITEM(items.ptr(), static_cast<Py_ssize_t>(index++), pair);
    }
  }
  return items;
}

// What a refused change is called in its message, as qdstool calls it.
std::string Refused(const char* what, const SectionView& view, const std::u16string& key) {
  return std::string(what) + " [" + ToUtf8(view.name) + "] \"" + ToUtf8(key) + "\"";
}

void SetValue(const SectionView& view, py::handle name, py::handle text, bool add) {
  std::u16string key = TextOf(name, "key"), value = TextOf(text, "value");
  Using using_(*view.box);
  QdsDocument& document = view.box->document;
  Status status = add ? document.Add(view.name, key, value) : document.Set(view.name, key, value);
  if (!status.Ok()) RaiseStatus(status, Refused(add ? "cannot add to" : "cannot set", view, key));
}

void RemoveKey(const SectionView& view, py::handle name) {
  std::u16string key = TextOf(name, "key");
  Using using_(*view.box);
  Status status = view.box->document.RemoveKey(view.name, key);
  if (!status.Ok()) RaiseKeyError(status == ReadStatus::NoSection ? view.name : key);
}

void RemoveValue(const SectionView& view, py::handle name, size_t index) {
  std::u16string key = TextOf(name, "key");
  Using using_(*view.box);
  if (FindKey(view, key).ValueCount() <= index) throw py::index_error("no value at that index");
  static_cast<void>(view.box->document.RemoveValue(view.name, key, index));
}

void RenameKey(const SectionView& view, py::handle from, py::handle to) {
  std::u16string old = TextOf(from, "key"), name = TextOf(to, "key");
  Using using_(*view.box);
  FindKey(view, old);
  Status status = view.box->document.RenameKey(view.name, old, name);
  if (!status.Ok()) RaiseStatus(status, Refused("cannot rename", view, old));
}

bool HasKey(const SectionView& view, py::handle name) {
  if (!PyUnicode_Check(name.ptr())) return false;
  std::u16string key = TextOf(name, "key");
  Using using_(*view.box);
  std::optional<Section> section = view.box->document.FindSection(view.name);
  return section && section->FindKey(key).has_value();
}

}  // namespace

void DefineSectionView(py::module_& module) {
  py::class_<SectionView>(module, "Section", R"(A view of one section of a Document, by name.

A mapping of its keys, in file order, to their first values: section["Key"]
reads as `qdstool get` prints (without enclosing double quotes), raw() as
stored. Writing acts as qdstool's set; add, del, rename_key and remove_value
as add, del and rename. A section that is gone reads as missing (KeyError).)")
      .def_property_readonly(
          "name",
          [](const SectionView& view) {
            Using using_(*view.box);
            return StrOf(Find(view).Name16());
          },
          "The name as the header spells it.")
      .def(
          "__getitem__",
          [](const SectionView& view, py::handle key) { return FirstValue(view, key, true); },
          py::arg("key"))
      .def(
          "raw",
          [](const SectionView& view, py::handle key) { return FirstValue(view, key, false); },
          py::arg("key"), "The first value of `key` as stored, double quotes included.")
      .def(
          "get",
          [](const SectionView& view, py::handle key, py::object fallback) -> py::object {
            if (!HasKey(view, key)) return fallback;
            return FirstValue(view, key, true);
          },
          py::arg("key"), py::arg("default") = py::none(),
          "The first value of `key`, or `default` when the key is missing.")
      .def("getall", &AllValues, py::arg("key"), "Every value of `key`, in file order.")
      .def("keys", &KeyNames, "The key names, in file order.")
      .def("items", &Items, "Every (key, value) pair, one a value, in file order.")
      .def("__iter__", [](const SectionView& view) { return py::iter(KeyNames(view)); })
      .def("__len__",
           [](const SectionView& view) {
             Using using_(*view.box);
             return Find(view).KeyCount();
           })
      .def("__contains__", &HasKey, py::arg("key"))
      .def(
          "__setitem__",
          [](const SectionView& view, py::handle key, py::handle value) {
            SetValue(view, key, value, false);
          },
          py::arg("key"), py::arg("value"))
      .def(
          "add",
          [](const SectionView& view, py::handle key, py::handle value) {
            SetValue(view, key, value, true);
          },
          py::arg("key"), py::arg("value"), "Adds `value` after the values of `key`.")
      .def("__delitem__", &RemoveKey, py::arg("key"))
      .def("remove_value", &RemoveValue, py::arg("key"), py::arg("index"),
           "Removes the value at `index` of `key` (the key with its last value).")
      .def("rename_key", &RenameKey, py::arg("old"), py::arg("new"),
           "Gives key `old` the name `new`.")
      .def("__repr__", [](const SectionView& view) {
        return py::str("<qds.Section {!r}>").format(StrOf(view.name));
      });
}

}  // namespace qds::python
