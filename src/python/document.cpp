// qds.Document: loading, saving, and the document as a mapping of section
// names to section views; qds.load and qds.loads.

#include <optional>
#include <string>
#include <vector>

#include "python/binding.h"

namespace qds::python {
namespace {

// What load and loads read a file with: its comments, and its own text
// unless `keepLayout` is false; the digest checked when `verify`; an ANSI
// file in `codePage`, else, as qdstool reads it, in the code page that its
// version line declares, else the system's.
BoxPointer NewDocument(bool keepLayout, std::optional<uint32_t> codePage, bool verify,
                       LoadFlags* flags) {
  auto box = std::make_shared<DocumentBox>();
  *flags = LoadFlags::KeepComments;
  if (keepLayout) *flags |= LoadFlags::KeepLayout;
  if (verify) *flags |= LoadFlags::Digest;
  if (!codePage) {
    *flags |= LoadFlags::DeclaredCodePage;
  } else if (Status set = box->document.SetCodePage(*codePage); !set.Ok()) {
    RaiseStatus(set, "codepage " + std::to_string(*codePage));
  }
  return box;
}

// Ends a load: raises its failure, and takes back the line end that
// signing put before the end marker, so that a canonical save signs the
// file again without a blank line more (a layout-keeping save writes the
// file's own lines instead).
BoxPointer Loaded(BoxPointer box, const Status& status, std::string_view subject,
                  const std::filesystem::path& path) {
  if (!status.Ok()) RaiseStatus(status, subject, path);
  if (!box->document.KeepsLayout()) box->document.Unsign();
  return box;
}

BoxPointer Load(py::handle file, bool keepLayout, std::optional<uint32_t> codePage, bool verify) {
  LoadFlags flags;
  BoxPointer box = NewDocument(keepLayout, codePage, verify, &flags);
  std::filesystem::path path = PathOf(file);
  Status status;
  {
    py::gil_scoped_release released;
    status = box->document.Load(path, flags);
  }
  return Loaded(box, status, path.string(), path);
}

BoxPointer Loads(py::handle data, bool keepLayout, std::optional<uint32_t> codePage, bool verify) {
  LoadFlags flags;
  BoxPointer box = NewDocument(keepLayout, codePage, verify, &flags);
  std::string bytes;
  if (!PyUnicode_Check(data.ptr())) {
    // bytes, bytearray, memoryview: what bytes() takes.
    auto copy = py::reinterpret_steal<py::object>(PyBytes_FromObject(data.ptr()));
    if (!copy) throw py::error_already_set();
    bytes.assign(PyBytes_AS_STRING(copy.ptr()), static_cast<size_t>(PyBytes_GET_SIZE(copy.ptr())));
  } else {
    // A text is given to the loader as UTF-16, which holds any text.
    std::u16string text = TextOf(data, "data");
    bytes.assign("\xFF\xFE");
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  }
  Status status;
  {
    py::gil_scoped_release released;
    status = box->document.LoadBytes(bytes, flags);
  }
  return Loaded(box, status, "data", {});
}

// The flags of a save: comments always; the file's own text unless
// `canonical`; signed when `sign`, or by default when the file was. The
// file's own text of a signed file keeps its digest lines, so only a
// canonical save leaves a signed file unsigned (ValueError otherwise).
SaveFlags SaveFlagsFor(const QdsDocument& document, std::optional<bool> sign, bool canonical) {
  SaveFlags flags = SaveFlags::KeepComments;
  const bool ownText = !canonical && document.KeepsLayout();
  if (ownText && document.HasDigest() && !sign.value_or(true)) {
    throw py::value_error(
        "a signed file saved with its own layout stays signed; "
        "canonical=True saves it unsigned");
  }
  if (!canonical) flags |= SaveFlags::KeepLayout;
  if (sign.value_or(document.HasDigest())) flags |= SaveFlags::Digest;
  return flags;
}

// A canonical save of a document that keeps its signed file's text is
// written from the document, without the line end that signing added.
void PrepareSave(QdsDocument& document, bool canonical) {
  if (canonical && document.KeepsLayout()) document.Unsign();
}

void Save(DocumentBox& box, py::handle file, std::optional<bool> sign, bool canonical) {
  Using using_(box);
  QdsDocument& document = box.document;
  std::filesystem::path path = file.is_none() ? document.FileName() : PathOf(file);
  SaveFlags flags = SaveFlagsFor(document, sign, canonical);
  Status status;
  {
    py::gil_scoped_release released;
    PrepareSave(document, canonical);
    status = file.is_none() ? document.Save(flags) : document.SaveTo(path, flags);
  }
  if (!status.Ok()) RaiseStatus(status, path.empty() ? "save" : path.string(), path);
}

py::bytes Dumps(DocumentBox& box, std::optional<bool> sign, bool canonical) {
  Using using_(box);
  SaveFlags flags = SaveFlagsFor(box.document, sign, canonical);
  std::string bytes;
  Status status;
  {
    py::gil_scoped_release released;
    PrepareSave(box.document, canonical);
    status = box.document.Write(&bytes, flags);
  }
  if (!status.Ok()) RaiseStatus(status, "dumps");
  return py::bytes(bytes);
}

py::list SectionNames(DocumentBox& box) {
  Using using_(box);
  py::list names;
  for (Section section : box.document.Sections()) names.append(StrOf(section.Name16()));
  return names;
}

SectionView GetSection(const BoxPointer& box, py::handle name) {
  std::u16string text = TextOf(name, "section name");
  Using using_(*box);
  if (!box->document.FindSection(text)) RaiseKeyError(text);
  return SectionView{box, std::move(text)};
}

bool HasSection(DocumentBox& box, py::handle name) {
  if (!PyUnicode_Check(name.ptr())) return false;
  std::u16string text = TextOf(name, "section name");
  Using using_(box);
  return box.document.FindSection(text).has_value();
}

void RemoveSection(DocumentBox& box, py::handle name) {
  std::u16string text = TextOf(name, "section name");
  Using using_(box);
  if (!box.document.RemoveSection(text).Ok()) RaiseKeyError(text);
}

void RenameSection(DocumentBox& box, py::handle from, py::handle to) {
  std::u16string old = TextOf(from, "section name"), name = TextOf(to, "section name");
  Using using_(box);
  Status status = box.document.RenameSection(old, name);
  if (status == ReadStatus::NoSection) RaiseKeyError(old);
  if (!status.Ok()) RaiseStatus(status, "cannot rename [" + ToUtf8(old) + "]");
}

template <class Read>
auto Reading(DocumentBox& box, Read read) {
  Using using_(box);
  return read(box.document);
}

}  // namespace

void DefineDocument(py::module_& module) {
  py::class_<DocumentBox, BoxPointer> document(module, "Document", R"(A QDS file in memory.

Made by qds.load or qds.loads, or empty by Document(). A mapping of section
names to section views: doc["Files"], "Files" in doc, del doc["Files"],
len(doc), and iteration over the section names in file order. Names meet
with A-Z folded. One thread at a time: another that uses the document while
one is inside it (loading, saving, merging) gets RuntimeError.)");
  document.def(py::init([] { return std::make_shared<DocumentBox>(); }), "An empty document.")
      .def("save", &Save, py::arg("path") = py::none(), py::kw_only(), py::arg("sign") = py::none(),
           py::arg("canonical") = false,
           R"(Saves the document over its file, or to `path`.

Through a new file that takes the file's place, holding the file's lock.
Without `canonical` a document that kept its file's layout writes the file's
own lines with only the changed ones changed; with it, the document is laid
out as the library lays out a file (UTF-16). sign=None signs a file that was
signed; True signs, False does not. Raises QdsError.)")
      .def("dumps", &Dumps, py::kw_only(), py::arg("sign") = py::none(),
           py::arg("canonical") = false, "The bytes that save would write.")
      .def("sections", &SectionNames, "The section names, in file order (repeats included).")
      .def(
          "section",
          [](const BoxPointer& box, py::handle name) {
            return SectionView{box, TextOf(name, "section name")};
          },
          py::arg("name"),
          "The view of section `name`, which need not exist: setting a key makes it.")
      .def("__getitem__", &GetSection, py::arg("name"))
      .def("__contains__", &HasSection, py::arg("name"))
      .def("__delitem__", &RemoveSection, py::arg("name"),
           "Removes every section of that name; KeyError when there is none.")
      .def("__len__",
           [](DocumentBox& box) {
             return Reading(box, [](const QdsDocument& d) { return d.SectionCount(); });
           })
      .def("__iter__", [](DocumentBox& box) { return py::iter(SectionNames(box)); })
      .def("rename_section", &RenameSection, py::arg("old"), py::arg("new"),
           "Gives the first section named `old` the name `new`.")
      .def_property_readonly(
          "path",
          [](DocumentBox& box) -> py::object {
            std::filesystem::path path =
                Reading(box, [](const QdsDocument& d) { return d.FileName(); });
            if (path.empty()) return py::none();
            return py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefault(path.c_str()));
          },
          "The file it was loaded from; None for loads and Document().");
  // The document's state, each read while the document is held.
  static const struct {
    const char* name;
    py::object (*read)(const QdsDocument&);
    const char* doc;
  } kStates[] = {
      {"version", [](const QdsDocument& d) -> py::object { return py::int_(d.Version()); },
       "The version the file declared: 1 to 3, -1 for another number."},
      {"signed", [](const QdsDocument& d) -> py::object { return py::bool_(d.HasDigest()); },
       "Whether the file ended in the end marker and a digest line."},
      {"utf16", [](const QdsDocument& d) -> py::object { return py::bool_(d.LoadedUtf16()); },
       "Whether the file was UTF-16."},
      {"codepage", [](const QdsDocument& d) -> py::object { return py::int_(d.CodePage()); },
       "The code page an ANSI file was read in."},
      {"modified", [](const QdsDocument& d) -> py::object { return py::bool_(d.Modified()); },
       "Whether a change was made since the load."},
  };
  for (const auto& state : kStates) {
    document.def_property_readonly(
        state.name, [read = state.read](DocumentBox& box) { return Reading(box, read); },
        state.doc);
  }

  module.def("load", &Load, py::arg("path"), py::kw_only(), py::arg("keep_layout") = true,
             py::arg("codepage") = py::none(), py::arg("verify") = false,
             R"(Loads the QDS file at `path` (str, bytes or os.PathLike).

Comments are kept; with keep_layout the file's own text too, so that a save
changes only the lines that changes name. An ANSI file is read in `codepage`,
else in the code page its version line declares, else the system's default.
verify=True checks the digest. Raises QdsError.)");
  module.def("loads", &Loads, py::arg("data"), py::kw_only(), py::arg("keep_layout") = true,
             py::arg("codepage") = py::none(), py::arg("verify") = false,
             "As load, from a file's bytes (bytes) or its text (str).");
}

}  // namespace qds::python
