// Uses of the interface that must not compile. Each is written with a macro
// in place of one token; the build defines the macro as the right token,
// and a test compiles this file again with one macro given the wrong token
// and expects the compiler's refusal (tests/document/CMakeLists.txt).

#include <qds/qds.h>

#include <utility>

qds::Status SaveSigned(qds::QdsDocument& document) {
  return document.Save(qds::SAVE_FLAGS::Digest);  // LoadFlags: does not convert
}

qds::QdsDocument TakeOver(qds::QdsDocument& document) {
  qds::QdsDocument taken = MOVE(document);  // a copy: deleted
  return taken;
}

qds::LoadFlags SignedWithComments() {
  return qds::LoadFlags::Digest | qds::SECOND_FLAGS::KeepComments;  // SaveFlags: no operator|
}

qds::Status RemoveFirstSection(DOCUMENT_CONST qds::QdsDocument& document) {
  return (*document.Sections().begin()).Remove();  // const: a view that only reads
}

int main() { return 0; }
