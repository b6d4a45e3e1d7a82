// Shared libraries on POSIX: the dynamic loader's dlopen and dlsym.

#include <dlfcn.h>

#include "platform/shared_library.h"

namespace qds::platform {

void* LoadSharedLibrary(const char* name) {
  // Bound at once, so that a library that lacks a function its own code
  // needs fails here rather than at some later call; kept to itself, so that
  // its symbols never stand in for the program's.
  return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* FindLibraryFunction(void* library, const char* name) { return dlsym(library, name); }

}  // namespace qds::platform
