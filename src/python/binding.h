// What the files of the Python module share: the object behind a
// qds.Document, the guard that keeps one thread at a time inside it, the
// conversions of texts and paths between Python and the library, and the
// exceptions that failures become.
//
// Texts cross as UTF-16 with lone surrogates passed through, so that every
// text the library holds (bytes that were not UTF-8 included, which it
// keeps as U+DC80..U+DCFF, as Python's "surrogateescape" does) comes back
// to Python and goes into the library unchanged.

#ifndef KNITFOLD_PYTHON_BINDING_H_
#define KNITFOLD_PYTHON_BINDING_H_

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <qds/qds.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qds::python {

namespace py = pybind11;

// The object behind a qds.Document and its section views. `use` is held by
// the thread inside the document (Using); a thread that finds it held gets
// RuntimeError rather than wait: the holder may be waiting for the GIL.
struct DocumentBox {
  QdsDocument document;
  std::mutex use;
};
using BoxPointer = std::shared_ptr<DocumentBox>;

// Holds `box` for the scope of one call, or throws std::runtime_error
// (RuntimeError) when another thread is inside it.
class Using {
 public:
  explicit Using(DocumentBox& box);

 private:
  std::unique_lock<std::mutex> lock_;
};

// The UTF-16 of a str; TypeError, naming `what`, for anything else.
std::u16string TextOf(py::handle object, const char* what);
// The str of a UTF-16 text.
py::str StrOf(std::u16string_view text);
// The path of a str, bytes or os.PathLike object, as open() takes it.
std::filesystem::path PathOf(py::handle object);

// Raises qds.QdsError for `status`: its message is Describe(subject), as
// qdstool words it, or the bare words and status for an empty subject;
// `path` is its .path (None when empty).
[[noreturn]] void RaiseStatus(const Status& status, std::string_view subject,
                              const std::filesystem::path& path = {});
// Raises KeyError(key).
[[noreturn]] void RaiseKeyError(std::u16string_view key);

// A section of a document, named: each use finds the first section of
// that name again, so that a view follows renames and removals of other
// parts and reads a removed section as missing (KeyError).
struct SectionView {
  BoxPointer box;
  std::u16string name;
};

// Define the module's parts in `module`: qds.QdsError; qds.Document;
// the section view (qds.Section).
void DefineErrors(py::module_& module);
void DefineDocument(py::module_& module);
void DefineSectionView(py::module_& module);

}  // namespace qds::python

#endif  // KNITFOLD_PYTHON_BINDING_H_
