// Texts and paths between Python and the library, and the guard of a
// document's thread.

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "python/binding.h"

namespace qds::python {

Using::Using(DocumentBox& box) : lock_(box.use, std::try_to_lock) {
  if (!lock_.owns_lock()) {
    throw std::runtime_error("the qds.Document is in use by another thread");
  }
}

std::u16string TextOf(py::handle object, const char* what) {
  PyObject* text = object.ptr();
  if (!PyUnicode_Check(text)) {
    throw py::type_error(std::string(what) + " must be str, not " + Py_TYPE(text)->tp_name);
  }
  // Texts of one and two bytes a character are their own UTF-16 (a lone
  // surrogate included); wider ones go through the codec.
  const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
  const void* data = PyUnicode_DATA(text);
  switch (PyUnicode_KIND(text)) {
    case PyUnicode_1BYTE_KIND: {
      const auto* units = static_cast<const Py_UCS1*>(data);
      return std::u16string(units, units + length);
    }
    case PyUnicode_2BYTE_KIND: {
      const auto* units = static_cast<const Py_UCS2*>(data);
      return std::u16string(units, units + length);
    }
    default:
      break;
  }
  auto bytes = py::reinterpret_steal<py::object>(
      PyUnicode_AsEncodedString(text, "utf-16-le", "surrogatepass"));
  if (!bytes) throw py::error_already_set();
  std::u16string units(static_cast<size_t>(PyBytes_GET_SIZE(bytes.ptr())) / 2, u'\0');
  std::memcpy(units.data(), PyBytes_AS_STRING(bytes.ptr()), units.size() * 2);
  return units;
}

py::str StrOf(std::u16string_view text) {
  // Units without a surrogate are their own characters, which Python takes
  // as they are (the common case, and the fast one); a surrogate pair must
  // become one character, and a lone surrogate stays.
  const bool surrogates = std::any_of(
      text.begin(), text.end(), [](char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; });
  int order = -1;  // little-endian, as the units of this machine
  PyObject* str = surrogates ? PyUnicode_DecodeUTF16(reinterpret_cast<const char*>(text.data()),
                                                     static_cast<Py_ssize_t>(text.size() * 2),
                                                     "surrogatepass", &order)
                             : PyUnicode_FromKindAndData(PyUnicode_2BYTE_KIND, text.data(),
                                                         static_cast<Py_ssize_t>(text.size()));
  if (str == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(str);
}

std::filesystem::path PathOf(py::handle object) {
  // os.fsencode: str, bytes or os.PathLike to the bytes the system names
  // the file with, undecodable bytes kept.
  py::bytes name = py::module_::import("os").attr("fsencode")(object);
  return std::filesystem::path(std::string(name));
}

}  // namespace qds::python
